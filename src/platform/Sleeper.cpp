#include "Sleeper.h"

#include <chrono>
#include <thread>

namespace kestrova {

bool TRealSleeper::Sleep(std::uint32_t ms) {
  std::unique_lock lock(FLock);
  if (ms == 0) {
    lock.unlock();
    std::this_thread::yield();
    return !FInterrupted;
  }
  FWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FInterrupted.load(); });
  return !FInterrupted;
}

void TRealSleeper::Interrupt() {
  {
    std::lock_guard lock(FLock);
    FInterrupted = true;
  }
  FWake.notify_all();
}

void TRealSleeper::Reset() {
  std::lock_guard lock(FLock);
  FInterrupted = false;
}

bool TVirtualSleeper::Sleep(std::uint32_t ms) {
  if (FInterrupted) return false;
  FNowMs += ms;
  return true;
}

}  // namespace kestrova
