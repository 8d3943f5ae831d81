#pragma once
// Waits that a thread makes (a DELAY line, the pause after each executed line, the poll sleep)
// go through a sleeper, so that they end at once on shutdown and tests need not wait.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kestrova {

class TSleeper {
 public:
  virtual ~TSleeper() = default;
  // Waits ms milliseconds. Returns false, at once, when the sleeper is or becomes interrupted.
  // Any thread.
  virtual bool Sleep(std::uint32_t ms) = 0;
  // Wakes every wait and makes every later one return false at once. Any thread.
  virtual void Interrupt() = 0;
  virtual void Reset() = 0;  // lets waits happen again; only while nobody waits
  virtual bool Interrupted() const = 0;
};

// Sleeps for real: one ppoll on an eventfd per wait, which Interrupt makes readable. (A
// condition variable costs a lock, an unlock with a wake and the wait for every sleep; the poll
// thread sleeps a hundred times a second.)
class TRealSleeper : public TSleeper {
 public:
  TRealSleeper();
  ~TRealSleeper() override;
  TRealSleeper(const TRealSleeper&) = delete;
  TRealSleeper& operator=(const TRealSleeper&) = delete;

  bool Sleep(std::uint32_t ms) override;
  // Waits until the monotonic clock (steady_clock) reaches deadline; false as Sleep.
  bool SleepUntil(std::chrono::steady_clock::time_point deadline);
  void Interrupt() override;
  void Reset() override;
  bool Interrupted() const override { return FInterrupted.load(); }
  // Readable once interrupted: other waits may watch it too.
  int WakeFd() const { return FWakeFd; }

 private:
  int FWakeFd;
  std::atomic<bool> FInterrupted{false};
};

}  // namespace kestrova
