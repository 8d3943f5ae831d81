#include "SdlShared.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "platform/JoyService.h"

namespace kestrova::sdl {

std::mutex& SdlLock() {
  static std::mutex lock;
  return lock;
}

namespace {

constexpr Uint32 Subsystems = SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;

}  // namespace

void InitSdl() {
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  const bool first = SDL_WasInit(Subsystems) != Subsystems;
  if (SDL_InitSubSystem(Subsystems) != 0) {
    throw std::runtime_error(std::string("Cannot start SDL's controller support: ") +
                             SDL_GetError());
  }
  // Controller events are on only while the service is there to take them off SDL's queue
  // (nothing may pile up in it); a later start of SDL, for a virtual controller, leaves them as
  // the service set them.
  if (first) {
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
  }
}

void QuitSdl() {
  SDL_QuitSubSystem(Subsystems);
}

std::map<SDL_JoystickID, std::vector<TPadSample>>& PushedSamples() {
  static std::map<SDL_JoystickID, std::vector<TPadSample>> samples;
  return samples;
}

std::set<SDL_JoystickID>& VirtualsWithSensors() {
  static std::set<SDL_JoystickID> instances;
  return instances;
}

std::uint64_t NowUs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

namespace {

std::uint32_t FromSdlAxis(Sint16 value) {
  return static_cast<std::uint32_t>(value + 32768);
}

// A trigger's 0..32767 as 0..65535.
std::uint32_t FromSdlTrigger(Sint16 value) {
  return static_cast<std::uint32_t>(std::max<int>(0, value)) * 65535u / 32767u;
}

}  // namespace

void ReadState(SDL_GameController* controller, SDL_Joystick* joystick, JOYINFOEX& info) {
  JOYINFOEX* pji = &info;
  std::uint32_t axes[6] = {32767, 32767, 32767, 32767, 32767, 32767};
  std::uint32_t buttons = 0;
  std::uint32_t pov = JOY_POVCENTERED;
  pji->dwReserved1 = pji->dwReserved2 = 0;
  if (SDL_GameController* pad = controller) {
    axes[0] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX));
    axes[1] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
    // Both triggers on one axis: left towards 65535, right towards 0, 32767 when both rest.
    const int left =
        std::max<int>(0, SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    const int right =
        std::max<int>(0, SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    axes[2] =
        static_cast<std::uint32_t>(std::clamp(32767 + left * 32768 / 32767 - right, 0, 65535));
    pji->dwReserved1 =
        FromSdlTrigger(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
    pji->dwReserved2 =
        FromSdlTrigger(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    axes[3] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY));
    axes[4] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX));
    for (std::size_t i = 0; i < std::size(PadButtons); ++i) {
      if (SDL_GameControllerGetButton(pad, PadButtons[i])) buttons |= 1u << i;
    }
    Uint8 hat = SDL_HAT_CENTERED;
    if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
    if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
    if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
    if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
    pov = PovOfHat(hat);
  } else {
    SDL_Joystick* stick = joystick;
    const int count = std::min(SDL_JoystickNumAxes(stick), 6);
    for (int i = 0; i < count; ++i) axes[i] = FromSdlAxis(SDL_JoystickGetAxis(stick, i));
    const int buttonCount = std::min(SDL_JoystickNumButtons(stick), 32);
    for (int i = 0; i < buttonCount; ++i) {
      if (SDL_JoystickGetButton(stick, i)) buttons |= 1u << i;
    }
    if (SDL_JoystickNumHats(stick) > 0) pov = PovOfHat(SDL_JoystickGetHat(stick, 0));
  }
  pji->dwXpos = axes[0];
  pji->dwYpos = axes[1];
  pji->dwZpos = axes[2];
  pji->dwRpos = axes[3];
  pji->dwUpos = axes[4];
  pji->dwVpos = axes[5];
  pji->dwButtons = buttons;
  pji->dwButtonNumber = static_cast<std::uint32_t>(__builtin_popcount(buttons));
  pji->dwPOV = pov;
}

std::uint32_t PovOfHat(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return JOY_POVCENTERED;
  }
}

Uint8 HatOfPov(std::uint32_t pov) {
  switch (pov) {
    case 0:
      return SDL_HAT_UP;
    case 4500:
      return SDL_HAT_RIGHTUP;
    case 9000:
      return SDL_HAT_RIGHT;
    case 13500:
      return SDL_HAT_RIGHTDOWN;
    case 18000:
      return SDL_HAT_DOWN;
    case 22500:
      return SDL_HAT_LEFTDOWN;
    case 27000:
      return SDL_HAT_LEFT;
    case 31500:
      return SDL_HAT_LEFTUP;
    default:
      return SDL_HAT_CENTERED;
  }
}

}  // namespace kestrova::sdl
