#include "Output.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/uinput/UinputInjector.h"

namespace kestrova {

TOutputChoice ChooseOutput(const std::string& requested, const TDesktopEnvironment& desktop) {
  if (requested == "print" || requested == "x11") return {requested, ""};
  if (requested == "uinput") {
    if (!desktop.UinputProblem.empty()) throw std::runtime_error(desktop.UinputProblem);
    return {"uinput", ""};
  }
  const bool wayland = IsWaylandSession(desktop);
  const bool display = !desktop.Display.empty();
  if (display && !wayland) return {"x11", ""};
  if (desktop.UinputProblem.empty()) return {"uinput", ""};
  if (display) {
    return {"x11", "Keys reach only X11 (XWayland) applications of this Wayland desktop: " +
                       desktop.UinputProblem};
  }
  throw std::runtime_error("no output: no X display (DISPLAY is not set) and " +
                           desktop.UinputProblem);
}

TScreenSize DrmScreenSize(const std::string& drmRoot) {
  std::error_code error;
  std::vector<std::filesystem::path> connectors;
  for (const auto& entry : std::filesystem::directory_iterator(drmRoot, error)) {
    connectors.push_back(entry.path());
  }
  std::sort(connectors.begin(), connectors.end());
  for (const auto& connector : connectors) {
    std::ifstream status(connector / "status");
    std::string state;
    if (!(status >> state) || state != "connected") continue;
    std::ifstream modes(connector / "modes");
    std::string mode;  // the current mode is listed first: "2560x1440"
    if (!(modes >> mode)) continue;
    const auto x = mode.find('x');
    if (x == std::string::npos) continue;
    const int width = std::atoi(mode.substr(0, x).c_str());
    const int height = std::atoi(mode.substr(x + 1).c_str());
    if (width > 0 && height > 0) return {width, height, connector.string()};
  }
  return {};
}

}  // namespace kestrova
