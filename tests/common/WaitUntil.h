#pragma once
// Waiting in tests for what another thread or process does.

#include <chrono>
#include <thread>

namespace kestrova::testing {

// Checks condition every millisecond until it holds (true) or timeout has passed (false). The
// timeouts are generous, so that a loaded machine passes; a passing test never waits them out.
template <typename Condition>
bool WaitUntil(Condition condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kestrova::testing
