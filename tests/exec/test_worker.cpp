// The worker thread in real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "common/WaitUntil.h"
#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

class TCountingSleeper : public TRealSleeper {
 public:
  bool Sleep(std::uint32_t ms) override {
    ++Calls;
    return TRealSleeper::Sleep(ms);
  }
  std::atomic<int> Calls{0};
};

class WorkerTest : public ::testing::Test {
 protected:
  TRecordingInjector Injector{1024, 768, {0, 0}};
  TScriptedJoyService Joysticks;
  TCountingSleeper Sleeper;
  TStatusLog Status;
  TMapper Mapper{Injector, Joysticks, Sleeper,
                 [this](const std::string& line) { Status.Add(line); }};

  // Waits up to 5 s for the injector to have recorded at least count calls.
  bool WaitForCalls(std::size_t count) {
    return WaitUntil([&] { return Injector.Calls().size() >= count; });
  }
  std::chrono::milliseconds TimeShutdown() {
    const auto start = Clock::now();
    Mapper.Shutdown();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  }
};

TEST_F(WorkerTest, RunsQueuedListsInOrderWithTheirDelays) {
  Mapper.SetSlot(26, {"KEY DOWN a", "DELAY 30", "KEY DOWN b"});
  Mapper.SetSlot(27, {"KEY UP a", "KEY UP b"});
  Mapper.Start();
  const auto start = Clock::now();
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Mapper.ExecuteCommands("Button 1", "RELEASE");
  ASSERT_TRUE(WaitForCalls(4));
  EXPECT_GE(Clock::now() - start, 30ms);
  EXPECT_EQ(Injector.Calls(), (Lines{"key 0x41 (A) down", "key 0x42 (B) down", "key 0x41 (A) up",
                                     "key 0x42 (B) up"}));
}

TEST_F(WorkerTest, IdleWorkerWaitsWithoutWaking) {
  Mapper.Start();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Sleeper.Calls, 0);
  Mapper.SetSlot(0, {"KEY DOWN a", "KEY UP a", "NOOP"});
  Mapper.ExecuteCommands("Stick Left", "PRESS");
  ASSERT_TRUE(WaitForCalls(2));
  WaitUntil([&] { return Sleeper.Calls >= 3; });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Sleeper.Calls, 3);  // the 1 ms pause after each line, nothing while idle
}

TEST_F(WorkerTest, ShutdownEndsALongDelayAndReleasesTheHeldKey) {
  Mapper.SetSlot(26, {"KEY DOWN a", "DELAY 100000", "KEY UP a"});
  Mapper.Start();
  Mapper.ExecuteCommands("Button 1", "PRESS");
  ASSERT_TRUE(WaitForCalls(1));
  std::this_thread::sleep_for(20ms);  // well into the delay
  EXPECT_LT(TimeShutdown(), 100ms);
  EXPECT_EQ(Injector.Calls(), (Lines{"key 0x41 (A) down", "key 0x41 (A) up"}));
  EXPECT_TRUE(Injector.HeldKeys().empty());
}

TEST_F(WorkerTest, ShutdownEndsAnEndlessBlockAndReleasesHeldInput) {
  Mapper.SetSlot(26, {"KEY DOWN SHIFT", "RIGHT MOUSE DOWN", "BEGBLOCK 001 RPT 0", "KEY DOWN a",
                      "DELAY 5", "KEY UP a", "ENDBLOCK 001"});
  Mapper.Start();
  Mapper.ExecuteCommands("Button 1", "PRESS");
  ASSERT_TRUE(WaitForCalls(12));  // several passes in
  EXPECT_LT(TimeShutdown(), 100ms);
  const Lines calls = Injector.Calls();
  EXPECT_TRUE(Injector.HeldKeys().empty());
  // The tail releases what was held: a (if caught mid-pass), then shift, then the right button.
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "key 0x10 (SHIFT) up");
  EXPECT_EQ(calls.back(), "mouse 0x8010 0 0");
}

TEST_F(WorkerTest, ShutdownWithoutStartAndTwiceIsHarmless) {
  Mapper.SetSlot(0, {"KEY DOWN a"});
  Mapper.ExecuteCommands("Stick Left", "PRESS");
  Mapper.Shutdown();
  Mapper.Shutdown();
  EXPECT_TRUE(Injector.Calls().empty());  // queued lines are dropped unrun
  EXPECT_TRUE(Mapper.QueuedLines().empty());
}

