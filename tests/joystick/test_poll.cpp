// The poll thread on a scripted controller: which changes it raises, in which order, and when it
// wakes.

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "joystick/JoystickFixture.h"
#include "joystick/PollThread.h"
#include "platform/evdev/EvdevWake.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string Rest = "axis -1 -1 -1 -1 -1 -1 pcX 49.99924";

// The poll thread's body driven pass by pass on the test's thread.
class PollTest : public ::testing::Test {
 protected:
  PollTest() { Log.Attach(Stick); }
  TScriptedJoyService Service;
  TJstick Stick{Service};
  TEventLog Log;
  TPollThread Poll{Stick};
};

TEST_F(PollTest, RestingStickRaisesOneEventThenNothingWhateverTheJitter) {
  Service.SetAxis(0, jaX, 32700);  // at rest but not exactly centred
  Poll.Prepare();
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre(Rest));
  for (std::uint32_t jitter : {31000u, 34000u, 29500u, 36000u, 32767u}) {
    Service.SetAxis(0, jaX, jitter);
    Service.SetAxis(0, jaY, jitter);
    Poll.Pass();
  }
  EXPECT_TRUE(Log.Take().empty());
  Service.SetAxis(0, jaX, 0);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis -500 -1 -1 -1 -1 -1 pcX 0.00000"));
}

TEST_F(PollTest, ConnectionIsToldAtStartAndAtEveryChange) {
  Stick.OnConnection = [this](TObject* sender, bool answering) {
    EXPECT_EQ(sender, &Poll);
    Log.Add(answering ? "answers" : "silent");
  };
  Service.SetAnswering(0, false);
  Poll.Prepare();
  Poll.Pass();
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("silent"));  // once, not on every pass
  Service.SetAnswering(0, true);
  Service.SetButtons(0, 1);
  Poll.Pass();
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("answers", "button 1 down"));  // seeded by its answer
  Service.SetAnswering(0, false);
  Poll.Pass();
  Poll.Pass();
  // What it held is released before the loss is told.
  EXPECT_THAT(Log.Take(), ElementsAre("button 1 up", "silent"));
  Service.SetAnswering(0, true);  // back, with the button still held
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("answers", "button 1 down"));
}

TEST_F(PollTest, AViewerSeesEveryPassRawAndRouted) {
  struct TViewer : TReadingObserver {
    void OnReading(const TJoyReading& reading) override { Readings.push_back(reading); }
    std::vector<TJoyReading> Readings;
  } viewer;
  Poll.Prepare();
  Poll.Pass();  // nobody watches yet
  Stick.SetReadingObserver(&viewer);
  Service.SetAxis(0, jaX, 0);
  Service.SetAxis(0, jaR, 50000);
  Service.SetButtons(0, 1u << 8);
  Service.SetPov(0, 9000);
  Poll.Pass();
  Poll.Pass();  // unchanged: still reported
  ASSERT_EQ(viewer.Readings.size(), 2u);
  const TJoyReading& first = viewer.Readings[0];
  EXPECT_TRUE(first.Answering);
  EXPECT_EQ(first.Raw.dwXpos, 0u);  // as the controller reported it
  EXPECT_EQ(first.Raw.dwRpos, 50000u);
  EXPECT_EQ(first.Value[jaX], -500);  // as the routing sees it
  EXPECT_EQ(first.Value[jaY], -1);
  EXPECT_GT(first.Value[jaR], 200);
  EXPECT_EQ(first.Raw.dwButtons, 1u << 8);
  EXPECT_EQ(first.Raw.dwPOV, 9000u);
  Service.SetAnswering(0, false);
  Poll.Pass();
  ASSERT_EQ(viewer.Readings.size(), 3u);
  EXPECT_FALSE(viewer.Readings[2].Answering);
  EXPECT_EQ(viewer.Readings[2].Raw.dwButtons, 0u);  // at rest
  EXPECT_EQ(viewer.Readings[2].Raw.dwPOV, JOY_POVCENTERED);
  Stick.SetReadingObserver(nullptr);
  Poll.Pass();
  EXPECT_EQ(viewer.Readings.size(), 3u);
}

