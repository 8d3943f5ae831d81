// The gyro and the touchpad as a mouse: rotation to pixels, player space however the pad is held,
// calibration, smoothing and the dead-band, the gates, touches, and what stops them.

#include <gmock/gmock.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "common/TempDir.h"
#include "fakes/RecordingInjector.h"
#include "motion/GyroMotion.h"
#include "motion/Motion.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;

TSourceMotion GyroSettings() {
  TSourceMotion settings;
  settings.Mode = TMotionMode::Mouse;
  settings.GyroSens = 10;  // pixels a degree
  settings.SmoothDps = 0;
  return settings;
}

// Pixels of a rotation held at a rate for a time, in samples of 4 ms.
TMotionVector Rotate(TGyroMouse& gyro, const TSourceMotion& settings, TRate rate, int ms,
                     std::uint64_t& timeUs) {
  TMotionVector total;
  for (int elapsed = 0; elapsed < ms; elapsed += 4) {
    timeUs += 4000;
    const TMotionVector step = gyro.Gyro(settings, rate, timeUs, true);
    total.X += step.X;
    total.Y += step.Y;
  }
  return total;
}

// Which rotation turns across: yaw, roll, or the world's vertical however the pad is held; the
// far edge up always looks up. Each of 100 degrees (1000 px at 10 px a degree), sign for sign.
TEST(GyroMouse, RotationToPixels) {
  struct TCase {
    const char* What;
    int Axis;  // 0 yaw, 1 roll, 2 player
    TRate Rate;
    double X;
    double Y;
  };
  const TCase cases[] = {
      {"turned right (yaw)", 0, {0, -100, 0}, 1000, 0},
      {"turned left (yaw)", 0, {0, 100, 0}, -1000, 0},
      {"tilted right, yaw chosen: nothing across", 0, {0, 0, -100}, 0, 0},
      {"tilted right (roll)", 1, {0, 0, -100}, 1000, 0},
      {"turned right, roll chosen: nothing across", 1, {0, -100, 0}, 0, 0},
      {"far edge up", 0, {100, 0, 0}, 0, -1000},
      {"far edge down, roll chosen", 1, {-100, 0, 0}, 0, 1000},
  };
  for (const TCase& c : cases) {
    TSourceMotion settings = GyroSettings();
    settings.GyroAxis = c.Axis;
    TGyroMouse gyro;
    std::uint64_t time = 1'000'000;
    gyro.Gyro(settings, c.Rate, time, true);  // the first sample only starts the clock
    const TMotionVector moved = Rotate(gyro, settings, c.Rate, 1000, time);
    EXPECT_NEAR(moved.X, c.X, 1e-6) << c.What;
    EXPECT_NEAR(moved.Y, c.Y, 1e-6) << c.What;
  }
  // The full-turn calibration: with a game's 7200 counts a turn, sens 1 is a degree a degree.
  TSourceMotion counted = GyroSettings();
  counted.GyroSens = 1;
  counted.GyroTurn = 7200;
  TGyroMouse gyro;
  std::uint64_t time = 0;
  gyro.Gyro(counted, {0, -90, 0}, time, true);
  EXPECT_NEAR(Rotate(gyro, counted, {0, -90, 0}, 1000, time).X, 1800, 1e-6);
  // Samples far apart count as 50 ms at most.
  time += 1'000'000;
  EXPECT_NEAR(gyro.Gyro(counted, {0, -90, 0}, time, true).X, 90 * 0.05 * 20, 1e-6);
}

