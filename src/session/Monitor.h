#pragma once
// What the controller does, as lines: the raw value of an axis that moved and what the routing
// sees of it, buttons going down and up, the hat. For `kestrova --monitor` and bug reports.

#include <string>
#include <vector>

#include "joystick/Jstick.h"

namespace kestrova {

// The routing's direction of an axis value against its tolerance ("Left", "Right", "Up",
// "Down", "Z Left", "Z Right", "Rot. Left", "Rot. Right", "Center"); "" for U and V, which
// route nothing. X and Y are offset by one, as the routing offsets them.
std::string AxisDirection(TJoyAxis axis, std::int32_t value, int tolerance);
// "North", "NE", ..., "NW", "Center" for 65535; "" for any other value.
std::string HatDirection(std::uint32_t pov);

class TMonitorLines {
 public:
  // tolerances of X, Y, Z and R.
  explicit TMonitorLines(std::array<int, 4> tolerances) : FTolerances(tolerances) {}
  // The lines of what changed since the previous reading ("axis X 12000 -> -316 Left",
  // "button 5 down", "hat 9000 East"); the first reading reports nothing but what differs from
  // rest.
  std::vector<std::string> Changes(const TJoyReading& reading);

 private:
  std::array<int, 4> FTolerances;
  bool FHasPrevious = false;
  TJoyReading FPrevious;
};

}  // namespace kestrova