TEST(ControllerLines, SayWhatTheControllerDoes) {
  EXPECT_EQ(ControllerLine({1, "Wireless Pad", 5, 10, 1, true}),
            "Controller 1: Wireless Pad (pad layout)");
  EXPECT_EQ(ControllerLine({3, "Flight Stick", 4, 12, 1, false}),
            "Controller 3: Flight Stick (plain joystick)");
  EXPECT_EQ(NoControllerLine(1, false),
            "No controller found; plug one in, it is picked up without a restart");
  EXPECT_EQ(NoControllerLine(2, false),
            "No controller 2 found; plug one in, it is picked up without a restart");
  EXPECT_EQ(NoControllerLine(2, true),
            "Controller 2 unplugged; plug one in, it is picked up without a restart");
}

TEST_F(PollTest, ExactlyCentredStartRaisesNothing) {
  Poll.Prepare();
  Poll.Pass();
  Poll.Pass();
  EXPECT_TRUE(Log.Take().empty());
}

TEST_F(PollTest, ChangesWithinThePassComeInOrder) {
  Poll.Prepare();
  Service.SetAxis(0, jaR, 65535);
  Service.SetButtons(0, (1u << 1) | (1u << 4));  // buttons 2 and 5
  Service.SetPov(0, 9000);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis -1 -1 -1 500 -1 -1 pcX 49.99924", "button 2 down",
                                      "button 5 down", "pov 9000"));
  Service.SetButtons(0, 0);
  Service.SetPov(0, JOY_POVCENTERED);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("button 2 up", "button 5 up", "pov 65535"));
}

TEST_F(PollTest, HeldButtonRaisesItsPressButAnOffCentreHatWaits) {
  Service.SetButtons(0, 1u << 31);
  Service.SetPov(0, 18000);
  Poll.Prepare();
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("button 32 down"));
  Service.SetPov(0, 22500);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("pov 22500"));
}

TEST_F(PollTest, MonitorSwitches) {
  Poll.Prepare();
  Stick.SetMonitorAxis(false);
  Stick.SetMonitorButtons(false);
  Stick.SetMonitorPov(false);
  Service.SetAxis(0, jaX, 0);
  Service.SetButtons(0, 0b11);  // 1 and 2 held while unmonitored
  Service.SetPov(0, 0);
  Poll.Pass();
  EXPECT_TRUE(Log.Take().empty());

  // Back on: compared with what was reported before the switch-off.
  Stick.SetMonitorAxis(true);
  Stick.SetMonitorButtons(true);
  Stick.SetMonitorPov(true);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis -500 -1 -1 -1 -1 -1 pcX 0.00000", "button 1 down",
                                      "button 2 down", "pov 0"));

  // Button 2 released while unmonitored raises its release when monitoring resumes; button 1,
  // still held, raises nothing.
  Stick.SetMonitorButtons(false);
  Service.SetButtons(0, 0b01);
  Poll.Pass();
  Stick.SetMonitorButtons(true);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("button 2 up"));
}

TEST_F(PollTest, PropertiesTakeEffectOnTheNextPass) {
  Poll.Prepare();
  Service.SetAxis(0, jaX, 65535);
  Poll.Pass();
  Log.Take();
  Stick.SetRangeX(2000);
  Service.SetAxis(0, jaX, 65534);  // a change of the conditioned value raises an event
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis 999 -1 -1 -1 -1 -1 pcX 99.99847"));
  Stick.SetUseNullZone(false);
  Service.SetAxis(0, jaX, 32767);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis -1 -1 -1 -1 -1 -1 pcX 49.99924"));
}

TEST_F(PollTest, SilentControllerRaisesNothingUntilItAnswers) {
  Service.SetAnswering(0, false);
  Poll.Prepare();
  for (int i = 0; i < 3; ++i) Poll.Pass();
  EXPECT_TRUE(Log.Take().empty());

  // Its first answer gives the bounds and the seed, as a start would.
  Service.SetCaps(0, MakeJoyCaps(0, 1023, AllAxes));
  Service.SetAxes(0, {0, 500, 511, 511, 511, 511});  // the null zone moves Y to 511
  Service.SetButtons(0, 1u << 2);
  Service.SetAnswering(0, true);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre("axis -500 -1 -1 -1 -1 -1 pcX 0.00000", "button 3 down"));
}

