// The runs that ask and print: --list-controllers and --active-window.

#include <iostream>

#include "cli/Fail.h"
#include "cli/Runs.h"
#include "platform/x11/ActiveWindow.h"
#include "session/Session.h"

namespace kestrova {

namespace {

int PrintActiveWindow(const TActiveWindow& active) {
  if (!active.Found) {
    if (active.Source.starts_with("X11")) {
      std::cout << "no X window is active (source: " << active.Source
                << "); on a Wayland desktop a native Wayland window may be in front\n";
    } else {
      std::cout << "no window is active (source: " << active.Source << ")\n";
    }
    return 0;
  }
  std::cout << "class: " << active.Class << "\ninstance: " << active.Instance
            << "\nexecutable: " << (active.Executable.empty() ? "(not told)" : active.Executable)
            << "\nsource: " << active.Source << "\n";
  return 0;
}

}  // namespace

int RunActiveWindow(const TInFrontQuery& kwin) {
  try {
    return PrintActiveWindow(AskInFront(
        kwin, [] { return std::optional<TActiveWindow>(ReadX11ActiveWindow()); },
        [](const std::string& note) { std::cerr << "kestrova: " << note << "\n"; }));
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

int RunListControllers(const TCommandLine& options) {
  try {
    TSessionOptions listing = options;
    listing.Output = "print";  // nothing is injected; no display needed
    TProfileDocument empty;
    TSession session(listing, empty, nullptr);
    const auto controllers = ListControllers(session.Joysticks());
    if (controllers.empty()) {
      std::cout << "No controllers found. Plug one in: Kestrova picks it up without a restart.\n";
    }
    for (const auto& c : controllers) {
      std::cout << c.JoystickID << ": " << c.Name << " (" << c.Axes << " axes, " << c.Buttons
                << " buttons, " << c.Hats << " hats" << (c.PadLayout ? ", pad layout" : "")
                << ")\n";
    }
    return 0;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

}  // namespace kestrova
