#pragma once
// What the SDL service and the virtual controller share: SDL's lock, starting and stopping its
// controller support, the hat and the pad layout's button order. Within this backend only.

#include <SDL.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/JoyService.h"

namespace kestrova::sdl {

// Every SDL call of this backend is made under this lock.
std::mutex& SdlLock();

// Starts SDL's controller support; the caller holds SdlLock(). Balanced by QuitSdl().
void InitSdl();
void QuitSdl();

// A device's state now: a game controller (not null) in the pad layout, else the joystick in
// SDL's own order.
void ReadState(SDL_GameController* controller, SDL_Joystick* joystick, JOYINFOEX& info);

std::uint32_t PovOfHat(Uint8 hat);
Uint8 HatOfPov(std::uint32_t pov);

// Samples pushed for controllers made in software, by instance, until the service takes them into
// the queue SDL's own sensor and touchpad events go to; and which of them have sensors. The caller
// holds SdlLock().
std::map<SDL_JoystickID, std::vector<TPadSample>>& PushedSamples();
std::set<SDL_JoystickID>& VirtualsWithSensors();

// Microseconds on the monotonic clock: the time of a sample that carries none of its own.
std::uint64_t NowUs();

// The pad layout's buttons 1..17, in SDL's terms (17: the touchpad's click).
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
                                                          SDL_CONTROLLER_BUTTON_PADDLE4,
                                                          SDL_CONTROLLER_BUTTON_TOUCHPAD};

}  // namespace kestrova::sdl
