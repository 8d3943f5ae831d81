// The whole road in one process, in real time: scripted controller -> TJstick's poll thread ->
// routing -> queue -> worker -> recording injector.

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "common/WaitUntil.h"
#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class PipelineTest : public ::testing::Test {
 protected:
  PipelineTest() { Mapper.Jstick1.SetThreadIntensity(2); }
  ~PipelineTest() override { Mapper.Shutdown(); }

  int PointerX() {
    TPoint point;
    Injector.GetCursorPos(point);
    return point.x;
  }

  TRecordingInjector Injector{1024, 768, {100, 100}};
  TScriptedJoyService Joysticks;
  TRealSleeper Sleeper;
  TStatusLog Status;
  TMapper Mapper{Injector, Joysticks, Sleeper,
                 [this](const std::string& line) { Status.Add(line); }};
};

TEST_F(PipelineTest, StickLeftAndBackPressesAndReleasesItsKeys) {
  Mapper.SetSlot(0, {"KEY DOWN A"});
  Mapper.SetSlot(1, {"KEY UP A"});
  Mapper.Start();
  ASSERT_TRUE(WaitUntil([&] { return Joysticks.PositionReads() >= 2; }));  // seeded
  Joysticks.SetAxis(0, jaX, 0);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 2; }));
  Joysticks.SetAxis(0, jaX, 32767);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 4; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Injector.Calls(), (Lines{"key 0x10 (SHIFT) down", "key 0x41 (A) down",
                                     "key 0x41 (A) up", "key 0x10 (SHIFT) up"}));
  EXPECT_EQ(Status.Lines(), (Lines{"Executing Stick Left PRESS", "Executing Stick Left RELEASE"}));
}

// A flick from one side straight to the other between two readings (a trigger pair on one
// axis, a stick snapping back): the first side's keys are let go before the other's are pressed.
TEST_F(PipelineTest, StickFlickedAcrossLeavesNoKeyDown) {
  Mapper.SetSlot(0, {"KEY DOWN a"});
  Mapper.SetSlot(1, {"KEY UP a"});
  Mapper.SetSlot(2, {"KEY DOWN b"});
  Mapper.SetSlot(3, {"KEY UP b"});
  Mapper.Start();
  ASSERT_TRUE(WaitUntil([&] { return Joysticks.PositionReads() >= 2; }));  // seeded
  Joysticks.SetAxis(0, jaX, 0);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 1; }));
  Joysticks.SetAxis(0, jaX, 65535);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 3; }));
  Joysticks.SetAxis(0, jaX, 32767);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 4; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Injector.Calls(), (Lines{"key 0x41 (A) down", "key 0x41 (A) up", "key 0x42 (B) down",
                                     "key 0x42 (B) up"}));
}

TEST_F(PipelineTest, StickScaledPointerRunsUntilTerminated) {
  Mapper.SetSlot(26,
                 {"BEGBLOCK 001 RPT 0", "MOUSE MOVE R B 0.02 0 X N", "DELAY 10", "ENDBLOCK 001"});
  Mapper.SetSlot(28, {"TRMBLOCK 001"});
  Mapper.Start();
  Joysticks.SetButtons(0, 1);  // button 1 starts the block
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 3; }));
  EXPECT_EQ(PointerX(), 100);  // centred stick: steps of 0

  Joysticks.SetAxis(0, jaX, 65535);  // full right: 0.02 x 501 = 10 pixels a pass
  ASSERT_TRUE(WaitUntil([&] { return PointerX() >= 150; }));
  Joysticks.SetAxis(0, jaX, 32767);
  // A line already under way may still step once; the ones after read the centred stick.
  const auto mouseCalls = [&] {
    const auto calls = Injector.Calls();
    return std::count_if(calls.begin(), calls.end(),
                         [](const std::string& call) { return call.starts_with("mouse"); });
  };
  const auto before = mouseCalls();
  ASSERT_TRUE(WaitUntil([&] { return mouseCalls() >= before + 2; }));
  const int stopped = PointerX();
  EXPECT_EQ((stopped - 100) % 10, 0);
  ASSERT_TRUE(WaitUntil([&] { return mouseCalls() >= before + 5; }));
  EXPECT_EQ(PointerX(), stopped);

  Joysticks.SetButtons(0, 0b11);  // button 2: terminate
  ASSERT_TRUE(WaitUntil([&] { return Mapper.QueuedLines().empty(); }));
  const auto calls = Injector.Calls().size();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Injector.Calls().size(), calls);
  EXPECT_TRUE(Mapper.QueuedLines().empty());
}

