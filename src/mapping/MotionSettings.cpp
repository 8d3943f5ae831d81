#include "MotionSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Convert.h"

namespace kestrova {

const std::array<std::string_view, MotionSourceCount> MotionSourceNames = {
    "Left Stick", "Right Stick", "Gyro", "Touchpad"};
const std::array<std::string_view, 3> MotionModeNames = {"Off", "Mouse", "Flick"};

namespace {

const TMotionValue DeadZoneValue{"deadzone", "Dead zone (%)", &TSourceMotion::DeadZone, 0, 50, 1};
const TMotionValue OuterValue{"outer", "Outer zone (%)", &TSourceMotion::OuterZone, 0, 50, 1};

}  // namespace

bool HasMode(TMotionSource source, TMotionMode mode) {
  return mode != TMotionMode::Flick || IsStick(source);
}

std::vector<TMotionValue> MotionValuesOf(TMotionSource source, TMotionMode mode) {
  if (!HasMode(source, mode) || mode == TMotionMode::Off) return {};
  if (source == TMotionSource::Gyro) {
    return {{"sens", "Sensitivity (px/degree)", &TSourceMotion::GyroSens, 0.01, 1000, 2},
            {"turn", "Counts per turn (0: px)", &TSourceMotion::GyroTurn, 0, 1000000, 0},
            {"axis", "Turns across", &TSourceMotion::GyroAxis, 0, 2, 0, {"yaw", "roll", "player"}},
            {"gate", "On", &TSourceMotion::Gate, 0, 3, 0, {"always", "while", "unless", "toggle"}},
            {"button", "Button", &TSourceMotion::GateButton, 1, 32, 0},
            {"smooth", "Smooth below (deg/s)", &TSourceMotion::SmoothDps, 0, 100, 1},
            {"smoothtime", "Smoothing (ms)", &TSourceMotion::SmoothMs, 1, 500, 0},
            {"tighten", "Tighten below (deg/s)", &TSourceMotion::TightenDps, 0, 100, 1},
            {"accel", "Acceleration (factor)", &TSourceMotion::Accel, 1, 10, 2},
            {"accelrate", "Full at (deg/s)", &TSourceMotion::AccelDps, 1, 2000, 0}};
  }
  if (source == TMotionSource::Touchpad) {
    return {{"speed", "Speed (px/width)", &TSourceMotion::Speed, 1, 100000, 0}};
  }
  switch (mode) {
    case TMotionMode::Mouse:
      return {{"speed", "Speed (px/s)", &TSourceMotion::Speed, 1, 100000, 0},
              DeadZoneValue,
              OuterValue,
              {"curve", "Curve (exponent)", &TSourceMotion::Curve, 0.2, 5, 2},
              {"accel", "Acceleration (factor)", &TSourceMotion::Accel, 1, 10, 2},
              {"ramp", "Ramp (ms)", &TSourceMotion::RampMs, 0, 10000, 0}};
    case TMotionMode::Flick:
      return {{"turn", "Counts per turn", &TSourceMotion::TurnCounts, 1, 1000000, 0},
              DeadZoneValue,
              OuterValue,
              {"flicktime", "Flick time (ms)", &TSourceMotion::FlickMs, 0, 1000, 0}};
    case TMotionMode::Off:
      break;
  }
  return {};
}

bool TMotionSettings::Any() const {
  for (const auto& source : Sources) {
    if (source.Mode != TMotionMode::Off) return true;
  }
  return false;
}

std::string FormatMotionNumber(double value, int decimals) {
  char text[400];
  std::to_chars_result written{};
  if (decimals < 0) {
    // The shortest text that reads back as the same number.
    written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  } else {
    written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  }
  std::string number(text, written.ptr);
  if (decimals > 0 && number.find('.') != std::string::npos) {
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
  }
  return number == "-0" ? "0" : number;
}

std::vector<std::string> FormatMotionLines(const TMotionSettings& motion) {
  std::vector<std::string> lines;
  if (motion.PeriodMs != DefaultMotionPeriodMs) {
    lines.push_back("Period " + std::to_string(motion.PeriodMs));
  }
  for (int source = 0; source < MotionSourceCount; ++source) {
    const TSourceMotion& settings = motion.Sources[source];
    if (settings.Mode == TMotionMode::Off) continue;
    std::string line = std::string(MotionSourceNames[source]) + " " +
                       std::string(MotionModeNames[static_cast<int>(settings.Mode)]);
    for (const TMotionValue& value :
         MotionValuesOf(static_cast<TMotionSource>(source), settings.Mode)) {
      const double number = settings.*value.Field;
      const auto choice = static_cast<std::size_t>(number);
      line += " " + std::string(value.Name) + "=" +
              (value.Choices.empty() || choice >= value.Choices.size()
                   ? FormatMotionNumber(number, -1)
                   : std::string(value.Choices[choice]));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<std::string> ReadMotionLine(std::string_view line, TMotionSettings& motion) {
  constexpr std::string_view period = "Period ";
  if (line.starts_with(period)) {
    int ms = 0;
    if (!TryStrToInt(line.substr(period.size()), ms) || ms < 1 || ms > 20) {
      return "the motion period " + Quoted(line.substr(period.size())) +
             " is not a whole number of milliseconds in 1..20";
    }
    motion.PeriodMs = ms;
    return std::nullopt;
  }
  int source = -1;
  for (int candidate = 0; candidate < MotionSourceCount; ++candidate) {
    const std::string_view name = MotionSourceNames[candidate];
    if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ' ') {
      source = candidate;
    }
  }
  if (source < 0) {
    return "not a motion line: " + Quoted(line) + " (a source, Left Stick, Right Stick, Gyro or " +
           "Touchpad, or Period first)";
  }
  std::string_view rest = line.substr(MotionSourceNames[source].size() + 1);
  const std::size_t modeEnd = rest.find(' ');
  const std::string_view modeName = rest.substr(0, modeEnd);
  rest = modeEnd == std::string_view::npos ? std::string_view() : rest.substr(modeEnd + 1);
  TSourceMotion settings;
  const auto kind = static_cast<TMotionSource>(source);
  if (modeName == MotionModeNames[1]) {
    settings.Mode = TMotionMode::Mouse;
  } else if (modeName == MotionModeNames[2] && HasMode(kind, TMotionMode::Flick)) {
    settings.Mode = TMotionMode::Flick;
  } else {
    return "unknown mode " + Quoted(modeName) + " of " + std::string(MotionSourceNames[source]) +
           (IsStick(kind) ? " (Mouse or Flick)" : " (Mouse)");
  }
  const std::vector<TMotionValue> values = MotionValuesOf(kind, settings.Mode);
  while (!rest.empty()) {
    const std::size_t end = rest.find(' ');
    const std::string_view pair = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const TMotionValue* known = nullptr;
    for (const TMotionValue& value : values) {
      if (value.Name == name) known = &value;
    }
    if (equals == std::string_view::npos || known == nullptr) {
      std::string names;
      for (const TMotionValue& value : values) {
        names += (names.empty() ? "" : ", ") + std::string(value.Name);
      }
      return "unknown setting " + Quoted(pair) + " of " + std::string(modeName) + " (" + names +
             ")";
    }
    const std::string_view text = pair.substr(equals + 1);
    if (!known->Choices.empty()) {
      const auto at = std::find(known->Choices.begin(), known->Choices.end(), text);
      if (at == known->Choices.end()) {
        std::string choices;
        for (const auto choice : known->Choices) {
          choices += (choices.empty() ? "" : ", ") + std::string(choice);
        }
        return std::string(name) + "=" + Quoted(text) + " is none of " + choices;
      }
      settings.*known->Field = static_cast<double>(at - known->Choices.begin());
      continue;
    }
    double number = 0;
    const auto [end2, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end2 != text.data() + text.size() || !std::isfinite(number)) {
      return std::string(name) + "=" + Quoted(text) + " is not a number";
    }
    if (number < known->Min || number > known->Max) {
      return std::string(name) + "=" + std::string(text) + " is outside " +
             FormatMotionNumber(known->Min, known->Decimals) + ".." +
             FormatMotionNumber(known->Max, known->Decimals);
    }
    settings.*known->Field = number;
  }
  motion.Sources[source] = settings;
  return std::nullopt;
}

}  // namespace kestrova
