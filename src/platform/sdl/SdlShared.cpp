#include "SdlShared.h"

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
