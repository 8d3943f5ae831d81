#pragma once
// What the controller does, as lines: the raw value of an axis that moved and what the routing
// sees of it, buttons going down and up, the hat. For `kestrova --monitor` and bug reports.

#include <chrono>
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
  // reading reports nothing but what differs from rest. A pad's gyro ("gyro 1.5 -90.0 0.0
  // degrees/s", when it changed by a degree a second or more) and touchpad ("touch down 0.10
  // 0.50", "touch 0.20 0.50", "touch up") make at most ten lines a second of each; a touch's down
  // and up always come. at: when the reading was made.
  std::vector<std::string> Changes(
      const TJoyReading& reading,
      std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now());

  static constexpr std::chrono::milliseconds SensorLineEvery{100};

 private:
  void SensorLines(const TJoyReading& reading, std::chrono::steady_clock::time_point at,
                   std::vector<std::string>& lines);

  TTolerances FTolerances;
  bool FHasPrevious = false;
  TJoyReading FPrevious;
  std::array<float, 3> FGyroShown{};
  bool FTouchShown = false;
  float FTouchX = 0;
  float FTouchY = 0;
  std::chrono::steady_clock::time_point FGyroAt{};
  std::chrono::steady_clock::time_point FTouchAt{};
};

}  // namespace kestrova