// Player space: a turn about the world's vertical turns across whether the pad is held flat,
// upright or at 45 degrees; gravity comes from the accelerometer.
TEST(GyroMouse, PlayerSpaceAtThreeAngles) {
  for (const double tilt : {0.0, 45.0, 90.0}) {
    const double radians = tilt * std::numbers::pi / 180;
    // The pad pitched by tilt: the world's up is, in its axes, (0, cos, sin).
    const std::array<double, 3> up{0, std::cos(radians), std::sin(radians)};
    TSourceMotion settings = GyroSettings();
    settings.GyroAxis = 2;
    TGyroMouse gyro;
    TPadSample accel;
    accel.Kind = TPadSample::Accel;
    for (int axis = 0; axis < 3; ++axis) accel.Values[axis] = static_cast<float>(9.81 * up[axis]);
    for (int i = 0; i < 400; ++i) gyro.Accel(accel);  // settled
    // Turned right in the world at 100 degrees a second: about the pad's up axis.
    const TRate rate{-100 * up[0], -100 * up[1], -100 * up[2]};
    std::uint64_t time = 0;
    gyro.Gyro(settings, rate, time, true);
    const TMotionVector moved = Rotate(gyro, settings, rate, 1000, time);
    EXPECT_NEAR(moved.X, 1000, 5) << tilt;
    // Yaw alone would see only the cosine of it.
    TSourceMotion yaw = GyroSettings();
    TGyroMouse plain;
    std::uint64_t plainTime = 0;
    plain.Gyro(yaw, rate, plainTime, true);
    EXPECT_NEAR(Rotate(plain, yaw, rate, 1000, plainTime).X, 1000 * up[1], 5) << tilt;
  }
}

// Small movements are averaged (a slow steady turn keeps its distance, a tremor that goes both
// ways cancels), and under the dead-band damped; large ones pass as they are.
TEST(GyroMouse, SmoothingAndTheDeadBand) {
  TSourceMotion smooth = GyroSettings();
  smooth.SmoothDps = 10;
  smooth.SmoothMs = 100;
  TGyroMouse gyro;
  std::uint64_t time = 0;
  gyro.Gyro(smooth, {0, 0, 0}, time, true);
  double tremor = 0;
  for (int i = 0; i < 250; ++i) {  // 2 degrees a second, flipping every sample: a tremor
    time += 4000;
    tremor += gyro.Gyro(smooth, {0, i % 2 ? 2.0 : -2.0, 0}, time, true).X;
  }
  EXPECT_NEAR(tremor, 0, 0.2);
  TSourceMotion direct = GyroSettings();
  TGyroMouse unsmoothed;
  std::uint64_t other = 0;
  unsmoothed.Gyro(direct, {0, 0, 0}, other, true);
  double jitter = 0;
  for (int i = 0; i < 250; ++i) {
    other += 4000;
    jitter += std::abs(unsmoothed.Gyro(direct, {0, i % 2 ? 2.0 : -2.0, 0}, other, true).X);
  }
  EXPECT_NEAR(jitter, 250 * 0.08, 1e-6);  // each sample moves 0.08 px without smoothing
  // A steady slow turn keeps its distance, smoothed or not; a fast one too.
  EXPECT_NEAR(Rotate(gyro, smooth, {0, -5, 0}, 1000, time).X, 50, 2.5);
  EXPECT_NEAR(Rotate(gyro, smooth, {0, -200, 0}, 1000, time).X, 2000, 30);
  // The dead-band damps by the rate's share of it: at half of it, half the distance.
  TSourceMotion tight = GyroSettings();
  tight.TightenDps = 20;
  TGyroMouse damped;
  std::uint64_t dampedTime = 0;
  damped.Gyro(tight, {0, 0, 0}, dampedTime, true);
  EXPECT_NEAR(Rotate(damped, tight, {0, -10, 0}, 1000, dampedTime).X, 50, 1e-6);
  EXPECT_NEAR(Rotate(damped, tight, {0, -40, 0}, 1000, dampedTime).X, 400, 1e-6);
  // Acceleration: the factor in full at accelrate, in proportion below.
  TSourceMotion fast = GyroSettings();
  fast.Accel = 3;
  fast.AccelDps = 100;
  TGyroMouse accelerated;
  std::uint64_t fastTime = 0;
  accelerated.Gyro(fast, {0, 0, 0}, fastTime, true);
  EXPECT_NEAR(Rotate(accelerated, fast, {0, -100, 0}, 1000, fastTime).X, 3000, 1e-6);
  EXPECT_NEAR(Rotate(accelerated, fast, {0, -50, 0}, 1000, fastTime).X, 1000, 1e-6);
}

