#pragma once
// The pointer moved continuously from a controller's readings and samples (a stick as a mouse,
// flick stick, the gyro, the touchpad), beside the command queue: fed on the poll thread with each
// reading and its time, and the pad's sensor samples with theirs, it injects relative moves
// directly, carrying the fractions of a pixel from one reading to the next. It never takes the
// queue's lock, so no key waits for a move and no move for a DELAY.
//
// Threads: OnMotionReading on the poll thread (and the status sink and the bias store's calls
// with it); SetSettings, Stop, Live, Move and CalibrateGyro on any thread.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "joystick/Jstick.h"
#include "mapping/MotionSettings.h"
#include "motion/GyroMotion.h"
#include "motion/StickMotion.h"
#include "platform/Injector.h"

namespace kestrova {

// What the motion did last, for a live view.
struct TMotionLive {
  std::array<TStick, MotionSourceCount> Sticks{};           // the sticks' deflections
  std::array<TMotionVector, MotionSourceCount> Velocity{};  // pixels per second (stick mouse)
  std::array<bool, MotionSourceCount> Active{};
  TRate GyroRate{};  // degrees a second, the bias taken off
  TRate GyroBias{};
  bool Calibrating = false;
  bool GateOpen = false;
  bool Touching = false;
  std::uint64_t Moves = 0;  // relative moves injected so far
};

// Where the gyro's bias is kept between runs, by controller.
class TBiasStore {
 public:
  virtual ~TBiasStore() = default;
  virtual std::optional<TRate> Load(const std::string& controller) = 0;
  virtual void Save(const std::string& controller, const TRate& bias) = 0;
};

// A store in a file of lines "<controller> <x> <y> <z>" (at most MaxControllers of them, the
// latest saved kept), rewritten whole on every save. Where it cannot be read or written it keeps
// nothing, quietly.
class TBiasFile : public TBiasStore {
 public:
  static constexpr std::size_t MaxControllers = 64;
  explicit TBiasFile(std::string path) : FPath(std::move(path)) {}
  std::optional<TRate> Load(const std::string& controller) override;
  void Save(const std::string& controller, const TRate& bias) override;
  // $XDG_CONFIG_HOME/Kestrova/gyro-bias, else ~/.config/Kestrova/gyro-bias; "" without a home.
  static std::string DefaultPath();

 private:
  std::string FPath;
};

class TMotion : public TMotionSink {
 public:
  // The longest time one reading accounts for: after a stall the pointer does not jump.
  static constexpr double MaxStepMs = 50;
  // A gyro that sent samples and sends none for this long has stalled.
  static constexpr double StallMs = 500;
  // Samples beyond these are no gyro's or accelerometer's: they are dropped.
  static constexpr double MaxRateDps = 5000;
  static constexpr double MaxAccel = 200;

  explicit TMotion(TInjector& injector) : FInjector(injector) {}

  // New settings; what moves ends, and the next reading starts afresh with them.
  void SetSettings(const TMotionSettings& settings);
  TMotionSettings Settings() const;
  // Ends what moves at once (a flick easing out, the fractions carried); the sources go on with
  // the next reading.
  void Stop();
  // Status lines (a gyro that stalls or sends unusable samples), and where the bias is kept. Set
  // before readings come.
  void SetStatusSink(std::function<void(const std::string&)> sink) { FStatus = std::move(sink); }
  void SetBiasStore(TBiasStore* store) { FBiasStore = store; }
  // The next ms of the gyro's samples become its bias (the user holds the pad still); it is kept
  // in the store and said in a status line.
  void CalibrateGyro(double ms) { FCalibrateMs = ms; }

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
  // The pad's samples into move; true while the gyro or the touchpad moves.
  bool TakeSamples(const TMotionReading& reading, TMotionVector& move, TMotionLive& live);
  bool GateOpen(const TSourceMotion& gyro, std::uint32_t buttons);
  void Say(const std::string& line) {
    if (FStatus) FStatus(line);
  }

  TInjector& FInjector;
  mutable std::mutex FSettingsLock;  // guards FSettings
  TMotionSettings FSettings;
  std::atomic<std::uint64_t> FGeneration{1};
  std::function<void(const std::string&)> FStatus;
  TBiasStore* FBiasStore = nullptr;
  std::atomic<double> FCalibrateMs{0};

  // Poll thread only.
  std::uint64_t FSeenGeneration = 0;
  TMotionSettings FRunning;
  std::array<TStickMouse, MotionSourceCount> FMouse{};
  std::array<TFlickStick, MotionSourceCount> FFlick{};
  TGyroMouse FGyro;
  TGyroCalibration FCalibration;
  TTouchMouse FTouch;
  std::string FController;  // whose bias FCalibration holds
  bool FToggled = false;    // the toggle gate, and its button as last read
  bool FGateButtonDown = false;
  std::uint64_t FLastSampleUs = 0;
  std::chrono::steady_clock::time_point FLastSampleAt;
  bool FSampling = false;  // samples came lately
  bool FToldBadSamples = false;
  std::chrono::steady_clock::time_point FLastKeptAt;  // a bias went to the store
  TMotionVector FCarry;
  bool FWasActive = false;
  std::chrono::steady_clock::time_point FLastAt;

  mutable std::mutex FLiveLock;  // guards FLive
  TMotionLive FLive;
  std::atomic<std::uint64_t> FMoves{0};
  std::atomic<bool> FWatched{false};
};

}  // namespace kestrova
