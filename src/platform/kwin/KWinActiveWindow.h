#pragma once
// The application in front as KWin (Plasma's compositor) tells it, on Wayland and X11 sessions
// alike: native Wayland windows too, which the X display cannot see. A small script, loaded
// through KWin's scripting interface on the session bus, calls this process back over the bus
// each time a window is activated; the script is unloaded when the source is destroyed.
//
// Everything here runs on the thread of the Qt event loop that delivers the session bus's
// messages (the GUI thread); the handlers are called there.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

class TKWinActiveWindowSource {
 public:
  virtual ~TKWinActiveWindowSource() = default;
  // True from KWin's first report until KWin goes away or refuses the script.
  virtual bool Reporting() const = 0;
};

struct TKWinHandlers {
  // Each activation; Found is false when no window is active.
  std::function<void(const TActiveWindow&)> OnChanged;
  // KWin refused the script or left the bus: why. When KWin comes back, the script is loaded
  // again and OnChanged follows.
  std::function<void(const std::string&)> OnLost;
};

// Loads the script (written into scriptFolder, a folder only this user may enter) when KWin is
// on the session bus. nullptr when there is no session bus or no KWin on it; the answer comes
// later, through the handlers.
std::unique_ptr<TKWinActiveWindowSource> CreateKWinActiveWindowSource(
    const std::string& scriptFolder, TKWinHandlers handlers);

// Asks KWin once for the window in front, running the calling thread's event loop for up to
// timeout. Nothing when KWin is not on the session bus; throws std::runtime_error when KWin is
// there but does not answer.
std::optional<TActiveWindow> ReadKWinActiveWindow(const std::string& scriptFolder,
                                                  std::chrono::milliseconds timeout);

// What the source's reports say in TActiveWindow::Source.
extern const char* const KWinSourceName;

}  // namespace kestrova
