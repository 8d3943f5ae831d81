// Sticks as a mouse: the response of a deflection, sub-pixel carry, flick stick, what ends
// motion, and motion beside the queue on a running poll thread.

#include <gmock/gmock.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "common/WaitUntil.h"
#include "exec/Mapper.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "motion/Motion.h"
#include "motion/StickMotion.h"
#include "platform/Sleeper.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TSourceMotion MouseSettings() {
  TSourceMotion settings;
  settings.Mode = TMotionMode::Mouse;
  return settings;  // 1000 px/s, dead zone 10 %, outer 2 %, curve 2, no acceleration
}

// Pixels per second for a deflection, one reading of 1 s.
TMotionVector VelocityOf(const TSourceMotion& settings, TStick stick) {
  TStickMouse mouse;
  return mouse.Step(settings, stick, 1000);
}

// Radial zones and the curve: a diagonal just outside the dead zone moves both axes (a square
// zone per axis would not), the rim and beyond are full speed, halfway is a quarter with curve 2
// and a half with curve 1, and every direction has its own sign.
TEST(StickMouse, ZonesAndCurve) {
  const TSourceMotion settings = MouseSettings();
  TSourceMotion linear = settings;
  linear.Curve = 1;
  TSourceMotion wide = settings;
  wide.DeadZone = 30;
  wide.OuterZone = 20;
  const double half = 0.1 + 0.88 / 2;  // halfway between the zones
  struct TCase {
    const TSourceMotion* Settings;
    TStick Stick;
    double X;
    double Y;
  };
  const TCase cases[] = {
      {&settings, {0.1, 0}, 0, 0},       // on the dead zone's edge: nothing
      {&settings, {0.0, -0.099}, 0, 0},  // inside it
      // a diagonal of length 0.113: ((0.113 - 0.1) / 0.88)^2 x 1000 along it
      {&settings, {0.08, 0.08}, 0.157603, 0.157603},
      {&settings, {0.98, 0}, 1000, 0},  // the rim
      {&settings, {0, 1}, 0, 1000},     // down is +Y
      {&settings, {-1, 0}, -1000, 0},
      {&settings, {0, -0.99}, 0, -1000},
      {&settings, {1, 1}, 707.107, 707.107},  // a square stick's corner: full, not more
      {&settings, {half, 0}, 250, 0},
      {&linear, {half, 0}, 500, 0},
      {&linear, {-half * std::sqrt(0.5), half * std::sqrt(0.5)}, -353.553, 353.553},
      {&wide, {0.3, 0}, 0, 0},
      {&wide, {0.55, 0}, 250, 0},  // (0.55 - 0.3) / (0.8 - 0.3) = 0.5, squared
      {&wide, {0.8, 0}, 1000, 0},
  };
  for (const TCase& c : cases) {
    const TMotionVector v = VelocityOf(*c.Settings, c.Stick);
    EXPECT_NEAR(v.X, c.X, 1e-3) << c.Stick.X << "," << c.Stick.Y;
    EXPECT_NEAR(v.Y, c.Y, 1e-3) << c.Stick.X << "," << c.Stick.Y;
  }
  EXPECT_DOUBLE_EQ(Deflection(0), -1);
  EXPECT_DOUBLE_EQ(Deflection(65535), 1);
  EXPECT_NEAR(Deflection(32767), 0, 1e-4);
}

// Acceleration is reached over the ramp while the stick stays at the rim, and starts again when
// it leaves the rim.
TEST(StickMouse, AccelerationRampsAtTheRim) {
  TSourceMotion settings = MouseSettings();
  settings.Accel = 3;
  settings.RampMs = 100;
  TStickMouse mouse;
  EXPECT_NEAR(mouse.Step(settings, {1, 0}, 50).X, 1000 * 2 * 0.05, 1e-9);  // half way: x2
  EXPECT_NEAR(mouse.Step(settings, {1, 0}, 50).X, 1000 * 3 * 0.05, 1e-9);
  EXPECT_NEAR(mouse.Step(settings, {1, 0}, 50).X, 1000 * 3 * 0.05, 1e-9);  // no more than x3
  mouse.Step(settings, {0.5, 0}, 10);                                      // off the rim
  EXPECT_NEAR(mouse.Step(settings, {1, 0}, 50).X, 1000 * 2 * 0.05, 1e-9);
}

