#pragma once
// One run of Kestrova, with or without a window: the options that choose the services, and the
// services, sleeper, engine and replay player they make. The session owns the running engine:
// it alone starts and stops it. Both front ends create one over their profile document; the
// window adds itself around it, the headless runner prints.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "document/ProfileDocument.h"
#include "platform/Injector.h"
#include "platform/JoyService.h"
#include "platform/Sleeper.h"
#include "platform/WakeSource.h"
#include "session/Engine.h"
#include "session/LineWriter.h"
#include "session/Replay.h"

namespace kestrova {

struct TSessionOptions {
  int Joystick = 1;  // 1-based
  bool JoystickGiven = false;
  std::string Replay;  // a timeline to play on a virtual controller (Joystick is then unused)
  std::string Output = "auto";  // "auto", "x11", "uinput" or "print"
  std::string KeyboardLayout;   // for uinput: "LAYOUT[:VARIANT]", or empty for the user's
  bool ScreenGiven = false;     // the screen size below was given (--screen, or the window's)
  std::string ScreenSource = "--screen";
  int ScreenWidth = 1920;  // print's virtual screen; what uinput scales absolute moves by
  int ScreenHeight = 1080;
  bool CursorGiven = false;
  int CursorX = 0;
  int CursorY = 0;
  int PollInterval = 10;  // ms between two reads of the controller
  // "input": a pass as soon as the controller reports input (its device node), the interval
  // only while it has none; "interval": a pass every PollInterval ms.
  std::string Wake = "input";
};

// Writes "<t> <text>" lines to standard output, t in milliseconds since SetStart with three
// decimals, taken when Print is called. A thread of its own writes them, so that a reader that
// stalls never holds the caller: lines it cannot take in time are dropped, and a line says how
// many. When standard output is closed (a reader that went away), the printing stops and
// onClosed, if set, is called once. Any thread.
class TRecordPrinter {
 public:
  using TClock = std::chrono::steady_clock;
  TRecordPrinter();
  void SetStart(TClock::time_point start);
  void SetOnClosed(std::function<void()> onClosed);
  void Print(const std::string& text);
  bool Closed() const;
  // Writes what is left while the reader takes it (giving up after stallLimit without progress).
  void Finish(std::chrono::milliseconds stallLimit);

 private:
  double Now() const;

  mutable std::mutex FLock;  // guards FStart
  TClock::time_point FStart = TClock::now();
  TLineWriter FWriter;
};

class TSession {
 public:
  // Reads the timeline, starts SDL2 (and the virtual controller of a replay), opens the output
  // the options ask for and makes the engine of the document (which must outlive the session),
  // configured for the controller and the poll interval. Status lines go to statusSink (see
  // TMapper). Throws std::runtime_error (EReplayError for a bad timeline) with a message for the
  // user.
  TSession(const TSessionOptions& options, TProfileDocument& document,
           TMapper::TStatusSink statusSink);
  ~TSession();  // Shutdown
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  TEngine& Engine() { return *FEngine; }
  TMapper& Mapper() { return FEngine->Mapper(); }
  TJoyService& Joysticks() { return *FJoysticks; }
  TInjector& Injector() { return *FInjector; }
  TRecordPrinter& Printer() { return FPrinter; }
  const TSessionOptions& Options() const { return FOptions; }
  bool Replaying() const { return FReplay.has_value(); }
  // The output in use, for the start-up status line ("Output: uinput, keyboard layout de, ...").
  const std::string& OutputDescription() const { return FOutputDescription; }
  // A warning about the output (x11 on a Wayland desktop), or empty.
  const std::string& OutputNote() const { return FOutputNote; }
  // What the timeline does that is likely not meant ("Replay: FILE:LINE: ..."), for the start.
  std::vector<std::string> ReplayWarnings() const;
  // How the poll thread wakes, for the start-up status line.
  std::string WakeDescription() const;

  // Receives the controller's status lines ("Controller 1: ... (pad layout)", "No controller
  // found; ...", unplugged) on the poll thread: once at start, then at every plug and unplug.
  // Set before Start.
  void SetControllerSink(std::function<void(const std::string&)> sink) {
    FControllerSink = std::move(sink);
  }

  // Starts the engine: the worker, then polling. Times of printed lines count from here.
  void Start();
  // Plays the timeline, if any, once the poll thread has taken its first reading (an entry
  // before that would be lost to the seed of the change detection). onEnd is called on the
  // player's thread when the timeline's end time comes. After Start.
  void StartReplay(std::function<void()> onEnd);
  // Where the timeline's times count from, in seconds of the monotonic clock (CLOCK_MONOTONIC),
  // so that an observer outside can time what the entries cause. After Start.
  double ReplayOrigin() const;
  // Stops the player, polling and the worker and releases every key and button still held.
  // Idempotent.
  void Shutdown();

 private:
  TSessionOptions FOptions;
  TRecordPrinter FPrinter;
  std::optional<TReplay> FReplay;
  std::unique_ptr<TJoyService> FJoysticks;
  std::unique_ptr<TVirtualController> FVirtualController;
  std::unique_ptr<TInjector> FInjector;
  TRealSleeper FSleeper;
  std::unique_ptr<TWakeSource> FWake;
  std::unique_ptr<TEngine> FEngine;
  std::unique_ptr<TReplayPlayer> FPlayer;
  TRecordPrinter::TClock::time_point FStart;
  std::string FOutputDescription;
  std::function<void(const std::string&)> FControllerSink;
  bool FAnsweredBefore = false;  // poll thread
  std::string FOutputNote;
};

}  // namespace kestrova
