#pragma once
// A pad's motion sensors and touchpad through SDL: switching the sensors on, SDL's events as
// samples, and what a pad has. Within this backend only; the caller holds SdlLock().

#include "SdlShared.h"

namespace kestrova::sdl {

// Switches the gyro and the accelerometer on where the pad has them.
void EnableSensors(SDL_GameController* pad);

// A sensor or touchpad event as a sample of the instance it came from; false for other events.
bool SampleOf(const SDL_Event& event, SDL_JoystickID& instance, TPadSample& sample);

// What a pad has. A pad made in software has what it was made with.
TPadFeatures FeaturesOf(SDL_GameController* pad, SDL_Joystick* joystick, bool softwareSensors);

}  // namespace kestrova::sdl
