#include "Monitor.h"

#include "joystick/AxisConditioning.h"

#include <cmath>
#include <cstdio>

namespace kestrova {

std::string AxisDirection(TJoyAxis axis, std::int32_t value, int tolerance) {
  static const char* const names[JoyAxisCount][2] = {
      {"Left", "Right"},           {"Up", "Down"},        {"Z Left", "Z Right"},
      {"Rot. Left", "Rot. Right"}, {"U Left", "U Right"}, {"V Left", "V Right"}};
  const long long routed = value + (axis <= jaY ? 1LL : 0LL);
  if (routed < -tolerance) return names[axis][0];
  if (routed > tolerance) return names[axis][1];
  return "Center";
}

std::string TriggerState(int value, int tolerance) {
  return value > tolerance ? "pulled" : "let go";
}

std::string HatDirection(std::uint32_t pov) {
  static const char* const names[] = {"North", "NE", "East", "SE", "South", "SW", "West", "NW"};
  if (pov == JOY_POVCENTERED) return "Center";
  if (pov % 4500 == 0 && pov / 4500 < 8) return names[pov / 4500];
  return "";
}

void TMonitorLines::SensorLines(const TJoyReading& reading,
                                std::chrono::steady_clock::time_point at,
                                std::vector<std::string>& lines) {
  char text[96];
  bool moved = false;
  for (int axis = 0; axis < 3; ++axis) {
    moved = moved || std::abs(reading.Gyro[axis] - FGyroShown[axis]) >= 1;
  }
  if (reading.HasGyro && moved && at - FGyroAt >= SensorLineEvery) {
    std::snprintf(text, sizeof text, "gyro %.1f %.1f %.1f degrees/s", reading.Gyro[0],
                  reading.Gyro[1], reading.Gyro[2]);
    lines.emplace_back(text);
    FGyroShown = reading.Gyro;
    FGyroAt = at;
  }
  if (reading.Touching != FTouchShown) {
    if (reading.Touching) {
      std::snprintf(text, sizeof text, "touch down %.2f %.2f", reading.TouchX, reading.TouchY);
      lines.emplace_back(text);
    } else {
      lines.emplace_back("touch up");
    }
    FTouchShown = reading.Touching;
    FTouchX = reading.TouchX;
    FTouchY = reading.TouchY;
    FTouchAt = at;
  } else if (reading.Touching && (reading.TouchX != FTouchX || reading.TouchY != FTouchY) &&
             at - FTouchAt >= SensorLineEvery) {
    std::snprintf(text, sizeof text, "touch %.2f %.2f", reading.TouchX, reading.TouchY);
    lines.emplace_back(text);
    FTouchX = reading.TouchX;
    FTouchY = reading.TouchY;
    FTouchAt = at;
  }
}

std::vector<std::string> TMonitorLines::Changes(const TJoyReading& reading,
                                                std::chrono::steady_clock::time_point at) {
  static const char* const axisNames = "XYZRUV";
  TJoyReading previous = FPrevious;
  if (!FHasPrevious) {
    // At rest: centred axes, no button, centred hat.
    for (int axis = 0; axis < JoyAxisCount; ++axis) previous.Raw.*AxisFields[axis] = 32767;
    previous.Raw.dwButtons = 0;
    previous.Raw.dwPOV = JOY_POVCENTERED;
    previous.Raw.dwReserved1 = previous.Raw.dwReserved2 = 0;
  }
  std::vector<std::string> lines;
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    const std::uint32_t raw = reading.Raw.*AxisFields[axis];
    if (!reading.Present[axis] || raw == previous.Raw.*AxisFields[axis]) continue;
    std::string line = std::string("axis ") + axisNames[axis] + " " + std::to_string(raw) + " -> " +
                       std::to_string(reading.Value[axis]);
    line += " " + AxisDirection(static_cast<TJoyAxis>(axis), reading.Value[axis],
                                FTolerances[static_cast<std::size_t>(axis)]);
    lines.push_back(line);
  }
  const std::uint32_t triggers[2][2] = {{LeftTrigger(reading.Raw), LeftTrigger(previous.Raw)},
                                        {RightTrigger(reading.Raw), RightTrigger(previous.Raw)}};
  for (int side = 0; side < 2; ++side) {
    const std::uint32_t raw = triggers[side][0];
    if (raw == triggers[side][1]) continue;
    const int value = TriggerValue(raw);
    lines.push_back(std::string(side == 0 ? "axis LT " : "axis RT ") + std::to_string(raw) +
                    " -> " + std::to_string(value) + " " +
                    (side == 0 ? "Left Trigger " : "Right Trigger ") +
                    TriggerState(value, FTolerances[ToleranceCount - 1]));
  }
  for (int button = 0; button < 32; ++button) {
    const std::uint32_t bit = 1u << button;
    if ((reading.Raw.dwButtons & bit) == (previous.Raw.dwButtons & bit)) continue;
    lines.push_back("button " + std::to_string(button + 1) +
                    ((reading.Raw.dwButtons & bit) ? " down" : " up"));
  }
  if (reading.Raw.dwPOV != previous.Raw.dwPOV) {
    const std::string direction = HatDirection(reading.Raw.dwPOV);
    lines.push_back("hat " + std::to_string(reading.Raw.dwPOV) +
                    (direction.empty() ? "" : " " + direction));
  }
  SensorLines(reading, at, lines);
  FPrevious = reading;
  FHasPrevious = true;
  return lines;
}

}  // namespace kestrova
