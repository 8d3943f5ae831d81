#include "platform/Desktop.h"

#include <filesystem>

#include "platform/Environment.h"

namespace kestrova {

TDesktopEnvironment ReadDesktopEnvironment() {
  TDesktopEnvironment desktop;
  desktop.WaylandDisplay = EnvironmentValue("WAYLAND_DISPLAY");
  desktop.SessionType = EnvironmentValue("XDG_SESSION_TYPE");
  desktop.Display = EnvironmentValue("DISPLAY");
  desktop.RuntimeDir = EnvironmentValue("XDG_RUNTIME_DIR");
  desktop.CurrentDesktop = EnvironmentValue("XDG_CURRENT_DESKTOP");
  desktop.SwaySocket = EnvironmentValue("SWAYSOCK");
  desktop.I3Socket = EnvironmentValue("I3SOCK");
  desktop.HyprlandSignature = EnvironmentValue("HYPRLAND_INSTANCE_SIGNATURE");
  return desktop;
}

bool CurrentDesktopIs(const TDesktopEnvironment& desktop, const std::string& name) {
  std::size_t start = 0;
  const std::string& names = desktop.CurrentDesktop;
  while (start <= names.size()) {
    const std::size_t end = std::min(names.find(':', start), names.size());
    const std::string_view one(names.data() + start, end - start);
    if (one.size() == name.size() &&
        std::equal(one.begin(), one.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool IsWaylandSession(const TDesktopEnvironment& desktop) {
  return !desktop.WaylandDisplay.empty() || desktop.SessionType == "wayland";
}

bool XDisplayReachable(const TDesktopEnvironment& desktop, const std::string& socketFolder) {
  const std::string& display = desktop.Display;
  if (display.empty()) return false;
  if (!display.starts_with(":")) return true;
  const std::string number = display.substr(1, display.find('.') - 1);
  std::error_code error;
  return std::filesystem::exists(socketFolder + "/X" + number, error);
}

bool WaylandDisplayReachable(const TDesktopEnvironment& desktop) {
  const std::string& name = desktop.WaylandDisplay;
  if (name.empty()) return false;
  std::error_code error;
  if (name.starts_with("/")) return std::filesystem::exists(name, error);
  return !desktop.RuntimeDir.empty() &&
         std::filesystem::exists(desktop.RuntimeDir + "/" + name, error);
}

std::string WindowPlatformFor(const TDesktopEnvironment& desktop,
                              const std::string& xSocketFolder) {
  const bool wayland = WaylandDisplayReachable(desktop);
  const bool x11 = XDisplayReachable(desktop, xSocketFolder);
  if (wayland && (!x11 || desktop.SessionType == "wayland")) return "wayland";
  return x11 ? "xcb" : "";
}

}  // namespace kestrova
