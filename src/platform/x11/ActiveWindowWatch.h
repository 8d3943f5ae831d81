#pragma once
// Told when the application in front changes: PropertyNotify of _NET_ACTIVE_WINDOW on the root
// window of a display connection of its own (no polling). The owner waits on Fd() in its event
// loop and calls Changed() when it is readable.

#include <memory>
#include <optional>
#include <string>

#include "platform/x11/ActiveWindow.h"

namespace kestrova {

class TActiveWindowWatch {
 public:
  virtual ~TActiveWindowWatch() = default;
  virtual int Fd() const = 0;
  // Reads what the display sent; the application now in front when the active window changed.
  virtual std::optional<TActiveWindow> Changed() = 0;
};

// Throws std::runtime_error when the display (empty: $DISPLAY) cannot be opened.
std::unique_ptr<TActiveWindowWatch> CreateActiveWindowWatch(const std::string& displayName = {});

}  // namespace kestrova
