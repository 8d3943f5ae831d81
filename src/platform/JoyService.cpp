#include "JoyService.h"

namespace kestrova {

std::vector<TControllerInfo> ListControllers(TJoyService& service) {
  std::vector<TControllerInfo> controllers;
  for (int number = 0; number < MaxJoysticks; ++number) {
    JOYCAPSA caps{};
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    if (service.joyGetDevCapsA(number, &caps, sizeof caps) != JOYERR_NOERROR) continue;
    if (service.joyGetPosEx(number, &info) != JOYERR_NOERROR) continue;
    caps.szPname[sizeof caps.szPname - 1] = '\0';
    controllers.push_back({number + 1, caps.szPname, static_cast<int>(caps.wNumAxes),
                           static_cast<int>(caps.wNumButtons),
                           (caps.wCaps & JOYCAPS_HASPOV) ? 1 : 0,
                           service.PadLayout(static_cast<std::uint32_t>(number))});
  }
  return controllers;
}

std::string ControllerLine(const TControllerInfo& controller) {
  return "Controller " + std::to_string(controller.JoystickID) + ": " + controller.Name + " (" +
         (controller.PadLayout ? "pad layout" : "plain joystick") + ")";
}

std::string NoControllerLine(int joystickId, bool unplugged) {
  const std::string hint = "plug one in, it is picked up without a restart";
  if (unplugged) return "Controller " + std::to_string(joystickId) + " unplugged; " + hint;
  if (joystickId != 1) return "No controller " + std::to_string(joystickId) + " found; " + hint;
  return "No controller found; " + hint;
}

}  // namespace kestrova
