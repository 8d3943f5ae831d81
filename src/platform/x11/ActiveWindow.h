#pragma once
// The application in front, as the X display tells it: X11 desktops, and on Wayland desktops
// the XWayland windows (where most games run). A native Wayland window in front shows as none.

#include <memory>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

// Reads _NET_ACTIVE_WINDOW of the root window, then WM_CLASS and _NET_WM_PID of that window.
// Throws std::runtime_error when the display (empty: $DISPLAY) cannot be opened.
TActiveWindow ReadX11ActiveWindow(const std::string& displayName = {});

// Watches PropertyNotify of _NET_ACTIVE_WINDOW on the root window, on a display connection of its
// own (no polling): each change is reported through handlers.OnChanged from Dispatch(). Changes
// only: what is in front when it starts is not reported. Throws std::runtime_error when the
// display (empty: $DISPLAY) cannot be opened.
std::unique_ptr<TActiveWindowSource> CreateX11ActiveWindowSource(
    TActiveWindowHandlers handlers, const std::string& displayName = {});

}  // namespace kestrova