// Flick stick: the angle of the push, eased over the flick time; turning while held; let go, and
// pushed again.
TEST(FlickStick, FlicksTurnsAndLetsGo) {
  TSourceMotion settings;
  settings.Mode = TMotionMode::Flick;
  settings.TurnCounts = 3600;  // 10 counts a degree
  settings.FlickMs = 100;
  EXPECT_DOUBLE_EQ(TFlickStick::AngleOf({0, -1}), 0);
  EXPECT_DOUBLE_EQ(TFlickStick::AngleOf({1, 0}), 90);
  EXPECT_DOUBLE_EQ(TFlickStick::AngleOf({-1, 0}), -90);
  EXPECT_DOUBLE_EQ(std::abs(TFlickStick::AngleOf({0, 1})), 180);
  EXPECT_DOUBLE_EQ(TFlickStick::Eased(0.5), 0.75);

  TFlickStick flick;
  EXPECT_DOUBLE_EQ(flick.Step(settings, {0.9, 0}, 4), 0);  // not yet at the rim
  EXPECT_DOUBLE_EQ(flick.Step(settings, {1, 0}, 4), 0);    // pushed: the flick begins
  EXPECT_TRUE(flick.Active());
  EXPECT_NEAR(flick.Step(settings, {1, 0}, 50), 900 * 0.75, 1e-9);
  EXPECT_NEAR(flick.Step(settings, {1, 0}, 50), 900 * 0.25, 1e-9);
  EXPECT_NEAR(flick.Step(settings, {1, 0}, 50), 0, 1e-9);  // done: 900 in all
  // Turned while held, the short way round: right to back, then across the back.
  EXPECT_NEAR(flick.Step(settings, {0, 1}, 4), 900, 1e-9);
  EXPECT_NEAR(flick.Step(settings, {-std::sin(0.1), std::cos(0.1)}, 4),
              10 * 0.1 * 180 / 3.141592653589793, 1e-6);
  // Let go: nothing more, whatever the stick does under the release point.
  EXPECT_DOUBLE_EQ(flick.Step(settings, {0.3, 0}, 4), 0);
  EXPECT_FALSE(flick.Active());
  EXPECT_DOUBLE_EQ(flick.Step(settings, {0, 0.4}, 4), 0);
  // Pushed again to the left: a flick of -90 degrees, at once without a flick time.
  settings.FlickMs = 0;
  EXPECT_NEAR(flick.Step(settings, {-1, 0}, 4), -900, 1e-9);
  EXPECT_NEAR(flick.Step(settings, {-1, 0}, 4), 0, 1e-9);
  // A flick that is let go at once still turns all the way.
  settings.FlickMs = 100;
  flick.Reset();
  double total = flick.Step(settings, {0, 1}, 4);
  for (int i = 0; i < 30; ++i) total += flick.Step(settings, {0, 0}, 4);
  EXPECT_NEAR(std::abs(total), 1800, 1e-6);
}

TMotionReading Reading(Clock::time_point at, std::uint32_t x, std::uint32_t y = 32767,
                       bool answering = true) {
  TMotionReading reading;
  reading.Answering = answering;
  reading.At = at;
  reading.Raw.dwXpos = x;
  reading.Raw.dwYpos = y;
  reading.Raw.dwZpos = reading.Raw.dwRpos = reading.Raw.dwUpos = reading.Raw.dwVpos = 32767;
  return reading;
}

int SumOfMoves(const std::vector<std::string>& calls, int axis) {
  int sum = 0;
  for (const std::string& call : calls) {
    int dx = 0;
    int dy = 0;
    if (std::sscanf(call.c_str(), "mouse 0x0001 %d %d", &dx, &dy) == 2) sum += axis == 0 ? dx : dy;
  }
  return sum;
}

