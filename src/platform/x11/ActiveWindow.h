#pragma once
// The application in front, as the X display tells it: X11 desktops, and on Wayland desktops
// the XWayland windows (where most games run). A native Wayland window in front shows as none.

#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

// Reads _NET_ACTIVE_WINDOW of the root window, then WM_CLASS and _NET_WM_PID of that window.
// Throws std::runtime_error when the display (empty: $DISPLAY) cannot be opened.
TActiveWindow ReadActiveWindow(const std::string& displayName = {});

}  // namespace kestrova
