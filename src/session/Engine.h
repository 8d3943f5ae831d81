#pragma once
// The running engine of a profile document: the mapper (controller, routing, queue, worker) fed
// with the document's slots and tolerances on every change, and beside it the motion that moves
// the pointer from the readings, fed with the document's motion settings. Its owner, the session,
// alone starts and stops it, for the window, the hidden start and the runs without a window alike.
//
// Threads: constructed, fed, started and stopped on the document's thread; the mapper's own
// threads run what it is fed.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

#include "document/ProfileDocument.h"
#include "exec/Mapper.h"
#include "motion/Motion.h"

namespace kestrova {

class TEngine {
 public:
  // Everything given must outlive the engine. The mapper reads lines with the document's
  // decimal separator and starts with the document's slots and tolerances.
  TEngine(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
          TProfileDocument& document, TMapper::TStatusSink statusSink = nullptr);
  ~TEngine();  // Shutdown
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  TMapper& Mapper() { return FMapper; }
  TMotion& Motion() { return FMotion; }
  TProfileDocument& Document() { return FDocument; }
  // Where status lines go (see TMapper); only before Start.
  void SetStatusSink(TMapper::TStatusSink statusSink);

  // The worker, the trace files, and last polling; nothing runs before.
  void Start();
  // Stops polling and the worker, drops what is queued and releases every key and button still
  // held. Idempotent.
  void Shutdown();
  // For a switch of profile: ends what runs and moves and releases what is held, while polling
  // goes on.
  void DropQueueAndRelease();

  // Runs a task later on the document's thread (the window's event loop, the headless run's main
  // loop): how PROFILE lines, which the worker runs, switch the profile. Without one they are
  // skipped with a status line. Only before Start.
  using TPost = std::function<void(std::function<void()>)>;
  void SetTaskPoster(TPost post) { FPost = std::move(post); }
  // Switches to the profile a PROFILE line names: relative to the current profile's folder (the
  // working folder for one never saved), held keys released first, and what was held then lets
  // go without running the new profile's lists. Refused with a status line, the profile running
  // as it was, when the file cannot be loaded, when it is the profile running, when the profile
  // shown has unsaved edits, and when switches come faster than MaxSwitchesPerSecond (a loop of
  // profiles that switch to each other). Document's thread.
  void SwitchProfile(const std::string& file);
  static constexpr int MaxSwitchesPerSecond = 4;

 private:
  void Take(const TDocumentChange& change);
  void Say(const std::string& line) const;

  TProfileDocument& FDocument;
  TBiasFile FBiasFile{TBiasFile::DefaultPath()};
  TMotion FMotion;  // before the mapper: its poll thread calls the motion
  TMapper FMapper;
  int FSubscription;
  TMapper::TStatusSink FStatusSink;
  TPost FPost;
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);  // posted tasks run only while it lives
  std::deque<std::chrono::steady_clock::time_point> FSwitches;  // of the last second
};

}  // namespace kestrova
