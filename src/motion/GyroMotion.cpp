#include "motion/GyroMotion.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

constexpr double MaxSampleGapMs = 50;  // a longer gap between samples counts as this long

}  // namespace

void TGyroCalibration::Restart(const TRate& raw, std::uint64_t timeUs) {
  FUp = {};
  FInWindow = true;
  FStartUs = timeUs;
  FSum = FLow = FHigh = raw;
  FCount = 1;
}

void TGyroCalibration::Calibrate(double ms) {
  FDemandMs = std::max(ms, 1.0);
  FInWindow = false;
}

void TGyroCalibration::Accel(const TPadSample& sample) {
  const double length = std::hypot(sample.Values[0], sample.Values[1], sample.Values[2]);
  if (!FInWindow || !(length > 1) || FDemandMs > 0) return;
  const std::array<double, 3> up{sample.Values[0] / length, sample.Values[1] / length,
                                 sample.Values[2] / length};
  if (FUp == std::array<double, 3>{}) {
    FUp = up;
    return;
  }
  const double cosine = FUp[0] * up[0] + FUp[1] * up[1] + FUp[2] * up[2];
  if (cosine < std::cos(StillTiltDegrees * 3.141592653589793 / 180)) FInWindow = false;
}

bool TGyroCalibration::Take(const TRate& raw, std::uint64_t timeUs) {
  if (!FInWindow || timeUs < FStartUs) {
    Restart(raw, timeUs);
    return false;
  }
  bool still = true;
  for (int axis = 0; axis < 3; ++axis) {
    FLow[axis] = std::min(FLow[axis], raw[axis]);
    FHigh[axis] = std::max(FHigh[axis], raw[axis]);
    still = still && FHigh[axis] - FLow[axis] <= 2 * StillBandDps;
    FSum[axis] += raw[axis];
  }
  ++FCount;
  const double elapsedMs = static_cast<double>(timeUs - FStartUs) / 1000;
  if (FDemandMs > 0) {
    // On demand: whatever the samples do, the user holds the pad still.
    if (elapsedMs < FDemandMs) return false;
    FDemandMs = 0;
  } else if (!still) {
    Restart(raw, timeUs);
    return false;
  } else if (elapsedMs < StillMs) {
    return false;
  } else {
    for (int axis = 0; axis < 3; ++axis) {
      if (std::abs(FSum[axis] / FCount) > MaxBiasDps) {
        Restart(raw, timeUs);
        return false;
      }
    }
  }
  for (int axis = 0; axis < 3; ++axis) FBias[axis] = FSum[axis] / FCount;
  FInWindow = false;
  return true;
}

double TGyroMouse::Across(const TRate& rate, int axis) const {
  switch (axis) {
    case 1:  // tilted left is a positive roll
      return -rate[2];
    case 2: {  // about the world's vertical, however the pad is held
      return -(rate[0] * FUp[0] + rate[1] * FUp[1] + rate[2] * FUp[2]);
    }
    default:  // turned left is a positive yaw
      return -rate[1];
  }
}

void TGyroMouse::Accel(const TPadSample& sample) {
  const double length = std::hypot(sample.Values[0], sample.Values[1], sample.Values[2]);
  if (!(length > 1)) return;  // free fall, or nothing: keep what gravity was
  // Smoothed over about a tenth of a second of samples: a shake does not turn the vertical.
  constexpr double Weight = 0.05;
  for (int axis = 0; axis < 3; ++axis) {
    FUp[axis] += Weight * (sample.Values[axis] / length - FUp[axis]);
  }
  const double up = std::hypot(FUp[0], FUp[1], FUp[2]);
  if (up > 0) {
    for (double& value : FUp) value /= up;
  }
}

void TGyroMouse::Reset() {
  FHasLast = false;
  FLastRate = {};
  FWindow.clear();
  FWindowMs = 0;
}

TMotionVector TGyroMouse::Gyro(const TSourceMotion& settings, const TRate& rate,
                               std::uint64_t timeUs, bool gateOpen) {
  const double dtMs = FHasLast && timeUs >= FLastUs
                          ? std::min(static_cast<double>(timeUs - FLastUs) / 1000, MaxSampleGapMs)
                          : 0;
  FHasLast = true;
  FLastUs = timeUs;
  FLastRate = rate;
  if (!gateOpen) {
    FWindow.clear();
    FWindowMs = 0;
    return {};
  }
  double across = Across(rate, static_cast<int>(settings.GyroAxis));
  double up = -rate[0];  // the far edge up looks up: the pointer goes up
  const double magnitude = std::hypot(across, up);

  // Small movements are averaged over the window, large ones pass as they are, and in between
  // they blend.
  FWindow.push_back({across, up, dtMs});
  FWindowMs += dtMs;
  while (FWindow.size() > 1 && FWindowMs - FWindow.front().Ms >= settings.SmoothMs) {
    FWindowMs -= FWindow.front().Ms;
    FWindow.pop_front();
  }
  if (settings.SmoothDps > 0 && FWindowMs > 0) {
    double x = 0;
    double y = 0;
    for (const TSmoothed& sample : FWindow) {
      x += sample.X * sample.Ms;
      y += sample.Y * sample.Ms;
    }
    const double direct =
        std::clamp((magnitude - settings.SmoothDps) / settings.SmoothDps, 0.0, 1.0);
    across = direct * across + (1 - direct) * x / FWindowMs;
    up = direct * up + (1 - direct) * y / FWindowMs;
  }
  double factor = 1;
  if (settings.TightenDps > 0 && magnitude < settings.TightenDps) {
    factor *= magnitude / settings.TightenDps;
  }
  factor *= 1 + (settings.Accel - 1) * std::min(1.0, magnitude / settings.AccelDps);
  const double perDegree =
      settings.GyroTurn > 0 ? settings.GyroSens * settings.GyroTurn / 360 : settings.GyroSens;
  const double scale = factor * perDegree * dtMs / 1000;
  return {across * scale, up * scale};
}

TMotionVector TTouchMouse::Touch(const TSourceMotion& settings, const TPadSample& sample) {
  if (sample.Finger != 0) return {};
  const double x = sample.Values[0];
  const double y = sample.Values[1];
  switch (sample.Kind) {
    case TPadSample::TouchDown:
      FDown = true;
      break;
    case TPadSample::TouchMotion:
      if (FDown) {
        // A touchpad is about twice as wide as it is high: a pixel is as far either way.
        const TMotionVector move{(x - FX) * settings.Speed, (y - FY) * settings.Speed / 2};
        FX = x;
        FY = y;
        return move;
      }
      FDown = true;  // its down was missed: it starts here
      break;
    case TPadSample::TouchUp:
      FDown = false;
      return {};
    default:
      return {};
  }
  FX = x;
  FY = y;
  return {};
}

}  // namespace kestrova
