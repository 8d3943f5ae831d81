#pragma once
// The running engine of a profile document: the mapper (controller, routing, queue, worker) fed
// with the document's slots and tolerances on every change, and beside it the motion that moves
// the pointer from the readings, fed with the document's motion settings. Its owner, the session,
// alone starts and stops it, for the window, the hidden start and the runs without a window alike.
//
// Threads: constructed, fed, started and stopped on the document's thread; the mapper's own
// threads run what it is fed.

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

 private:
  void Take(const TDocumentChange& change);

  TProfileDocument& FDocument;
  TBiasFile FBiasFile{TBiasFile::DefaultPath()};
  TMotion FMotion;  // before the mapper: its poll thread calls the motion
  TMapper FMapper;
  int FSubscription;
};

}  // namespace kestrova
