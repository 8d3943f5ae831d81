#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Sleeper.h"

namespace kestrova {

// Returns at once and adds the wait to a virtual clock: delays and passes are tested without
// waiting. NowMs() tells the virtual time slept so far.
class TVirtualSleeper : public TSleeper {
 public:
  bool Sleep(std::uint32_t ms) override;
  void Interrupt() override { FInterrupted = true; }
  void Reset() override { FInterrupted = false; }
  bool Interrupted() const override { return FInterrupted.load(); }
  std::uint64_t NowMs() const { return FNowMs.load(); }

 private:
  std::atomic<bool> FInterrupted{false};
  std::atomic<std::uint64_t> FNowMs{0};
};

}  // namespace kestrova
