#include "motion/Motion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {

// A bias found while the pad lay still is kept at most this often.
constexpr auto KeepStillBiasEvery = std::chrono::seconds(60);

bool Usable(const TPadSample& sample, double bound) {
  return std::all_of(std::begin(sample.Values), std::end(sample.Values), [bound](float value) {
    return std::isfinite(value) && std::abs(value) < bound;
  });
}

std::string RateText(const TRate& rate) {
  char text[96];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", rate[0], rate[1], rate[2]);
  return text;
}

}  // namespace

void TMotion::SetSettings(const TMotionSettings& settings) {
  {
    std::lock_guard lock(FSettingsLock);
    FSettings = settings;
  }
  ++FGeneration;
}

TMotionSettings TMotion::Settings() const {
  std::lock_guard lock(FSettingsLock);
  return FSettings;
}

void TMotion::Stop() {
  ++FGeneration;
}

TStick TMotion::StickOf(TMotionSource source, const TMotionReading& reading) {
  const JOYINFOEX& raw = reading.Raw;
  if (source == TMotionSource::LeftStick) return {Deflection(raw.dwXpos), Deflection(raw.dwYpos)};
  return {Deflection(reading.PadLayout ? raw.dwUpos : raw.dwZpos), Deflection(raw.dwRpos)};
}

void TMotion::Restart() {
  for (auto& mouse : FMouse) mouse.Reset();
  for (auto& flick : FFlick) {
    flick.Reset();
    flick.HoldUntilReleased();
  }
  FGyro.Reset();
  FTouch.Reset();
  FToggled = false;
  FCarry = {};
  FWasActive = false;
}

bool TMotion::GateOpen(const TSourceMotion& gyro, std::uint32_t buttons) {
  const int button = std::clamp(static_cast<int>(gyro.GateButton), 1, 32);
  const bool down = (buttons >> (button - 1)) & 1u;
  if (down && !FGateButtonDown) FToggled = !FToggled;
  FGateButtonDown = down;
  switch (static_cast<int>(gyro.Gate)) {
    case 1:
      return down;
    case 2:
      return !down;
    case 3:
      return FToggled;
    default:
      return true;
  }
}

bool TMotion::TakeSamples(const TMotionReading& reading, TMotionVector& move, TMotionLive& live) {
  const TSourceMotion& gyro = FRunning[TMotionSource::Gyro];
  const TSourceMotion& touchpad = FRunning[TMotionSource::Touchpad];
  const bool gyroOn = gyro.Mode == TMotionMode::Mouse;
  const bool open = gyroOn && GateOpen(gyro, reading.Raw.dwButtons);
  live.GateOpen = open;
  bool moving = false;
  if (reading.Features != nullptr && reading.Features->Key != FController) {
    FController = reading.Features->Key;
    const auto stored = FBiasStore != nullptr && !FController.empty()
                            ? FBiasStore->Load(FController)
                            : std::optional<TRate>();
    FCalibration.SetBias(stored.value_or(TRate{}));
  }
  const auto now = reading.At;
  if (const double ms = FCalibrateMs.exchange(0); ms > 0) FCalibration.Calibrate(ms);
  if (reading.Samples != nullptr) {
    for (const TPadSample& sample : *reading.Samples) {
      if (sample.Kind == TPadSample::Gyro || sample.Kind == TPadSample::Accel) {
        if (!Usable(sample, sample.Kind == TPadSample::Gyro ? MaxRateDps : MaxAccel)) {
          if (!FToldBadSamples) {
            Say("The gyro of controller " + std::to_string(reading.JoystickID) +
                " sends samples that are no rotation (not a number, or beyond 5000 degrees a "
                "second): they are left out");
          }
          FToldBadSamples = true;
          if (sample.Kind == TPadSample::Gyro) FGyro.Skip(sample.TimeUs);
          continue;
        }
      }
      switch (sample.Kind) {
        case TPadSample::Gyro: {
          const TRate raw{sample.Values[0], sample.Values[1], sample.Values[2]};
          const bool onDemand = FCalibration.Calibrating();
          if (FCalibration.Take(raw, sample.TimeUs)) {
            const bool keep = onDemand || now - FLastKeptAt > KeepStillBiasEvery;
            if (keep) FLastKeptAt = now;
            if (onDemand)
              Say("The gyro is calibrated: its bias is " + RateText(FCalibration.Bias()) +
                  " degrees a second");
            if (keep && FBiasStore != nullptr && !FController.empty()) {
              FBiasStore->Save(FController, FCalibration.Bias());
            }
          }
          if (!FSampling && FLastSampleUs != 0 && gyroOn) {
            Say("The gyro of controller " + std::to_string(reading.JoystickID) +
                " sends samples again");
          }
          FSampling = true;
          FLastSampleUs = sample.TimeUs;
          FLastSampleAt = now;
          if (!gyroOn) break;
          TRate rate = raw;
          for (int axis = 0; axis < 3; ++axis) rate[axis] -= FCalibration.Bias()[axis];
          const TMotionVector step = FGyro.Gyro(gyro, rate, sample.TimeUs, open);
          move.X += step.X;
          move.Y += step.Y;
          moving = moving || step.X != 0 || step.Y != 0;
          break;
        }
        case TPadSample::Accel:
          FGyro.Accel(sample);
          FCalibration.Accel(sample);
          break;
        default:
          if (touchpad.Mode != TMotionMode::Mouse) break;
          {
            const TMotionVector step = FTouch.Touch(touchpad, sample);
            move.X += step.X;
            move.Y += step.Y;
          }
      }
    }
  }
  if (gyroOn && FSampling &&
      std::chrono::duration<double, std::milli>(now - FLastSampleAt).count() > StallMs) {
    FSampling = false;
    FGyro.Reset();
    Say("The gyro of controller " + std::to_string(reading.JoystickID) +
        " has sent nothing for half a second: it moves nothing until it sends again");
  }
  live.GyroRate = FGyro.LastRate();
  live.GyroBias = FCalibration.Bias();
  live.Calibrating = FCalibration.Calibrating();
  live.Touching = FTouch.Down();
  live.Active[static_cast<int>(TMotionSource::Gyro)] = moving;
  live.Active[static_cast<int>(TMotionSource::Touchpad)] = FTouch.Down();
  return moving || FTouch.Down();
}

