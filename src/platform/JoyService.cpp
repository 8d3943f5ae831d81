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

namespace {

// A hat's position as the four directions held (1 up, 2 right, 4 down, 8 left), and back.
constexpr std::uint32_t Positions[16] = {JOY_POVCENTERED,
                                         0,
                                         9000,
                                         4500,
                                         18000,
                                         JOY_POVCENTERED,
                                         13500,
                                         JOY_POVCENTERED,
                                         27000,
                                         31500,
                                         JOY_POVCENTERED,
                                         JOY_POVCENTERED,
                                         22500,
                                         JOY_POVCENTERED,
                                         JOY_POVCENTERED,
                                         JOY_POVCENTERED};

unsigned DirectionsOf(std::uint32_t pov) {
  for (unsigned held = 1; held < 16; ++held) {
    if (Positions[held] == pov && pov != JOY_POVCENTERED) return held;
  }
  return 0;
}

bool SameButtonsAndHat(const JOYINFOEX& a, const JOYINFOEX& b) {
  return a.dwButtons == b.dwButtons && a.dwPOV == b.dwPOV;
}

}  // namespace

std::vector<JOYINFOEX> StepsThrough(const JOYINFOEX& previous, const std::vector<TInputEdge>& edges,
                                    const JOYINFOEX& current) {
  std::vector<JOYINFOEX> steps;
  JOYINFOEX step = current;
  step.dwButtons = previous.dwButtons;
  step.dwPOV = previous.dwPOV;
  unsigned directions = DirectionsOf(previous.dwPOV);
  for (const TInputEdge& edge : edges) {
    JOYINFOEX next = step;
    if (edge.Kind == TInputEdge::Button && edge.Index >= 0 && edge.Index < 32) {
      const std::uint32_t bit = 1u << edge.Index;
      next.dwButtons = edge.Value ? (next.dwButtons | bit) : (next.dwButtons & ~bit);
    } else if (edge.Kind == TInputEdge::Hat) {
      next.dwPOV = edge.Value;
      directions = DirectionsOf(edge.Value);
    } else if (edge.Kind == TInputEdge::HatDirection) {
      directions = edge.Value ? (directions | edge.Index) : (directions & ~edge.Index);
      next.dwPOV = Positions[directions & 15];
    }
    if (SameButtonsAndHat(next, step)) continue;
    next.dwButtonNumber = static_cast<std::uint32_t>(__builtin_popcount(next.dwButtons));
    steps.push_back(next);
    step = next;
  }
  if (steps.empty() || !SameButtonsAndHat(steps.back(), current)) {
    steps.push_back(current);
  } else {
    steps.back() = current;  // the same buttons and hat: the state now, whole
  }
  return steps;
}

}  // namespace kestrova
