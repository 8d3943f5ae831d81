// --active-window with the window's libraries at hand: KWin first (it sees native Wayland
// windows too), else the X display.

#include <QCoreApplication>
#include <iostream>
#include <optional>

#include "Headless.h"
#include "Instance.h"
#include "WindowMain.h"
#include "platform/kwin/KWinActiveWindow.h"

namespace kestrova {

int RunActiveWindowQuery(const TCommandLine& options, int& argc, char** argv) {
  std::optional<TActiveWindow> active;
  {
    QCoreApplication application(argc, argv);
    try {
      active = ReadKWinActiveWindow(PrivateRuntimeFolder(), std::chrono::seconds(3));
    } catch (const std::exception& error) {
      std::cerr << "kestrova: " << error.what() << "; asking the X display\n";
    }
  }
  return active ? PrintActiveWindow(*active) : RunActiveWindow(options);
}

}  // namespace kestrova