std::uint32_t TMotion::OnMotionReading(const TMotionReading& reading) {
  if (const std::uint64_t generation = FGeneration.load(); generation != FSeenGeneration) {
    FSeenGeneration = generation;
    FRunning = Settings();
    Restart();
  }
  const bool calibrating = FCalibration.Calibrating() || FCalibrateMs.load() > 0;
  if (!FRunning.Any() && !calibrating) {
    if (FWatched && reading.Answering) {
      std::lock_guard lock(FLiveLock);
      for (int index = 0; index < MotionSourceCount; ++index) {
        FLive.Sticks[index] = StickOf(static_cast<TMotionSource>(index), reading);
      }
    }
    return 0;
  }
  // A controller that does not answer stops what it moved.
  if (!reading.Answering) {
    Restart();
    std::lock_guard lock(FLiveLock);
    FLive = TMotionLive{};
    FLive.Moves = FMoves;
    return 0;
  }
  const double sinceMs = std::chrono::duration<double, std::milli>(reading.At - FLastAt).count();
  FLastAt = reading.At;
  // From rest, a reading accounts for one period at most: the stick was not held before it.
  const double dtMs = std::clamp(sinceMs, 0.0, FWasActive ? MaxStepMs : FRunning.PeriodMs * 1.0);

  TMotionVector move;
  TMotionLive live;
  bool active = false;
  for (const TMotionSource source : {TMotionSource::LeftStick, TMotionSource::RightStick}) {
    const int index = static_cast<int>(source);
    const TSourceMotion& settings = FRunning.Sources[index];
    const TStick stick = StickOf(source, reading);
    live.Sticks[index] = stick;
    if (settings.Mode == TMotionMode::Mouse) {
      const TMotionVector step = FMouse[index].Step(settings, stick, dtMs);
      move.X += step.X;
      move.Y += step.Y;
      live.Velocity[index] = FMouse[index].Velocity();
      live.Active[index] = FMouse[index].Active();
    } else if (settings.Mode == TMotionMode::Flick) {
      move.X += FFlick[index].Step(settings, stick, dtMs);
      live.Active[index] = FFlick[index].Active();
    }
    active = active || live.Active[index];
  }
  active = TakeSamples(reading, move, live) || active;
  FWasActive = active;
  FCarry.X += move.X;
  FCarry.Y += move.Y;
  const double dx = std::trunc(FCarry.X);
  const double dy = std::trunc(FCarry.Y);
  if (dx != 0 || dy != 0) {
    FCarry.X -= dx;
    FCarry.Y -= dy;
    Move(static_cast<int>(std::clamp(dx, -1e6, 1e6)), static_cast<int>(std::clamp(dy, -1e6, 1e6)));
  }
  live.Moves = FMoves;
  {
    std::lock_guard lock(FLiveLock);
    FLive = live;
  }
  return active || live.Calibrating ? static_cast<std::uint32_t>(FRunning.PeriodMs) : 0;
}

void TMotion::Move(int dx, int dy) {
  FInjector.mouse_event(MOUSEEVENTF_MOVE, dx, dy, 0, 0);
  ++FMoves;
}

TMotionLive TMotion::Live() const {
  std::lock_guard lock(FLiveLock);
  TMotionLive live = FLive;
  live.Moves = FMoves;
  return live;
}

}  // namespace kestrova
