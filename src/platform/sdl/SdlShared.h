#pragma once
// What the SDL service and the virtual controller share: SDL's lock, starting and stopping its
// controller support, the hat and the pad layout's button order. Within this backend only.

#include <SDL.h>

#include <cstdint>
#include <iterator>
#include <mutex>

namespace kestrova::sdl {

// Every SDL call of this backend is made under this lock.
std::mutex& SdlLock();

// Starts SDL's controller support; the caller holds SdlLock(). Balanced by QuitSdl().
void InitSdl();
void QuitSdl();

std::uint32_t PovOfHat(Uint8 hat);
Uint8 HatOfPov(std::uint32_t pov);

// The pad layout's buttons 1..16, in SDL's terms.
inline constexpr SDL_GameControllerButton PadButtons[] = {SDL_CONTROLLER_BUTTON_A,
                                                          SDL_CONTROLLER_BUTTON_B,
                                                          SDL_CONTROLLER_BUTTON_X,
                                                          SDL_CONTROLLER_BUTTON_Y,
                                                          SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
                                                          SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
                                                          SDL_CONTROLLER_BUTTON_BACK,
                                                          SDL_CONTROLLER_BUTTON_START,
                                                          SDL_CONTROLLER_BUTTON_LEFTSTICK,
                                                          SDL_CONTROLLER_BUTTON_RIGHTSTICK,
                                                          SDL_CONTROLLER_BUTTON_GUIDE,
                                                          SDL_CONTROLLER_BUTTON_MISC1,
                                                          SDL_CONTROLLER_BUTTON_PADDLE1,
                                                          SDL_CONTROLLER_BUTTON_PADDLE2,
                                                          SDL_CONTROLLER_BUTTON_PADDLE3,
                                                          SDL_CONTROLLER_BUTTON_PADDLE4};

}  // namespace kestrova::sdl
