#pragma once
// The signals that ask the program to stop (HUP: the terminal closed, INT: Ctrl-C, QUIT: Ctrl-\,
// TERM), read from a descriptor instead of interrupting a thread, so that the program stops in
// order and releases what it holds. SIGPIPE is ignored from then on. Create it on the main thread
// before any other thread starts: the signals stay blocked in every thread started after it, and
// arrive at Fd() only.

#include <csignal>

namespace kestrova {

class TStopSignals {
 public:
  // Throws std::runtime_error when the descriptor cannot be made.
  TStopSignals();
  ~TStopSignals();  // closes the descriptor
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

  // Readable (non-blocking) when a stop signal has arrived.
  int Fd() const { return FFd; }
  // Reads every pending signal; returns the last one's number, 0 when none was pending.
  int Take();

 private:
  sigset_t FSignals;
  int FFd = -1;
};

}  // namespace kestrova