// A still pad's constant rate becomes the bias after about a second; a pad that moves never
// calibrates; on demand, whatever the samples do, their mean over the time asked.
TEST(GyroCalibration, RemovesAConstantBiasAndIgnoresMotion) {
  TGyroCalibration calibration;
  std::uint64_t time = 0;
  const TRate bias{0.7, -1.3, 0.2};
  bool found = false;
  for (int i = 0; i < 400 && !found; ++i) {  // a little noise about the bias
    time += 4000;
    const double noise = (i % 3 - 1) * 0.5;
    found = calibration.Take({bias[0] + noise, bias[1] - noise, bias[2]}, time);
  }
  EXPECT_TRUE(found);
  EXPECT_GE(time, 1'000'000u);
  for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(calibration.Bias()[axis], bias[axis], 0.05);

  // A steady turn, however slow and smooth, is no bias: beyond what a gyro rests at, or seen by
  // the accelerometer as a changing tilt (without it, a roll of 5 degrees a second would pass).
  TGyroCalibration turning;
  for (int i = 0; i < 1000; ++i) EXPECT_FALSE(turning.Take({0, -20, 0}, time += 4000)) << i;
  for (const bool withTilt : {true, false}) {
    TGyroCalibration rolling;
    TPadSample tilt;
    tilt.Kind = TPadSample::Accel;
    bool absorbed = false;
    for (int i = 0; i < 1000; ++i) {
      const double angle = i * 0.004 * 5 * std::numbers::pi / 180;
      tilt.Values[0] = static_cast<float>(9.81 * std::sin(withTilt ? angle : 0));
      tilt.Values[1] = static_cast<float>(9.81 * std::cos(withTilt ? angle : 0));
      rolling.Accel(tilt);
      absorbed = rolling.Take({0, 0, 5}, time += 4000) || absorbed;
    }
    EXPECT_EQ(absorbed, !withTilt);
  }

  TGyroCalibration moving;
  for (int i = 0; i < 1000; ++i) {  // slowly turning back and forth: never still
    time += 4000;
    const double rate = 10 * std::sin(i * 0.05);
    EXPECT_FALSE(moving.Take({0, rate, 0}, time)) << i;
  }
  EXPECT_EQ(moving.Bias(), (TRate{0, 0, 0}));

  moving.Calibrate(2000);
  EXPECT_TRUE(moving.Calibrating());
  int samples = 0;
  found = false;
  while (!found) {
    time += 4000;
    ++samples;
    found = moving.Take({3, samples % 2 ? 4.0 : -4.0, 1}, time);
  }
  EXPECT_FALSE(moving.Calibrating());
  EXPECT_NEAR(samples, 500, 2);  // two seconds
  EXPECT_NEAR(moving.Bias()[0], 3, 1e-9);
  EXPECT_NEAR(moving.Bias()[1], 0, 0.01);
}

// The touchpad's first finger moves the pointer; lifting it starts afresh; other fingers move
// nothing.
TEST(TouchMouse, FirstFingerDeltasAndLift) {
  TSourceMotion settings;
  settings.Mode = TMotionMode::Mouse;
  settings.Speed = 1000;  // pixels across the whole touchpad
  const auto touch = [](TPadSample::TKind kind, float x, float y, int finger = 0) {
    TPadSample sample;
    sample.Kind = kind;
    sample.Values[0] = x;
    sample.Values[1] = y;
    sample.Finger = finger;
    return sample;
  };
  TTouchMouse mouse;
  EXPECT_EQ(mouse.Touch(settings, touch(TPadSample::TouchDown, 0.2f, 0.5f)).X, 0);
  const TMotionVector moved = mouse.Touch(settings, touch(TPadSample::TouchMotion, 0.3f, 0.6f));
  EXPECT_NEAR(moved.X, 100, 1e-3);
  EXPECT_NEAR(moved.Y, 50, 1e-3);  // half a pixel's worth down: the touchpad is half as high
  EXPECT_EQ(mouse.Touch(settings, touch(TPadSample::TouchMotion, 0.9f, 0.9f, 1)).X, 0);
  mouse.Touch(settings, touch(TPadSample::TouchUp, 0.3f, 0.6f));
  EXPECT_FALSE(mouse.Down());
  mouse.Touch(settings, touch(TPadSample::TouchDown, 0.8f, 0.1f));  // no jump to the new place
  EXPECT_NEAR(mouse.Touch(settings, touch(TPadSample::TouchMotion, 0.7f, 0.1f)).X, -100, 1e-3);
}

