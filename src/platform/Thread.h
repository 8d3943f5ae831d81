#pragma once
// Thread calls that the core makes of the operating system, each for the calling thread or a
// thread id it got from CurrentThreadId.

namespace kestrova {

// The kernel's id of the calling thread (what setpriority and the trace files use).
long CurrentThreadId();

// Gives the calling thread a timer slack of microseconds, so that short sleeps do not stretch.
void SetTimerSlackUs(unsigned long microseconds);

// Sets a thread's nice value (19 .. -20). Best effort: returns false when the system refuses,
// which it does when raising a priority needs a privilege the user lacks.
bool SetThreadNice(long threadId, int niceValue);

}  // namespace kestrova
