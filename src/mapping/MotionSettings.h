#pragma once
// Continuous motion in a profile: which source moves the pointer, how, and how often it is read.
// A version-2 profile may end in a "#Motion" section, one line per source that is on:
//
//   <source> <mode> [<name>=<value> ...]      Left Stick Mouse speed=1200 curve=1.5
//   Period <ms>                               how often an active source is read (1..20; 4)
//
// Sources: "Left Stick" (X and Y), "Right Stick" (U and R on a pad, Z and R on a joystick), "Gyro"
// and "Touchpad" (a pad's motion sensors and touchpad). Modes and their values (omitted ones take
// the default):
//   Mouse  speed (pixels per second at full deflection), deadzone and outer (percent of the
//          stick's travel: the inner dead zone, and the band at the rim that counts as full),
//          curve (exponent of the response; 1 is linear), accel (the speed's factor reached
//          after the stick is held at the rim; 1 is none), ramp (milliseconds to reach it)
//   Flick  turn (mouse counts of one whole turn), deadzone, outer, flicktime (milliseconds the
//          flick is eased over)
// The gyro's Mouse: sens (pixels a degree; with turn, the counts of the game's whole turn, in-game
// degrees a degree), axis (yaw, roll or player: what turns across), gate (always, while, unless
// or toggle) and button (the pad's button it looks at), smooth (degrees a second below which
// movement is averaged) and smoothtime (ms), tighten (degrees a second below which movement is
// damped), accel (factor reached at accelrate degrees a second). The touchpad's Mouse: speed
// (pixels across the whole touchpad).

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

enum class TMotionSource { LeftStick, RightStick, Gyro, Touchpad };
constexpr int MotionSourceCount = 4;
constexpr bool IsStick(TMotionSource source) {
  return source == TMotionSource::LeftStick || source == TMotionSource::RightStick;
}
extern const std::array<std::string_view, MotionSourceCount> MotionSourceNames;

enum class TMotionMode { Off, Mouse, Flick };
extern const std::array<std::string_view, 3> MotionModeNames;  // "Off", "Mouse", "Flick"

struct TSourceMotion {
  TMotionMode Mode = TMotionMode::Off;
  double Speed = 1000;       // pixels per second at full deflection
  double DeadZone = 10;      // percent
  double OuterZone = 2;      // percent
  double Curve = 2;          // exponent
  double Accel = 1;          // factor reached at the rim
  double RampMs = 500;       // to reach it
  double TurnCounts = 3600;  // mouse counts of 360 degrees
  double FlickMs = 100;
  // The gyro's.
  double GyroSens = 10;   // pixels a degree, or in-game degrees a degree with GyroTurn
  double GyroTurn = 0;    // counts of the game's whole turn; 0: GyroSens is in pixels
  double GyroAxis = 0;    // 0 yaw, 1 roll, 2 player space: what turns across
  double Gate = 0;        // 0 always, 1 while the button is held, 2 unless it is, 3 toggled
  double GateButton = 1;  // 1..32
  double SmoothDps = 5;   // below this rate, averaged
  double SmoothMs = 100;  // over this window
  double TightenDps = 0;  // below this rate, damped
  double AccelDps = 360;  // the rate at which Accel is reached
  bool operator==(const TSourceMotion&) const = default;
};

constexpr int DefaultMotionPeriodMs = 4;

struct TMotionSettings {
  std::array<TSourceMotion, MotionSourceCount> Sources{};
  int PeriodMs = DefaultMotionPeriodMs;
  bool operator==(const TMotionSettings&) const = default;
  // Some source is on.
  bool Any() const;
  TSourceMotion& operator[](TMotionSource source) { return Sources[static_cast<int>(source)]; }
  const TSourceMotion& operator[](TMotionSource source) const {
    return Sources[static_cast<int>(source)];
  }
};
inline const TMotionSettings DefaultMotion{};

constexpr std::string_view MotionMarker = "#Motion";

// One value of a mode: its name in a profile, its unit for the window, its range and default.
struct TMotionValue {
  std::string_view Name;
  std::string_view Label;  // "Speed (px/s)"
  double TSourceMotion::*Field;
  double Min;
  double Max;
  int Decimals;  // shown with at most this many
  // A value named by a word ("yaw"), stored as its index; empty for a number.
  std::vector<std::string_view> Choices = {};
};
// The values of a source's mode, in the order a profile writes them; none for Off, and none for a
// mode the source does not have (the gyro and the touchpad have Mouse only).
std::vector<TMotionValue> MotionValuesOf(TMotionSource source, TMotionMode mode);
bool HasMode(TMotionSource source, TMotionMode mode);

// The section's lines, without the marker: "Period" when not the default, then one line per
// source that is on, each with every value of its mode.
std::vector<std::string> FormatMotionLines(const TMotionSettings& motion);

// Reads one line of the section into motion; the reason it cannot, or nothing.
std::optional<std::string> ReadMotionLine(std::string_view line, TMotionSettings& motion);

// A value with at most decimals places and no trailing zeros, '.' always; with decimals -1 the
// shortest text that reads back as the same number (as a profile writes it).
std::string FormatMotionNumber(double value, int decimals);

}  // namespace kestrova
