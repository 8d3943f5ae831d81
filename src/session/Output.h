#pragma once
// Which output a run injects through, and the screen size it scales absolute moves by.

#include <string>

#include "platform/Desktop.h"

namespace kestrova {

struct TOutputChoice {
  std::string Output;  // "x11", "uinput" or "print"
  std::string Note;    // a warning for the status box, or empty
};

// requested is "auto", "x11", "uinput" or "print". auto: a Wayland session, or no X display,
// takes uinput when it can be written; an X11 session takes x11; a Wayland session without uinput
// falls back to x11 through XWayland with a note. Throws std::runtime_error, with the cause and
// the fix, when no output can work (uinput asked for or needed, and not writable).
TOutputChoice ChooseOutput(const std::string& requested, const TDesktopEnvironment& desktop);

struct TScreenSize {
  int Width = 1920;
  int Height = 1080;
  std::string Source = "the default";
};

// The current mode of the first connected display under drmRoot (/sys/class/drm), else 1920x1080.
TScreenSize DrmScreenSize(const std::string& drmRoot = "/sys/class/drm");

}  // namespace kestrova
