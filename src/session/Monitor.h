#pragma once
// What the controller does, as lines: the raw value of an axis that moved and what the routing
// sees of it, buttons going down and up, the hat. For `kestrova --monitor` and bug reports.

#include <string>
#include <vector>

#include "joystick/Jstick.h"
#include "mapping/Profile.h"

namespace kestrova {

// The routing's direction of an axis value against its tolerance ("Left", "Right", "Up",
// "Down", "Z Left", "Z Right", "Rot. Left", "Rot. Right", "U Left", ..., "V Right", "Center").
// X and Y are offset by one, as the routing offsets them.
std::string AxisDirection(TJoyAxis axis, std::int32_t value, int tolerance);
// "pulled" when a trigger's 0..1000 value is beyond its tolerance, else "let go".
std::string TriggerState(int value, int tolerance);
// "North", "NE", ..., "NW", "Center" for 65535; "" for any other value.
std::string HatDirection(std::uint32_t pov);

class TMonitorLines {
 public:
  explicit TMonitorLines(const TTolerances& tolerances) : FTolerances(tolerances) {}
  // The lines of what changed since the previous reading ("axis X 12000 -> -316 Left",
  // "axis LT 65535 -> 1000 Left Trigger pulled", "button 5 down", "hat 9000 East"); the first
  // reading reports nothing but what differs from rest.
  std::vector<std::string> Changes(const TJoyReading& reading);

 private:
  TTolerances FTolerances;
  bool FHasPrevious = false;
  TJoyReading FPrevious;
};

}  // namespace kestrova
