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

// Sleeps for real: one futex wait with an absolute deadline per sleep, which Interrupt ends. (A
// poll on a file costs the file's bookkeeping on every sleep, a condition variable its lock; the
// poll thread sleeps a hundred times a second.) WakeFd becomes readable on Interrupt too, for
// waits on files that must end with the sleeper's.
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
  std::atomic<std::int32_t> FWord{0};  // the futex: 1 once interrupted
};

}  // namespace kestrova
