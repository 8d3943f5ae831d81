#include "Thread.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrova {

long CurrentThreadId() {
  return static_cast<long>(::syscall(SYS_gettid));
}

void SetTimerSlackUs(unsigned long microseconds) {
  ::prctl(PR_SET_TIMERSLACK, microseconds * 1000UL, 0, 0, 0);
}

bool SetThreadNice(long threadId, int niceValue) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), niceValue) == 0;
}

}  // namespace kestrova
