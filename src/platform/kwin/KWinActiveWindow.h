#pragma once
// The application in front as KWin (Plasma's compositor) tells it, on Wayland and X11 sessions
// alike: native Wayland windows too, which the X display cannot see. A small script, loaded
// through KWin's scripting interface on the session bus, calls this process back over the bus
// each time a window is activated; the script is unloaded when the source is destroyed.
//
// Everything here runs on the thread of the Qt event loop that delivers the session bus's
// messages (the GUI thread); the handlers are called there.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

// Loads the script (written into scriptFolder, a folder only this user may enter) when KWin is
// on the session bus; its first report is what is in front when it starts. nullptr when there is
// no session bus or no KWin on it; the answer comes later, through the handlers. When KWin
// refuses the script or leaves the bus, OnLost says why; when KWin comes back, the script is
// loaded again. The source's Fd() is -1: the Qt event loop drives it.
std::unique_ptr<TActiveWindowSource> CreateKWinActiveWindowSource(const std::string& scriptFolder,
                                                                  TActiveWindowHandlers handlers);

// Asks KWin once for the window in front, running the calling thread's event loop for up to
// timeout. Nothing when KWin is not on the session bus; throws std::runtime_error when KWin is
// there but does not answer.
std::optional<TActiveWindow> ReadKWinActiveWindow(const std::string& scriptFolder,
                                                  std::chrono::milliseconds timeout);

// What the source's reports say in TActiveWindow::Source.
extern const char* const KWinSourceName;

}  // namespace kestrova
