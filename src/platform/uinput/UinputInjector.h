#pragma once
// Injection through the kernel's uinput: virtual devices that every compositor, XWayland, X11
// and the console read like a real keyboard and mouse. Keys follow the user's keyboard layout.

#include <memory>
#include <string>

#include "platform/Injector.h"

namespace kestrova {

struct TUinputOptions {
  std::string Device = "/dev/uinput";
  std::string KeyboardLayout;  // "LAYOUT[:VARIANT]", or empty for the user's (see Keymap.h)
  int ScreenWidth = 1920;      // what absolute pixel coordinates are scaled by
  int ScreenHeight = 1080;
};

// Whether the device can be opened for writing; empty when it can, else a message for the user
// that names the cause (module not loaded, no permission) and the fix.
std::string UinputProblem(const std::string& device = "/dev/uinput");

struct TUinputOutput {
  std::unique_ptr<TInjector> Injector;
  std::string Layout;  // the keyboard layout in use, and where it came from
};

// Creates "Kestrova Virtual Keyboard", "Kestrova Virtual Pointer" and "Kestrova Virtual Tablet";
// the injector destroys them. Throws std::runtime_error with the message of UinputProblem, or
// the layout's or the kernel's complaint.
TUinputOutput CreateUinputInjector(const TUinputOptions& options);

}  // namespace kestrova