TEST_F(WorkerTest, QueuingFromAnotherThreadWhileBlocksRun) {
  Mapper.SetSlot(26, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(28, {"KEY DOWN b", "KEY UP b"});
  Mapper.SetSlot(30, {"TRMBLOCK 001"});
  Mapper.Start();
  std::thread poll([this] {
    Mapper.ExecuteCommands("Button 1", "PRESS");
    for (int i = 0; i < 20; ++i) {
      Mapper.ExecuteCommands("Button 2", "PRESS");
      std::this_thread::sleep_for(1ms);
    }
    Mapper.ExecuteCommands("Button 3", "PRESS");
  });
  poll.join();
  WaitUntil([&] { return Mapper.QueuedLines().empty(); });
  EXPECT_TRUE(Mapper.QueuedLines().empty());
  const Lines calls = Injector.Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "key 0x42 (B) down"), 20);
  // Passes are never cut short, so every press of the block has its release.
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "key 0x41 (A) down"),
            std::count(calls.begin(), calls.end(), "key 0x41 (A) up"));
  EXPECT_TRUE(Injector.HeldKeys().empty());
}

TEST(ThreadGate, AppendsAndRotatesTheTrace) {
  TRecordingInjector injector(1, 1, {0, 0});
  TScriptedJoyService joysticks;
  TRealSleeper sleeper;
  TMapper mapper(injector, joysticks, sleeper, nullptr);
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("kestrova-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
       std::to_string(reinterpret_cast<std::uintptr_t>(&mapper)));
  std::filesystem::create_directories(dir);
  mapper.SetTraceDirectory(dir);
  mapper.ThreadGate("first");
  mapper.ThreadGate("second");
  std::ifstream in(dir / TMapper::TraceFileName);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_NE(line.find(": first"), std::string::npos);
  EXPECT_GT(std::stol(line), 0);  // starts with the thread's decimal id
  in.close();

  {
    std::ofstream big(dir / TMapper::TraceFileName);
    big << std::string(1000001, 'x');
  }
  mapper.ThreadGate("after rotation");
  EXPECT_EQ(std::filesystem::file_size(dir / TMapper::PreviousTraceFileName), 1000001u);
  EXPECT_LT(std::filesystem::file_size(dir / TMapper::TraceFileName), 100u);

  std::ofstream(dir / "threads.txt") << "another program's";  // not ours: it stays
  mapper.RemoveTraceFiles();
  EXPECT_FALSE(std::filesystem::exists(dir / TMapper::TraceFileName));
  EXPECT_FALSE(std::filesystem::exists(dir / TMapper::PreviousTraceFileName));
  EXPECT_TRUE(std::filesystem::exists(dir / "threads.txt"));

  // By default the trace goes to the user's runtime folder, else the temporary one.
  ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  EXPECT_EQ(DefaultTraceDirectory(), dir);
  ::setenv("XDG_RUNTIME_DIR", (dir / "missing").c_str(), 1);
  EXPECT_EQ(DefaultTraceDirectory(), std::filesystem::temp_directory_path());
  ::unsetenv("XDG_RUNTIME_DIR");
  std::filesystem::remove_all(dir);
}

TEST_F(WorkerTest, ASwitchEndsWhatRunsReleasesAndTakesNewLinesAgain) {
  Mapper.SetSlot(26, {"KEY DOWN SHIFT", "LEFT MOUSE DOWN", "BEGBLOCK 001 RPT 0", "KEY DOWN a",
                      "DELAY 50", "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(28, {"KEY DOWN b", "KEY UP b"});
  Mapper.Start();
  Mapper.ExecuteCommands("Button 1", "PRESS");
  ASSERT_TRUE(WaitForCalls(3));
  const auto started = Clock::now();
  Mapper.DropQueueAndRelease();
  EXPECT_LT(Clock::now() - started, 1s);  // not held up by the endless block
  EXPECT_TRUE(Mapper.QueuedLines().empty());
  EXPECT_TRUE(Injector.HeldKeys().empty());
  const auto calls = Injector.Calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "key 0x10 (SHIFT) up"), calls.end());
  EXPECT_TRUE(std::any_of(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.starts_with("mouse 0x8004"); }));
  // The worker takes lines again.
  const std::size_t before = Injector.Calls().size();
  Mapper.ExecuteCommands("Button 2", "PRESS");
  ASSERT_TRUE(WaitForCalls(before + 2));
  const auto after = Injector.Calls();
  EXPECT_EQ(after[before], "key 0x42 (B) down");
  EXPECT_EQ(after[before + 1], "key 0x42 (B) up");
}