TEST_F(PollTest, LostControllerIsReportedAtRestOnce) {
  Poll.Prepare();
  Service.SetAxis(0, jaX, 0);
  Service.SetButtons(0, 1u << 8);
  Service.SetPov(0, 27000);
  Poll.Pass();
  Log.Take();

  Service.SetAnswering(0, false);
  Poll.Pass();
  EXPECT_THAT(Log.Take(), ElementsAre(Rest, "button 9 up", "pov 65535"));
  Poll.Pass();
  Poll.Pass();
  EXPECT_TRUE(Log.Take().empty());

  // Back again with the button still held: reported as new.
  Service.SetAnswering(0, true);
  Poll.Pass();
  EXPECT_THAT(Log.Take(),
              ElementsAre("axis -500 -1 -1 -1 -1 -1 pcX 0.00000", "button 9 down", "pov 27000"));
}

TEST_F(PollTest, SenderIsThePollThread) {
  TObject* sender = nullptr;
  Stick.OnButton = [&](TObject* s, int, bool) { sender = s; };
  Poll.Prepare();
  Service.SetButtons(0, 1);
  Poll.Pass();
  EXPECT_EQ(sender, &Poll);
}

// The real thread.

class PollThreadTest : public ::testing::Test {
 protected:
  PollThreadTest() { Log.Attach(Stick); }
  // Waits until the thread has seeded and made at least one pass.
  void WaitUntilPolling() {
    WaitUntil([&] { return Service.PositionReads() >= 2; });
  }
  bool WaitFor(std::size_t events) {
    return WaitUntil([&] { return Log.Size() >= events; });
  }
  TScriptedJoyService Service;
  TJstick Stick{Service};
  TEventLog Log;
};

TEST_F(PollThreadTest, RaisesChangesOnItsOwnThreadAndStops) {
  Stick.SetThreadIntensity(0);  // only yields between passes
  std::thread::id eventThread;
  Stick.OnPov = [&](TObject*, int pov) {
    eventThread = std::this_thread::get_id();
    Log.Add("pov " + std::to_string(pov));
  };
  Stick.SetEnablePolling(true);
  WaitUntilPolling();
  Service.SetPov(0, 4500);
  ASSERT_TRUE(WaitFor(1));
  Stick.SetEnablePolling(false);
  Stick.WaitForPollThread();
  EXPECT_NE(eventThread, std::this_thread::get_id());
  const int reads = Service.PositionReads();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Service.PositionReads(), reads);
  EXPECT_THAT(Log.Take(), ElementsAre("pov 4500"));
}

TEST_F(PollThreadTest, StoppingDuringAPassLetsThePassFinish) {
  std::mutex lock;
  std::condition_variable changed;
  bool inHandler = false;
  bool stopped = false;
  Stick.OnButton = [&](TObject*, int id, bool) {
    std::unique_lock guard(lock);
    inHandler = true;
    changed.notify_all();
    changed.wait(guard, [&] { return stopped; });
    Log.Add("button " + std::to_string(id));
  };
  Stick.SetEnablePolling(true);
  WaitUntilPolling();
  Service.SetButtons(0, 1);
  Service.SetPov(0, 0);
  {
    std::unique_lock guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, 5s, [&] { return inHandler; }));
    Stick.SetEnablePolling(false);  // returns at once, mid-pass
    stopped = true;
  }
  changed.notify_all();
  Stick.WaitForPollThread();
  EXPECT_THAT(Log.Take(), ElementsAre("button 1", "pov 0"));
  EXPECT_FALSE(Stick.EnablePolling());
}

// The interval is the period of the passes, not a pause after each: a pass that takes 4 ms
// still leaves 100 passes a second at 10 ms (a pause after each gives 71).
TEST(PollGrid, PassesKeepTheirPeriodWhateverThePassCosts) {
  struct TSlowService : TScriptedJoyService {
    std::uint32_t joyGetPosEx(std::uint32_t id, JOYINFOEX* info) override {
      std::this_thread::sleep_for(4ms);
      return TScriptedJoyService::joyGetPosEx(id, info);
    }
  } service;
  TJstick stick(service);
  stick.SetThreadIntensity(10);
  stick.SetEnablePolling(true);
  ASSERT_TRUE(WaitUntil([&] { return stick.PollPasses() >= 5; }));
  const std::uint64_t before = stick.PollPasses();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(2s);
  const std::uint64_t passes = stick.PollPasses() - before;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stick.SetEnablePolling(false);
  stick.WaitForPollThread();
  // A period that drifted by the pass's cost would be 14 ms: 71 passes a second. A loaded machine
  // (the sanitizers, both cores busy) loses a pass now and then on the grid, never that many.
  EXPECT_GE(passes / seconds, 78.0);
  EXPECT_LE(passes / seconds, 101.0);  // never more than the grid: passes do not overlap
}

