#include "Sleeper.h"

#include <linux/futex.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>
#include <thread>

namespace kestrova {

namespace {

static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(std::int32_t));

int* FutexWord(std::atomic<std::int32_t>& word) {
  return reinterpret_cast<int*>(&word);
}

}  // namespace

TRealSleeper::TRealSleeper() : FWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (FWakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TRealSleeper::~TRealSleeper() {
  ::close(FWakeFd);
}

bool TRealSleeper::Sleep(std::uint32_t ms) {
  if (FInterrupted) return false;
  if (ms == 0) {
    std::this_thread::yield();
    return !FInterrupted;
  }
  return SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

bool TRealSleeper::SleepUntil(std::chrono::steady_clock::time_point deadline) {
  // A futex wait with an absolute deadline on the monotonic clock (steady_clock's): no file to
  // poll, so a sleep costs what the timer costs. Interrupt changes the word and wakes it.
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
  const timespec at{static_cast<time_t>(ns.count() / 1'000'000'000),
                    static_cast<long>(ns.count() % 1'000'000'000)};
  while (!FInterrupted) {
    const long result = ::syscall(SYS_futex, FutexWord(FWord), FUTEX_WAIT_BITSET_PRIVATE, 0, &at,
                                  nullptr, FUTEX_BITSET_MATCH_ANY);
    if (result != 0 && errno == ETIMEDOUT) break;
    if (result != 0 && errno != EINTR && errno != EAGAIN) break;
  }
  return !FInterrupted;
}

void TRealSleeper::Interrupt() {
  FInterrupted = true;
  FWord = 1;
  ::syscall(SYS_futex, FutexWord(FWord), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
  const std::uint64_t one = 1;
  (void)!::write(FWakeFd, &one, sizeof one);
}

void TRealSleeper::Reset() {
  std::uint64_t count = 0;
  (void)!::read(FWakeFd, &count, sizeof count);
  FWord = 0;
  FInterrupted = false;
}

}  // namespace kestrova
