#include "StopSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <stdexcept>

namespace kestrova {

TStopSignals::TStopSignals() {
  sigemptyset(&FSignals);
  for (const int stop : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&FSignals, stop);
  // A reader of standard output that goes away ends the printing, not the program.
  std::signal(SIGPIPE, SIG_IGN);
  pthread_sigmask(SIG_BLOCK, &FSignals, nullptr);
  FFd = ::signalfd(-1, &FSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (FFd < 0) {
    pthread_sigmask(SIG_UNBLOCK, &FSignals, nullptr);
    throw std::runtime_error("cannot set up signal handling");
  }
}

TStopSignals::~TStopSignals() {
  // The signals stay blocked: one that arrives while the program ends must not kill it half way.
  ::close(FFd);
}

int TStopSignals::Take() {
  int last = 0;
  signalfd_siginfo info;
  while (::read(FFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    last = static_cast<int>(info.ssi_signo);
  }
  return last;
}

}  // namespace kestrova
