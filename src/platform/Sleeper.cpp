#include "Sleeper.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace kestrova {

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
  if (FInterrupted) return false;
  pollfd wake{FWakeFd, POLLIN, 0};
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                           static_cast<long>(ns % 1'000'000'000)};
    const int ready = ::ppoll(&wake, 1, &timeout, nullptr);
    if (ready > 0 || FInterrupted) break;
    if (ready == 0) break;  // the time is up
    if (errno != EINTR) break;
  }
  return !FInterrupted;
}

void TRealSleeper::Interrupt() {
  FInterrupted = true;
  const std::uint64_t one = 1;
  (void)!::write(FWakeFd, &one, sizeof one);
}

void TRealSleeper::Reset() {
  std::uint64_t count = 0;
  (void)!::read(FWakeFd, &count, sizeof count);
  FInterrupted = false;
}

}  // namespace kestrova
