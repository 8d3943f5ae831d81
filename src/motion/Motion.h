#pragma once
// The pointer moved continuously from a controller's readings (a stick as a mouse, flick stick),
// beside the command queue: fed on the poll thread with each reading and its time, it injects
// relative moves directly, carrying the fractions of a pixel from one reading to the next. It
// never takes the queue's lock, so no key waits for a move and no move for a DELAY.
//
// Threads: OnMotionReading on the poll thread; SetSettings, Stop, Live and Move on any thread.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "joystick/Jstick.h"
#include "mapping/MotionSettings.h"
#include "motion/StickMotion.h"
#include "platform/Injector.h"

namespace kestrova {

// What the motion did last, for a live view.
struct TMotionLive {
  std::array<TStick, MotionSourceCount> Sticks{};
  std::array<TMotionVector, MotionSourceCount> Velocity{};  // pixels per second (mouse mode)
  std::array<bool, MotionSourceCount> Active{};
  std::uint64_t Moves = 0;  // relative moves injected so far
};

class TMotion : public TMotionSink {
 public:
  // The longest time one reading accounts for: after a stall the pointer does not jump.
  static constexpr double MaxStepMs = 50;

  explicit TMotion(TInjector& injector) : FInjector(injector) {}

  // New settings; what moves ends, and the next reading starts afresh with them.
  void SetSettings(const TMotionSettings& settings);
  TMotionSettings Settings() const;
  // Ends what moves at once (a flick easing out, the fractions carried); the sources go on with
  // the next reading.
  void Stop();

  std::uint32_t OnMotionReading(const TMotionReading& reading) override;

  TMotionLive Live() const;
  // While watched, the live view keeps the sticks' positions even with every source off.
  void Watch(bool watched) { FWatched = watched; }
  // A relative move now, apart from the readings (the calibration's turn).
  void Move(int dx, int dy);

  // The stick of a source in a reading: X and Y for the left stick; U and R for the right stick
  // of a pad, Z and R for a joystick's second stick.
  static TStick StickOf(TMotionSource source, const TMotionReading& reading);

 private:
  void Restart();  // poll thread

  TInjector& FInjector;
  mutable std::mutex FSettingsLock;  // guards FSettings
  TMotionSettings FSettings;
  std::atomic<std::uint64_t> FGeneration{1};

  // Poll thread only.
  std::uint64_t FSeenGeneration = 0;
  TMotionSettings FRunning;
  std::array<TStickMouse, MotionSourceCount> FMouse{};
  std::array<TFlickStick, MotionSourceCount> FFlick{};
  TMotionVector FCarry;
  bool FWasActive = false;
  std::chrono::steady_clock::time_point FLastAt;

  mutable std::mutex FLiveLock;  // guards FLive
  TMotionLive FLive;
  std::atomic<std::uint64_t> FMoves{0};
  std::atomic<bool> FWatched{false};
};

}  // namespace kestrova