TEST_F(PollThreadTest, ReadPositionAlongsidePolling) {
  Stick.SetThreadIntensity(0);
  Stick.SetEnablePolling(true);
  std::thread mover([this] {
    for (std::uint32_t raw = 0; raw < 65536; raw += 97) Service.SetAxis(0, jaX, raw);
  });
  for (int i = 0; i < 2000; ++i) {
    const auto values = Stick.ReadPosition();
    ASSERT_GE(values.Value[jaX], -500);
    ASSERT_LE(values.Value[jaX], 500);
    ASSERT_EQ(values.Value[jaY], -1);
  }
  mover.join();
  EXPECT_TRUE(WaitFor(1));  // the stick ended far right: the poll thread reports it
  Stick.SetEnablePolling(false);
  Stick.WaitForPollThread();
}

// The capabilities as the window asks for them, while the poll thread takes them at each start
// of polling and another thread reads a position (which takes them too): for the thread
// sanitizer, each reader and the poll thread share the copy only under its lock.
TEST_F(PollThreadTest, CapabilitiesAreReadWhileThePollThreadReadsThem) {
  Stick.SetThreadIntensity(1);
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> seen{0};
  std::thread window([&] {
    while (!stop) seen += Stick.XMax() + (Stick.HasZ() ? 1 : 0);
  });
  std::thread position([&] {
    while (!stop) (void)Stick.ReadPosition();
  });
  for (int start = 0; start < 20; ++start) {
    JOYCAPSA caps{};
    caps.wXmax = caps.wYmax = static_cast<unsigned>(65535 - start % 2);
    caps.wCaps = start % 2 ? JOYCAPS_HASZ : 0;
    Service.SetCaps(0, caps);
    const int reads = Service.PositionReads();
    Stick.SetEnablePolling(true);  // a new poll thread: its first pass takes the capabilities
    ASSERT_TRUE(WaitUntil([&] { return Service.PositionReads() > reads + 1; }));
    Stick.SetEnablePolling(false);
    Stick.WaitForPollThread();
  }
  stop = true;
  window.join();
  position.join();
  EXPECT_GT(seen.load(), 0u);
  EXPECT_EQ(Stick.XMax(), 65534u);  // the last one set
}

TEST_F(PollThreadTest, DestroyingTheComponentStopsItsThread) {
  auto stick = std::make_unique<TJstick>(Service);
  stick->SetThreadIntensity(1000);  // the destructor must not wait for the sleep
  stick->SetEnablePolling(true);
  std::this_thread::sleep_for(10ms);
  const auto start = std::chrono::steady_clock::now();
  stick.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// Waking on input, with a FIFO standing in for the controller's device node: it becomes readable
// when written, and hangs up when its writer goes, as a node does when its pad is unplugged.
TEST_F(PollThreadTest, WakesOnInputAndFallsBackToTheIntervalWhenTheNodeGoes) {
  const kestrova::testing::TTempDir dir("kestrova-node");
  const std::string node = (dir / "event5").string();
  ASSERT_EQ(::mkfifo(node.c_str(), 0600), 0);
  const int writer = ::open(node.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  Service.SetDevicePath(0, node);
  const auto wake = CreateEvdevWakeSource(Service);
  Stick.SetWakeSource(wake.get());
  Stick.SetThreadIntensity(10000);
  Stick.SetEnablePolling(true);
  WaitUntilPolling();
  ASSERT_TRUE(WaitUntil([&] { return wake->Node() == node; }));
  std::this_thread::sleep_for(50ms);
  const auto idle = Service.PositionReads();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Service.PositionReads(), idle);  // nothing happens: no pass
  Service.SetButtons(0, 1);
  ASSERT_EQ(::write(writer, "e", 1), 1);
  ASSERT_TRUE(WaitFor(1));
  EXPECT_THAT(Log.Take(), ElementsAre("button 1 down"));
  // The node goes: the thread falls back to its interval instead of spinning on a dead node.
  Stick.SetThreadIntensity(20);
  ::close(writer);
  std::this_thread::sleep_for(300ms);
  const auto before = Service.PositionReads();
  std::this_thread::sleep_for(200ms);
  const auto passes = Service.PositionReads() - before;
  EXPECT_GE(passes, 3);   // on the interval
  EXPECT_LE(passes, 30);  // not a busy loop
  Stick.SetEnablePolling(false);
  Stick.WaitForPollThread();
}

}  // namespace
}  // namespace kestrova::testing
