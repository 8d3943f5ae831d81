#pragma once
// What wakes the poll thread between two passes: the controller reporting input, rather than a
// fixed interval. Backends: evdev/ (the controller's device node and udev's hot-plug events).

#include <cstdint>
#include <string>

namespace kestrova {

class TWakeSource {
 public:
  virtual ~TWakeSource() = default;
  // Waits until the controller at number (0-based) reports input, controllers are plugged in or
  // out, or interruptFd becomes readable; while the controller has no device node to wait on,
  // for fallbackMs at most. connected: the last reading found the controller; while it did not,
  // only a device appearing wakes it (no wake-ups while nothing is plugged in), except for a
  // short while after each appearance, when fallbackMs holds again until the controller answers.
  // False when interruptFd woke it (it is not read). Poll thread.
  virtual bool Wait(std::uint32_t uJoyID, int interruptFd, std::uint32_t fallbackMs,
                    bool connected = true) = 0;
  // The device node waited on now, or "" while none. Any thread.
  virtual std::string Node() const = 0;
};

}  // namespace kestrova
