#pragma once
// A stick as a mouse, as numbers: the response of a deflection (radial zones and a curve), the
// pointer's velocity with acceleration at the rim, and flick stick. No threads, no output: the
// caller feeds readings with the time since the last and moves the pointer by what comes out.

#include <cmath>

#include "mapping/MotionSettings.h"

namespace kestrova {

// A stick's deflection: -1..1 on each axis, +X right, +Y down (towards the player).
struct TStick {
  double X = 0;
  double Y = 0;
};

struct TMotionVector {
  double X = 0;
  double Y = 0;
};

// A raw axis value 0..65535 as a deflection -1..1 (32767.5 the centre).
double Deflection(unsigned raw);

// How far the deflection's length lies between the inner dead zone and the outer zone, 0..1
// (radial: the zones are circles, so a diagonal counts as far as its length).
double ZoneFraction(const TSourceMotion& settings, double length);

// Mouse mode: the pointer's velocity in pixels per second for a deflection.
class TStickMouse {
 public:
  // The pixels to move for a reading dtMs after the previous one: speed x fraction^curve along
  // the stick's direction, times the acceleration factor reached so far while held at the rim.
  TMotionVector Step(const TSourceMotion& settings, TStick stick, double dtMs);
  void Reset() { FAtRimMs = 0; }
  // The last reading was beyond the dead zone.
  bool Active() const { return FActive; }
  // The last velocity, pixels per second (for a live view).
  TMotionVector Velocity() const { return FVelocity; }

 private:
  double FAtRimMs = 0;  // held at the rim since
  bool FActive = false;
  TMotionVector FVelocity;
};

// Flick stick: pushed past the outer zone the view turns at once by the stick's angle (from
// forward, clockwise), eased over the flick time; turned while held it turns by the angle turned;
// let go (back under the middle of dead zone and outer zone) it stops turning. Mouse counts
// across only, TurnCounts for 360 degrees.
class TFlickStick {
 public:
  // The counts to move for a reading dtMs after the previous one.
  double Step(const TSourceMotion& settings, TStick stick, double dtMs);
  void Reset();
  // Nothing until the stick has been let go: a stick held at the rim when motion starts afresh
  // (a profile switch, a stop) does not flick again.
  void HoldUntilReleased() { FWaitForRelease = true; }
  // Held past the rim, or a flick still easing out.
  bool Active() const { return FHeld || FFlickElapsedMs < FFlickMs; }

  // The angle of a deflection in degrees, 0 forward (up), 90 right, -90 left, 180 back.
  static double AngleOf(TStick stick);
  // The eased share of a flick done after the share t (0..1) of its time.
  static double Eased(double t);

 private:
  bool FHeld = false;
  bool FWaitForRelease = false;
  double FAngle = 0;        // degrees, while held
  double FFlickCounts = 0;  // the whole flick under way
  double FFlickGiven = 0;   // of it, given so far
  double FFlickElapsedMs = 0;
  double FFlickMs = 0;  // its time; elapsed >= this when none runs
};

}  // namespace kestrova
