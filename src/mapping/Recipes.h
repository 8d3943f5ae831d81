#pragma once
// Ready-made lists: a stick as the mouse.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {

enum class TMouseStick {
  Left,   // X and Y: Stick Left, Right, Up, Down
  Right,  // U and R: U Left, U Right, Rot. Left (up), Rot. Right (down)
  ZR,     // Z and R: Z Left, Z Right, Rot. Left, Rot. Right (a joystick's second stick)
};

// The lines of one slot.
using TSlotLines = std::pair<int, std::vector<std::string>>;

// A stick as the mouse: each of its four directions' Press list repeats a relative move scaled
// by its axis, then DELAY 10, without end, and its Release list ends that block. speed is the
// pixels a full deflection moves each pass (1..100; a pass takes its DELAY and 1 ms for each of
// its four lines, about 15 ms); the step is speed / 500, written with the decimal separator
// given. nextBlockId gives a fresh id for each of the four blocks. The eight slots in the order
// left, right, up, down, each Press then Release.
std::vector<TSlotLines> StickAsMouse(TMouseStick stick, int speed, char decimalSeparator,
                                     const std::function<std::string()>& nextBlockId);

}  // namespace kestrova
