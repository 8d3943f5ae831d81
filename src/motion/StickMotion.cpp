#include "motion/StickMotion.h"

#include <algorithm>
#include <numbers>

namespace kestrova {

double Deflection(unsigned raw) {
  const double value = (static_cast<double>(std::min(raw, 65535u)) - 32767.5) / 32767.5;
  return std::clamp(value, -1.0, 1.0);
}

double ZoneFraction(const TSourceMotion& settings, double length) {
  const double inner = settings.DeadZone / 100;
  const double outer = 1 - settings.OuterZone / 100;
  if (length <= inner) return 0;
  if (length >= outer || outer <= inner) return 1;
  return (length - inner) / (outer - inner);
}

TMotionVector TStickMouse::Step(const TSourceMotion& settings, TStick stick, double dtMs) {
  // A square stick reaches beyond 1 in its corners: full, not more, along its direction.
  const double hypot = std::hypot(stick.X, stick.Y);
  const double length = std::min(1.0, hypot);
  const double fraction = ZoneFraction(settings, length);
  FActive = fraction > 0;
  if (!FActive) {
    FAtRimMs = 0;
    FVelocity = {};
    return {};
  }
  double factor = 1;
  if (fraction >= 1) {
    FAtRimMs += dtMs;
    const double ramp = settings.RampMs > 0 ? std::min(1.0, FAtRimMs / settings.RampMs) : 1;
    factor = 1 + (settings.Accel - 1) * ramp;
  } else {
    FAtRimMs = 0;
  }
  const double speed = settings.Speed * std::pow(fraction, settings.Curve) * factor;
  FVelocity = {speed * stick.X / hypot, speed * stick.Y / hypot};
  return {FVelocity.X * dtMs / 1000, FVelocity.Y * dtMs / 1000};
}

double TFlickStick::AngleOf(TStick stick) {
  return std::atan2(stick.X, -stick.Y) * 180 / std::numbers::pi;
}

double TFlickStick::Eased(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return 1 - (1 - t) * (1 - t);
}

void TFlickStick::Reset() {
  FHeld = false;
  FWaitForRelease = false;
  FFlickCounts = FFlickGiven = 0;
  FFlickElapsedMs = FFlickMs = 0;
}

double TFlickStick::Step(const TSourceMotion& settings, TStick stick, double dtMs) {
  const double length = std::min(1.0, std::hypot(stick.X, stick.Y));
  const double onset = 1 - settings.OuterZone / 100;
  const double release = (settings.DeadZone / 100 + onset) / 2;
  const double perDegree = settings.TurnCounts / 360;
  double counts = 0;
  if (FWaitForRelease) {
    if (length < release) FWaitForRelease = false;
    return 0;
  }

  // A flick under way eases out, whatever the stick does now.
  if (FFlickElapsedMs < FFlickMs) {
    FFlickElapsedMs += dtMs;
    const double due = FFlickCounts * Eased(FFlickElapsedMs / FFlickMs);
    counts += due - FFlickGiven;
    FFlickGiven = due;
  }
  if (!FHeld && length >= onset && length > 0) {
    FHeld = true;
    FAngle = AngleOf(stick);
    FFlickCounts = FAngle * perDegree;
    FFlickGiven = 0;
    FFlickMs = settings.FlickMs;
    FFlickElapsedMs = 0;
    if (FFlickMs <= 0) {
      counts += FFlickCounts;  // at once
      FFlickGiven = FFlickCounts;
    }
  } else if (FHeld && length < release) {
    FHeld = false;
  } else if (FHeld && length > 0) {
    // Turning while held turns the view by as much, the short way round.
    const double angle = AngleOf(stick);
    double turned = angle - FAngle;
    turned -= 360 * std::floor((turned + 180) / 360);
    FAngle = angle;
    counts += turned * perDegree;
  }
  return counts;
}

}  // namespace kestrova