// Fractions of a pixel are carried: a deflection worth 0.3 px a reading moves 300 px in 1000
// readings, in moves of one pixel; the other axis stays still. The period is what it asks for.
TEST(Motion, FractionsOfAPixelAreCarried) {
  TRecordingInjector injector(1920, 1080, {960, 540});
  TMotion motion(injector);
  TMotionSettings settings;
  settings[TMotionSource::LeftStick] = MouseSettings();
  settings[TMotionSource::LeftStick].Speed = 75;  // 0.3 px in 4 ms at full deflection
  settings.PeriodMs = 4;
  motion.SetSettings(settings);
  auto at = Clock::now();
  EXPECT_EQ(motion.OnMotionReading(Reading(at, 32767)), 0u);  // at rest: nothing wanted
  for (int i = 0; i < 1000; ++i) {
    at += 4ms;
    EXPECT_EQ(motion.OnMotionReading(Reading(at, 65535)), 4u);
  }
  const auto calls = injector.TakeCalls();
  EXPECT_NEAR(SumOfMoves(calls, 0), 300, 1);
  EXPECT_EQ(SumOfMoves(calls, 1), 0);
  EXPECT_NEAR(static_cast<double>(calls.size()), 300, 1);
  EXPECT_EQ(motion.Live().Moves, calls.size());
}

// What ends motion at once: the stick let go, the controller gone, new settings, a stop; and a
// long gap between readings counts as no more than a short one.
TEST(Motion, WhatEndsMotion) {
  TRecordingInjector injector(1920, 1080, {960, 540});
  TMotion motion(injector);
  TMotionSettings settings;
  settings[TMotionSource::RightStick].Mode = TMotionMode::Flick;
  settings[TMotionSource::RightStick].TurnCounts = 3600;
  settings[TMotionSource::LeftStick] = MouseSettings();
  motion.SetSettings(settings);
  auto at = Clock::now();
  const auto read = [&](std::uint32_t x, std::uint32_t z, bool answering = true,
                        std::chrono::milliseconds after = 4ms) {
    at += after;
    TMotionReading reading = Reading(at, x, 32767, answering);
    reading.Raw.dwZpos = z;  // a joystick's second stick: Z across
    return motion.OnMotionReading(reading);
  };
  read(32767, 32767);
  // From rest: one period's worth, 4 px (less a hair: the rest position is not the exact centre).
  EXPECT_EQ(read(65535, 32767), 4u);
  EXPECT_NEAR(SumOfMoves(injector.TakeCalls(), 0), 4, 1);
  read(65535, 32767, true, 1000ms);  // a stall: 50 ms at most
  EXPECT_NEAR(SumOfMoves(injector.TakeCalls(), 0), 50, 1);
  EXPECT_EQ(read(32767, 32767), 0u);  // let go: nothing more, nothing wanted
  EXPECT_EQ(read(32767, 32767), 0u);
  EXPECT_TRUE(injector.TakeCalls().empty());

  read(32767, 65535);  // a flick to the right
  EXPECT_EQ(read(32767, 65535), 4u);
  EXPECT_GT(SumOfMoves(injector.TakeCalls(), 0), 0);
  motion.Stop();  // its ease ends; the stick held at the rim flicks again only once let go
  EXPECT_EQ(read(32767, 65535), 0u);
  read(32767, 65535);
  EXPECT_TRUE(injector.TakeCalls().empty());
  read(32767, 32767);
  read(32767, 0);  // pushed left: a flick of -90 degrees begins
  read(32767, 0, true, 50ms);
  EXPECT_NEAR(SumOfMoves(injector.TakeCalls(), 0), -675, 1);  // half its time: three quarters

  read(32767, 32767);
  read(65535, 32767);
  EXPECT_EQ(read(65535, 32767, false), 0u);  // unplugged
  injector.TakeCalls();
  read(65535, 32767, false);
  EXPECT_TRUE(injector.TakeCalls().empty());

  read(65535, 32767);
  injector.TakeCalls();
  motion.SetSettings(TMotionSettings{});  // cleared
  EXPECT_EQ(read(65535, 32767), 0u);
  EXPECT_TRUE(injector.TakeCalls().empty());
}