// Through the motion: the gyro moves the pointer only while its gate is open (held, unless held,
// toggled), unusable samples are left out with one status line, a stall is said once, the bias
// is kept for the controller in the store and taken from it.
class TMemoryStore : public TBiasStore {
 public:
  std::optional<TRate> Load(const std::string& controller) override {
    ++Loads;
    return controller == Known ? std::optional<TRate>(Bias) : std::nullopt;
  }
  void Save(const std::string& controller, const TRate& bias) override {
    Saved = controller;
    Bias = bias;
  }
  std::string Known;
  std::string Saved;
  TRate Bias{};
  int Loads = 0;
};

class GyroThroughMotion : public ::testing::Test {
 protected:
  GyroThroughMotion() {
    Motion.SetStatusSink([this](const std::string& line) { Status.push_back(line); });
    Motion.SetBiasStore(&Store);
    Features.Key = "pad-1";
    Features.Gyro = true;
  }
  // One reading with a gyro sample of rate every 4 ms for ms, the buttons given.
  int Read(TRate rate, int ms, std::uint32_t buttons = 0) {
    for (int elapsed = 0; elapsed < ms; elapsed += 4) {
      At += 4ms;
      TimeUs += 4000;
      TPadSample sample;
      sample.Kind = TPadSample::Gyro;
      sample.TimeUs = TimeUs;
      for (int axis = 0; axis < 3; ++axis) sample.Values[axis] = static_cast<float>(rate[axis]);
      Samples = {sample};
      TMotionReading reading;
      reading.Answering = true;
      reading.At = At;
      reading.Raw.dwXpos = reading.Raw.dwYpos = reading.Raw.dwZpos = reading.Raw.dwRpos =
          reading.Raw.dwUpos = 32767;
      reading.Raw.dwButtons = buttons;
      reading.Samples = &Samples;
      reading.Features = &Features;
      Motion.OnMotionReading(reading);
    }
    int moved = 0;
    for (const std::string& call : Injector.TakeCalls()) {
      int dx = 0;
      int dy = 0;
      if (std::sscanf(call.c_str(), "mouse 0x0001 %d %d", &dx, &dy) == 2) moved += dx;
    }
    return moved;
  }
  void Use(double gate, double button = 5) {
    TMotionSettings settings;
    settings[TMotionSource::Gyro] = GyroSettings();
    settings[TMotionSource::Gyro].Gate = gate;
    settings[TMotionSource::Gyro].GateButton = button;
    Motion.SetSettings(settings);
  }

  TRecordingInjector Injector{1920, 1080, {960, 540}};
  TMotion Motion{Injector};
  TMemoryStore Store;
  TPadFeatures Features;
  std::vector<TPadSample> Samples;
  std::vector<std::string> Status;
  std::chrono::steady_clock::time_point At = std::chrono::steady_clock::now();
  std::uint64_t TimeUs = 5'000'000;
};

