#pragma once
// Controllers through SDL2's joystick and game-controller support. Needs no display.

#include <memory>
#include <string>

#include "platform/JoyService.h"

namespace kestrova {

// Controller number n is SDL's device index n at the time of each call, so pads plugged in
// later answer and unplugged ones return JOYERR_UNPLUGGED. Game controllers SDL recognises are
// presented in the usual pad layout (X/Y left stick, Z both triggers, R/U right stick, buttons
// 1..16 = A B X Y LB RB Back Start LS RS Guide Share Paddle1..4, hat = d-pad, each trigger also
// on its own in JOYINFOEX's reserved words); other devices in SDL's own order. Throws
// std::runtime_error when SDL's controller support cannot start.
std::unique_ptr<TJoyService> CreateSdlJoyService();

// joyGetPosExSteps reads a device again when SDL tells of a change, and asks which device a number
// is when SDL tells of one that came or went; and both afresh at least every this many calls.
inline constexpr int SdlFullReadEvery = 64;

struct TVirtualControllerDesc {
  std::string Name = "Kestrova Virtual Controller";
  bool GameController = false;  // SDL's game-controller type: 6 axes, 21 buttons, no hat
  // For a game controller: addressed in the order the pad layout reads it (axes X Y Z R U, 6 the
  // left and 7 the right trigger; buttons 1..16; the hat drives the d-pad) instead of SDL's.
  bool ReadOrder = false;
  int Axes = 6;
  int Buttons = 32;
  int Hats = 1;
  // It has a gyro, an accelerometer and a touchpad: their samples are those pushed to it.
  bool Sensors = false;
};

// A software controller that the SDL service reads like a real one, until it is destroyed.
// Axes and buttons are in the device's own order (for the default desc: X Y Z R U V, buttons
// 1..32; for a game controller, SDL's axis and button order). Axes start at 32767, triggers at 0.
// Throws std::runtime_error when SDL refuses it.
std::unique_ptr<TVirtualController> AttachSdlVirtualController(const TVirtualControllerDesc& desc);

}  // namespace kestrova
