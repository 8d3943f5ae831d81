#pragma once
// A pad's gyro and touchpad as a mouse, as numbers: each sample with its own time, the gyro's
// bias taken off (found while the pad lies still, or on demand), small movements smoothed or
// damped, acceleration, and which rotation turns across; the touchpad's first finger. No threads,
// no output.

#include <array>
#include <cstdint>
#include <deque>

#include "mapping/MotionSettings.h"
#include "motion/StickMotion.h"
#include "platform/JoyService.h"

namespace kestrova {

// Degrees a second about the pad's X, Y and Z axes.
using TRate = std::array<double, 3>;

// Finds the gyro's resting rate: while the pad lies still (its rate stays within a narrow band
// for about a second) the mean of that second; on demand, the mean of the samples of a given time
// whatever they do (the user holds it still).
class TGyroCalibration {
 public:
  static constexpr double StillMs = 1000;
  static constexpr double StillBandDps = 2;  // the band a still pad's rate stays in, per axis
  // No gyro rests at more than this: a steady slow turn is no bias.
  static constexpr double MaxBiasDps = 10;
  // While gravity's direction moves by more than this, the pad is not still (degrees).
  static constexpr double StillTiltDegrees = 1.5;

  // Takes a raw sample; true when it found a new bias.
  bool Take(const TRate& raw, std::uint64_t timeUs);
  // An accelerometer sample: a pad whose tilt changes is not still.
  void Accel(const TPadSample& sample);
  const TRate& Bias() const { return FBias; }
  void SetBias(const TRate& bias) { FBias = bias; }
  // The next ms of samples become the bias.
  void Calibrate(double ms);
  bool Calibrating() const { return FDemandMs > 0; }

 private:
  void Restart(const TRate& raw, std::uint64_t timeUs);

  TRate FBias{};
  // The window under way: since when, its sum, its bounds.
  bool FInWindow = false;
  std::uint64_t FStartUs = 0;
  TRate FSum{};
  TRate FLow{};
  TRate FHigh{};
  int FCount = 0;
  std::array<double, 3> FUp{};  // gravity's direction when the window began; 0 for none yet
  double FDemandMs = 0;         // the time an on-demand calibration takes; 0 when none runs
};

// The gyro as a mouse.
class TGyroMouse {
 public:
  // The pixels one gyro sample moves, the bias taken off; gateOpen false moves nothing (the
  // smoothing starts afresh then). The time between samples is the samples' own.
  TMotionVector Gyro(const TSourceMotion& settings, const TRate& rate, std::uint64_t timeUs,
                     bool gateOpen);
  // The accelerometer: where gravity points, for the player-space yaw.
  void Accel(const TPadSample& sample);
  void Reset();
  // A sample left out: the next one counts only its own time, not the gap.
  void Skip(std::uint64_t timeUs) {
    if (FHasLast) FLastUs = timeUs;
  }
  // The last rate, bias taken off (degrees a second).
  const TRate& LastRate() const { return FLastRate; }

  // The rate across for an axis choice (0 yaw, 1 roll, 2 player space): positive turns right.
  double Across(const TRate& rate, int axis) const;

 private:
  bool FHasLast = false;
  std::uint64_t FLastUs = 0;
  TRate FLastRate{};
  std::array<double, 3> FUp{0, 1, 0};  // gravity's opposite, the pad's up, normalised
  struct TSmoothed {
    double X;
    double Y;
    double Ms;
  };
  std::deque<TSmoothed> FWindow;
  double FWindowMs = 0;
};

// The touchpad as a mouse: the first finger's movement; a finger put down starts afresh.
class TTouchMouse {
 public:
  TMotionVector Touch(const TSourceMotion& settings, const TPadSample& sample);
  void Reset() { FDown = false; }
  bool Down() const { return FDown; }

 private:
  bool FDown = false;
  double FX = 0;
  double FY = 0;
};

}  // namespace kestrova
