// Waking the poll thread on controller input, against an evdev node that umockdev mocks: the
// test writes events to the node as a pad would. Runs under umockdev-wrapper.

#include <gmock/gmock.h>
#include <linux/input.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/WaitUntil.h"
#include "fakes/MockUinput.h"
#include "fakes/ScriptedJoyService.h"
#include "joystick/JoystickFixture.h"
#include "platform/evdev/EvdevWake.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TMockUinput::Available()) GTEST_SKIP() << "run under umockdev-wrapper";
    Testbed = umockdev_testbed_new();
    ASSERT_TRUE(umockdev_testbed_add_from_string(
        Testbed,
        "P: /devices/virtual/input/input9/event5\nN: input/event5\n"
        "E: DEVNAME=/dev/input/event5\nE: SUBSYSTEM=input\nE: ID_INPUT=1\n"
        "E: ID_INPUT_JOYSTICK=1\nA: dev=13:69\n",
        nullptr));
    Node = umockdev_testbed_get_dev_fd(Testbed, "/dev/input/event5");
    ASSERT_GE(Node, 0);
    Service.SetDevicePath(0, "/dev/input/event5");
    Wake = CreateEvdevWakeSource(Service);
  }
  void TearDown() override {
    Wake.reset();
    if (Testbed != nullptr) g_object_unref(Testbed);
  }
  // What a pad writes for a button, then the end of its frame.
  void PadEvent(int code, int value) {
    input_event events[2] = {};
    events[0].type = EV_KEY;
    events[0].code = static_cast<__u16>(code);
    events[0].value = value;
    events[1].type = EV_SYN;
    ASSERT_EQ(::write(Node, events, sizeof events), static_cast<ssize_t>(sizeof events));
  }

  UMockdevTestbed* Testbed = nullptr;
  int Node = -1;
  TScriptedJoyService Service;
  std::unique_ptr<TWakeSource> Wake;
  TRealSleeper Interrupt;
};

TEST_F(WakeTest, InputOnTheNodeWakesAtOnceAndNothingElseDoes) {
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    Wake->Wait(0, Interrupt.WakeFd(), 60000);
    woke = true;
  });
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(woke);  // no input, no wake-up (the fallback interval is a minute)
  EXPECT_EQ(Wake->Node(), "/dev/input/event5");
  const auto written = Clock::now();
  PadEvent(BTN_SOUTH, 1);
  ASSERT_TRUE(WaitUntil([&] { return woke.load(); }));
  waiter.join();
  EXPECT_LT(Clock::now() - written, 1s);
  // Drained: the next wait waits again.
  woke = false;
  std::thread again([&] {
    EXPECT_FALSE(Wake->Wait(0, Interrupt.WakeFd(), 60000));  // woken by the interrupt
    woke = true;
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(woke);
  Interrupt.Interrupt();
  ASSERT_TRUE(WaitUntil([&] { return woke.load(); }));
  again.join();
}

TEST_F(WakeTest, WithoutANodeTheIntervalHolds) {
  Service.SetDevicePath(0, "");  // the virtual controller has none
  const auto start = Clock::now();
  EXPECT_TRUE(Wake->Wait(0, Interrupt.WakeFd(), 50));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 45ms);
  EXPECT_EQ(Wake->Node(), "");
  Service.SetDevicePath(0, "/dev/input/missing");  // a node that cannot be opened
  EXPECT_TRUE(Wake->Wait(0, Interrupt.WakeFd(), 20));
  EXPECT_EQ(Wake->Node(), "");
}

// Nothing plugged in: no wake-ups at all until a device appears; then the interval holds for a
// while, so that the controller is found once the joystick library has seen it too.
TEST_F(WakeTest, NothingPluggedInSleepsUntilADeviceAppears) {
  Service.SetDevicePath(0, "");
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    EXPECT_TRUE(Wake->Wait(0, Interrupt.WakeFd(), 20, /*connected=*/false));
    woke = true;
  });
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(woke);  // fifteen intervals: not one wake-up
  umockdev_testbed_uevent(Testbed, "/sys/devices/virtual/input/input9/event5", "add");
  ASSERT_TRUE(WaitUntil([&] { return woke.load(); }, 5s));
  waiter.join();
  // Right after an appearance, the interval again (still not answering).
  const auto start = Clock::now();
  EXPECT_TRUE(Wake->Wait(0, Interrupt.WakeFd(), 20, false));
  EXPECT_LT(Clock::now() - start, 1s);
  // A controller that answers keeps the interval while it has no node, as before.
  EXPECT_TRUE(Wake->Wait(0, Interrupt.WakeFd(), 20, true));
}

// The poll thread with an interval of ten seconds: only a wake-up on input can make it see the
// button at once; stopping it wakes it at once too.
TEST_F(WakeTest, ThePollThreadSeesInputWithoutWaitingForItsInterval) {
  TJstick stick(Service);
  TEventLog log;
  log.Attach(stick);
  stick.SetThreadIntensity(10000);
  stick.SetWakeSource(Wake.get());
  stick.SetEnablePolling(true);
  ASSERT_TRUE(WaitUntil([&] { return stick.PollPasses() >= 1; }));
  std::this_thread::sleep_for(50ms);  // waiting on the node now
  const std::uint64_t passes = stick.PollPasses();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(stick.PollPasses(), passes);  // idle: no pass at all
  Service.SetButtons(0, 1u << 2);
  PadEvent(BTN_EAST, 1);
  const auto pressed = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return log.Size() >= 1; }, 5s));
  EXPECT_LT(Clock::now() - pressed, 2s);
  EXPECT_THAT(log.Take(), ::testing::ElementsAre("button 3 down"));
  const auto stopping = Clock::now();
  stick.SetEnablePolling(false);
  stick.WaitForPollThread();
  EXPECT_LT(Clock::now() - stopping, 2s);  // not the ten seconds of the interval
}

}  // namespace
}  // namespace kestrova::testing