TEST_F(PipelineTest, LostControllerReleasesWhatItHeld) {
  Mapper.SetSlot(26, {"KEY DOWN SHIFT"});
  Mapper.SetSlot(27, {"KEY UP SHIFT"});
  Mapper.Start();
  Joysticks.SetButtons(0, 1);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 1; }));
  Joysticks.SetAnswering(0, false);
  ASSERT_TRUE(WaitUntil([&] { return Injector.Calls().size() >= 2; }));
  EXPECT_EQ(Injector.Calls(), (Lines{"key 0x10 (SHIFT) down", "key 0x10 (SHIFT) up"}));
  EXPECT_TRUE(Injector.HeldKeys().empty());
}

// Everything at once, for the thread sanitizer: the poll thread routes a button pressed and let
// go every few milliseconds into endless blocks and their termination while the worker runs them,
// another thread edits the slots and reads the queue, and a hot-plug rewrites the controller's
// bounds while the GUI side reads them. At the end nothing is left held.
TEST_F(PipelineTest, RoutingQueueingExecutionAndHotPlugAtOnce) {
  Mapper.SetSlot(26, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(27, {"TRMBLOCK 001", "KEY DOWN SHIFT"});
  Mapper.SetSlot(29, {"KEY UP SHIFT"});
  Mapper.Jstick1.SetThreadIntensity(1);
  Mapper.Start();
  ASSERT_TRUE(WaitUntil([&] { return Joysticks.PositionReads() >= 2; }));
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    for (int i = 0; !stop; ++i) {
      Mapper.SetSlot(4, {"DELAY " + std::to_string(i % 3)});
      (void)Mapper.QueueLength();
      (void)Mapper.Jstick1.HasZ();
      (void)Mapper.Jstick1.XMax();
      std::this_thread::sleep_for(1ms);
    }
  });
  std::thread plug([&] {
    for (int i = 0; !stop; ++i) {
      JOYCAPSA caps{};
      caps.wXmax = caps.wYmax = caps.wZmax = caps.wRmax = static_cast<unsigned>(65535 - i % 2);
      caps.wCaps = i % 2 ? JOYCAPS_HASZ : 0;
      Joysticks.SetCaps(0, caps);
      Joysticks.SetAnswering(0, i % 5 != 0);
      std::this_thread::sleep_for(3ms);
    }
  });
  for (int i = 0; i < 60; ++i) {
    Joysticks.SetButtons(0, i % 2 ? 0 : 1);
    std::this_thread::sleep_for(4ms);
  }
  stop = true;
  editor.join();
  plug.join();
  Joysticks.SetAnswering(0, true);
  Mapper.Shutdown();
  EXPECT_TRUE(Injector.HeldKeys().empty());
}

// A stop asked for on another thread ends a long sleep at once.
TEST(Sleeper, AStopFromAnotherThreadEndsASleepAtOnce) {
  TRealSleeper sleeper;
  std::atomic<bool> slept{true};
  const auto start = std::chrono::steady_clock::now();
  std::thread sleeping([&] { slept = sleeper.Sleep(60000); });
  std::this_thread::sleep_for(20ms);
  sleeper.Interrupt();
  sleeping.join();
  EXPECT_FALSE(slept);  // told it was interrupted
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

// Stops asked for on one thread, each taken back by the sleeping thread before it sleeps again,
// as a restarted engine does: every stop ends the sleep under way, and no Reset loses one.
TEST(Sleeper, StopsFromOneThreadAndResetsFromTheSleepingOne) {
  TRealSleeper sleeper;
  std::atomic<int> woken{0};
  std::atomic<bool> done{false};
  std::thread sleeping([&] {
    while (!done) {
      if (!sleeper.Sleep(60000)) {
        ++woken;
        sleeper.Reset();
      }
    }
  });
  for (int stop = 1; stop <= 50; ++stop) {
    ASSERT_TRUE(WaitUntil([&] { return woken.load() == stop - 1 && !sleeper.Interrupted(); }));
    sleeper.Interrupt();
    ASSERT_TRUE(WaitUntil([&] { return woken.load() == stop; }));
  }
  done = true;
  sleeper.Interrupt();
  sleeping.join();
  EXPECT_GE(woken.load(), 50);
}

}  // namespace
}  // namespace kestrova::testing
