// The runs that ask and print: --list-controllers and --active-window.

#include <iostream>

#include "cli/Fail.h"
#include "cli/Runs.h"
#include "platform/Desktop.h"
#include "platform/compositor/Hyprland.h"
#include "platform/compositor/Sway.h"
#include "platform/x11/ActiveWindow.h"
#include "session/Session.h"

#include <chrono>
#include <mutex>
#include <thread>

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

int RunActiveWindow(const std::function<TInFrontQuery(TWindowSourceKind)>& busQuery) {
  try {
    const TDesktopEnvironment desktop = ReadDesktopEnvironment();
    const TWindowSourceChoice choice = ChooseWindowSources(desktop, XDisplayReachable(desktop));
    TInFrontQuery compositor;
    if (choice.Compositor == TWindowSourceKind::Sway) {
      compositor = [&choice] {
        return ReadSwayActiveWindow(choice.Address, std::chrono::seconds(3));
      };
    } else if (choice.Compositor == TWindowSourceKind::Hyprland) {
      compositor = [&] {
        const std::string folder = HyprlandSocketFolder(desktop.RuntimeDir, choice.Address);
        if (folder.empty()) throw std::runtime_error("Hyprland's sockets are not found");
        return ReadHyprlandActiveWindow(folder, std::chrono::seconds(3));
      };
    } else if (choice.Compositor && busQuery) {
      compositor = busQuery(*choice.Compositor);
    }
    return PrintActiveWindow(AskInFront(
        compositor, [] { return std::optional<TActiveWindow>(ReadX11ActiveWindow()); },
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

int RunCalibrateGyro(const TCommandLine& options) {
  try {
    TProfileDocument empty;
    TSessionOptions calibrating = options;
    calibrating.Output = "print";  // nothing is injected: no source is on
    std::vector<std::string> said;
    std::mutex lock;
    TSession session(calibrating, empty, [&](const std::string& line) {
      std::lock_guard guard(lock);
      said.push_back(line);
    });
    session.Start();
    session.StartReplay(nullptr);
    TMotion& motion = session.Engine().Motion();
    const int id = session.Mapper().Jstick1.JoystickID();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (session.Mapper().Jstick1.PollPasses() < 2 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const TPadFeatures features =
        session.Joysticks().PadFeatures(static_cast<std::uint32_t>(id - 1));
    if (!features.Gyro) {
      session.Shutdown();
      const std::string why =
          features.SensorProblem.empty() ? "it has none" : features.SensorProblem;
      std::cerr << "kestrova: controller " << id << " has no gyro Kestrova can read: " << why
                << "\n";
      return 1;
    }
    std::cerr << "kestrova: hold controller " << id << " still for two seconds\n";
    motion.CalibrateGyro(2000);
    // Done when the motion says so: it keeps the bias for the pad as it says it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
    std::string result;
    while (result.empty() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::lock_guard guard(lock);
      for (const std::string& line : said) {
        if (line.find("calibrated") != std::string::npos) result = line;
      }
    }
    session.Shutdown();
    if (result.empty()) {
      std::cerr << "kestrova: controller " << id << "'s gyro sent too little to calibrate\n";
      return 1;
    }
    std::cout << "kestrova: " << result << " (kept for this pad)\n";
    return 0;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

}  // namespace kestrova