// Layers switched from the poll thread while another thread edits the lists and the press
// settings (what the thread sanitizer's build watches: the router's configuration changes hands
// under its lock); afterwards the last edit runs, in the layer the last switch made.
TEST_F(WorkerTest, LayerSwitchesFromThePollThreadWhileTheListsAreEdited) {
  Joysticks.SetAnswering(0, true);
  Mapper.SetSlot(ListId(0, TPressType::Plain, 34), {"LAYER 3"});  // button 5 holds layer 3
  Mapper.SetSlot(ListId(0, TPressType::Plain, 35), {"LAYER 0"});
  Mapper.Start();
  std::atomic<bool> done{false};
  std::thread presser([&] {
    for (int i = 0; !done; ++i) {
      Joysticks.SetButtons(0, i % 2 == 0 ? 0x11 : 0x00);
      std::this_thread::sleep_for(3ms);
    }
    Joysticks.SetButtons(0, 0x10);
  });
  for (int i = 0; i < 200; ++i) {
    const std::string key(1, static_cast<char>('a' + i % 20));
    Mapper.SetSlot(ListId(3, TPressType::Plain, 26), {"KEY DOWN " + key, "KEY UP " + key});
    Mapper.SetSlot(ListId(3, TPressType::Hold, 26), i % 2 == 0 ? Lines{"NOOP"} : Lines{});
    TPressParams params;
    params.HoldMs = 5 + i % 7;
    Mapper.SetPressParams(params);
    if (i % 50 == 0) Mapper.SetExtraLists(Mapper.ExtraLists());
    std::this_thread::sleep_for(1ms);
  }
  done = true;
  presser.join();
  Mapper.SetSlot(ListId(3, TPressType::Plain, 26), {"KEY DOWN z", "KEY UP z"});
  std::this_thread::sleep_for(100ms);  // button 5 held: layer 3
  Joysticks.SetButtons(0, 0x11);
  EXPECT_TRUE(WaitUntil([&] {
    const auto calls = Injector.Calls();
    return std::find(calls.begin(), calls.end(), "key 0x5A (Z) down") != calls.end();
  }));
  Mapper.Shutdown();
  EXPECT_TRUE(Injector.HeldKeys().empty());
}

// For the thread sanitizer: the poll thread queues button 1's lists as it is pressed and let go
// while the worker takes them, and meanwhile the window edits those very lists, replaces the
// whole table and drops the queue (as a profile switch does). Each of them shares the queue and
// the lists with the others only under the queue's lock; at the end nothing is left held.
TEST_F(WorkerTest, QueueingWhileTheListsAreEditedAndTheQueueDropped) {
  Joysticks.SetAnswering(0, true);
  Mapper.Jstick1.SetThreadIntensity(1);
  Mapper.SetSlot(26, {"KEY DOWN a", "KEY UP a"});
  Mapper.Start();
  ASSERT_TRUE(WaitUntil([&] { return Joysticks.PositionReads() >= 2; }));
  std::atomic<bool> done{false};
  std::thread presser([&] {
    for (int i = 0; !done; ++i) {
      Joysticks.SetButtons(0, i % 2 == 0 ? 0x01 : 0x00);
      std::this_thread::sleep_for(2ms);
    }
    Joysticks.SetButtons(0, 0);
  });
  for (int i = 0; i < 150; ++i) {
    const std::string key(1, static_cast<char>('a' + i % 20));
    Mapper.SetSlot(26, {"KEY DOWN " + key, "KEY UP " + key});
    Mapper.SetSlot(27, i % 3 == 0 ? Lines{"KEY DOWN b", "KEY UP b"} : Lines{});
    if (i % 10 == 0) {
      TSlotTable table;
      table[26] = {"KEY DOWN c", "KEY UP c"};
      Mapper.SetSlots(table);
    }
    if (i % 20 == 0) Mapper.DropQueueAndRelease();
    std::this_thread::sleep_for(1ms);
  }
  done = true;
  presser.join();
  ASSERT_TRUE(WaitUntil([&] { return Mapper.QueueLength() == 0; }));
  Mapper.Shutdown();
  EXPECT_TRUE(Injector.HeldKeys().empty());
  const Lines calls = Injector.Calls();
  EXPECT_GT(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) { return call.ends_with(" down"); }),
            0);
}

}  // namespace
}  // namespace kestrova::testing