TEST_F(GyroThroughMotion, GatesOpenAndClose) {
  const TRate right{0, -50, 0};  // 200 px in 400 ms at 10 px a degree
  const std::uint32_t button5 = 1u << 4;
  Use(0);
  EXPECT_NEAR(Read(right, 400), 200, 2);
  EXPECT_NEAR(Read(right, 400, button5), 200, 2);  // always: the button changes nothing
  Use(1);                                          // while held
  EXPECT_EQ(Read(right, 400), 0);
  EXPECT_NEAR(Read(right, 400, button5), 200, 2);
  Use(2);  // unless held: lift and re-centre
  EXPECT_NEAR(Read(right, 400), 200, 2);
  EXPECT_EQ(Read(right, 400, button5), 0);
  Use(3);  // toggled by each press
  EXPECT_EQ(Read(right, 400), 0);
  Read(right, 4, button5);
  EXPECT_NEAR(Read(right, 400), 200, 2);
  Read(right, 4, button5);
  EXPECT_EQ(Read(right, 400), 0);
  Use(1, 32);  // the last button
  EXPECT_NEAR(Read(right, 400, 1u << 31), 200, 2);
}

TEST_F(GyroThroughMotion, BiasBadSamplesAndStalls) {
  Store.Known = "pad-1";
  Store.Bias = {0, 2, 0};  // this pad rests at 2 degrees a second of yaw
  Use(0);
  EXPECT_NEAR(Read({0, 2, 0}, 1000), 0, 1);  // at rest: no drift
  EXPECT_EQ(Store.Loads, 1);
  EXPECT_NEAR(Read({0, -48, 0}, 400), 200, 2);

  // Not a number, or no gyro's: left out, said once; the next good ones move.
  EXPECT_EQ(Read({std::nan(""), 0, 0}, 40), 0);
  EXPECT_EQ(Read({0, -9000, 0}, 40), 0);
  EXPECT_EQ(std::count_if(Status.begin(), Status.end(),
                          [](const std::string& line) {
                            return line.find("no rotation") != std::string::npos;
                          }),
            1);
  EXPECT_NEAR(Read({0, -48, 0}, 400), 200, 2);

  // A stall: readings without samples for longer than half a second.
  for (int i = 0; i < 200; ++i) {
    At += 4ms;
    Samples.clear();
    TMotionReading reading;
    reading.Answering = true;
    reading.At = At;
    reading.Samples = &Samples;
    reading.Features = &Features;
    Motion.OnMotionReading(reading);
  }
  ASSERT_FALSE(Status.empty());
  EXPECT_THAT(Status.back(), ::testing::HasSubstr("has sent nothing for half a second"));
  EXPECT_NEAR(Read({0, -48, 0}, 400), 200, 2);
  EXPECT_THAT(Status.back(), ::testing::HasSubstr("sends samples again"));

  // On demand: two seconds held still at a new rate; kept for the pad, said in a status line.
  Motion.CalibrateGyro(2000);
  Read({0, 3, 0}, 2100);
  EXPECT_EQ(Store.Saved, "pad-1");
  EXPECT_NEAR(Store.Bias[1], 3, 0.01);
  EXPECT_THAT(Status.back(), ::testing::HasSubstr("calibrated"));
  EXPECT_NEAR(Read({0, 3, 0}, 400), 0, 1);
}

// The store in a file: one line per controller, kept across stores, bounded.
TEST(BiasFile, KeepsEachControllersBias) {
  TTempDir dir;
  const std::string path = (dir.Path() / "Kestrova" / "gyro-bias").string();
  {
    TBiasFile file(path);
    EXPECT_FALSE(file.Load("a").has_value());
    file.Save("a", {1, 2, 3});
    file.Save("b", {-1, 0.5, 0});
    file.Save("a", {4, 5, 6});
    file.Save("has blank", {7, 7, 7});  // not a name the file can hold
  }
  TBiasFile again(path);
  EXPECT_EQ(again.Load("a"), (TRate{4, 5, 6}));
  EXPECT_EQ(again.Load("b"), (TRate{-1, 0.5, 0}));
  EXPECT_FALSE(again.Load("has blank").has_value());
  for (std::size_t i = 0; i < TBiasFile::MaxControllers + 5; ++i) {
    again.Save("pad" + std::to_string(i), {0, 0, 0});
  }
  EXPECT_FALSE(again.Load("a").has_value());  // the oldest went
  EXPECT_TRUE(again.Load("pad" + std::to_string(TBiasFile::MaxControllers + 4)).has_value());
}

}  // namespace
}  // namespace kestrova::testing