// The right stick is U and R on a pad, Z and R on a joystick.
TEST(Motion, TheRightStickOfAPadAndOfAJoystick) {
  TMotionReading reading = Reading(Clock::now(), 32767);
  reading.Raw.dwZpos = 0;
  reading.Raw.dwUpos = 65535;
  reading.Raw.dwRpos = 0;
  EXPECT_DOUBLE_EQ(TMotion::StickOf(TMotionSource::RightStick, reading).X, -1);
  reading.PadLayout = true;
  EXPECT_DOUBLE_EQ(TMotion::StickOf(TMotionSource::RightStick, reading).X, 1);
  EXPECT_DOUBLE_EQ(TMotion::StickOf(TMotionSource::RightStick, reading).Y, -1);
}

// A wake source that wakes once for each input the test tells of, as a device node is readable
// once for each change, and not while a stick is held still.
class TInputWake : public TWakeSource {
 public:
  TInputWake() : FInput(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~TInputWake() override { ::close(FInput); }
  void Input() {
    const std::uint64_t one = 1;
    (void)!::write(FInput, &one, sizeof one);
  }
  bool Wait(std::uint32_t, int interruptFd, std::uint32_t, bool) override {
    pollfd fds[2] = {{interruptFd, POLLIN, 0}, {FInput, POLLIN, 0}};
    ::poll(fds, 2, 10000);
    if (fds[0].revents & POLLIN) return false;
    std::uint64_t count = 0;
    (void)!::read(FInput, &count, sizeof count);
    return true;
  }
  std::string Node() const override { return "/dev/input/test"; }

 private:
  int FInput;
};

// On a running poll thread that waits for input, a held stick is read every period and moves the
// pointer while the worker sleeps in a DELAY and while a block pass holds the queue; let go,
// the poll thread waits again and nothing moves.
TEST(Motion, MovesBesideTheQueueOnTheirOwnPeriod) {
  TRecordingInjector injector(1920, 1080, {960, 540});
  TScriptedJoyService joysticks;
  TRealSleeper sleeper;
  TMotion motion(injector);
  TInputWake wake;
  TMapper mapper(injector, joysticks, sleeper, nullptr);
  TMotionSettings settings;
  settings[TMotionSource::LeftStick] = MouseSettings();
  settings.PeriodMs = 4;
  motion.SetSettings(settings);
  mapper.Jstick1.SetMotionSink(&motion);
  mapper.Jstick1.SetWakeSource(&wake);
  mapper.Jstick1.SetThreadIntensity(100);
  mapper.SetSlot(26, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "DELAY 100000", "ENDBLOCK 001"});
  mapper.Start();
  joysticks.SetButtons(0, 1);  // the block begins: its pass holds the queue through the DELAY
  wake.Input();
  ASSERT_TRUE(WaitUntil([&] { return !injector.HeldKeys().empty(); }, 5s));
  const std::uint64_t moves = motion.Live().Moves;
  joysticks.SetAxis(0, jaX, 65535);  // pushed, and then held: one input
  wake.Input();
  ASSERT_TRUE(WaitUntil([&] { return motion.Live().Moves >= moves + 20; }, 10s));
  joysticks.SetAxis(0, jaX, 32767);
  wake.Input();
  ASSERT_TRUE(WaitUntil([&] { return !motion.Live().Active[0]; }, 10s));
  std::this_thread::sleep_for(20ms);
  const std::uint64_t passes = mapper.Jstick1.PollPasses();
  const std::uint64_t still = motion.Live().Moves;
  std::this_thread::sleep_for(200ms);
  EXPECT_LE(mapper.Jstick1.PollPasses(), passes + 1);  // waiting for input again
  EXPECT_EQ(motion.Live().Moves, still);
  mapper.Shutdown();
}

}  // namespace
}  // namespace kestrova::testing
