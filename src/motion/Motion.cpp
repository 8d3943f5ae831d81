#include "motion/Motion.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

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
  FCarry = {};
  FWasActive = false;
}

std::uint32_t TMotion::OnMotionReading(const TMotionReading& reading) {
  if (const std::uint64_t generation = FGeneration.load(); generation != FSeenGeneration) {
    FSeenGeneration = generation;
    FRunning = Settings();
    Restart();
  }
  if (!FRunning.Any()) {
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
  for (int index = 0; index < MotionSourceCount; ++index) {
    const TSourceMotion& settings = FRunning.Sources[index];
    const TStick stick = StickOf(static_cast<TMotionSource>(index), reading);
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
  return active ? static_cast<std::uint32_t>(FRunning.PeriodMs) : 0;
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
