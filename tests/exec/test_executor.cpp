// The executor driven one worker turn at a time, on a virtual clock.

#include <gmock/gmock.h>

#include <cstdio>

#include "common/KeyTable.h"
#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

const Lines PressReleaseA = {"key 0x41 (A) down", "key 0x41 (A) up"};
const Lines PressReleaseB = {"key 0x42 (B) down", "key 0x42 (B) up"};

constexpr int Button1 = 26;  // Press slots
constexpr int Button2 = 28;
constexpr int Button3 = 30;

TEST_F(MapperTest, StatusLineForEveryEventAndSlotLinesQueuedInOrder) {
  Mapper.SetSlot(1, {"KEY UP A", "", "KEY UP b"});
  Mapper.ExecuteCommands("Stick Left", "RELEASE");
  Mapper.ExecuteCommands("POV Center", "PRESS");  // empty slot: status line, nothing queued
  EXPECT_EQ(Mapper.QueuedLines(), (Lines{"KEY UP A", "", "KEY UP b"}));
  EXPECT_THAT(Status.Lines(),
              ElementsAre("Executing Stick Left RELEASE", "Executing POV Center PRESS"));
  EXPECT_EQ(Drain(), 3);  // the empty line is taken and dropped
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) up", "key 0x10 (SHIFT) up", "key 0x42 (B) up"}));
}

TEST_F(MapperTest, EveryKeywordInALineActsInTheFixedOrder) {
  Injector.SetCursor({10, 20});
  Mapper.ExecuteSingleCommand("LEFT MOUSE DOWN RIGHT MOUSE UP");
  Mapper.ExecuteSingleCommand("KEY DOWN KEY UP x");  // "KEY UP" acts before "KEY DOWN"
  for (const char* nothing : {"NOOP", "ENDBLOCK 001", "key down a", "", "HELLO"}) {
    Mapper.ExecuteSingleCommand(nothing);
  }
  EXPECT_EQ(Calls(), (Lines{"mouse 0x8010 10 20", "mouse 0x8002 10 20", "key 0x58 (X) up",
                            "key 0x58 (X) down"}));
  EXPECT_TRUE(Status.Lines().empty());
}

// Every named key beyond the first table comes out as its own code and name, without Shift, and
// the mouse lines as the platform's flags and data; what they hold is let go at the end. Lines
// that are not whole mouse lines do nothing more than before.
TEST_F(MapperTest, EveryNamedKeyAndMouseLineAsThePlatformCallsThem) {
  for (const TExpectedKey& key : ExpectedNamedKeys()) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", key.Vk);
    Mapper.ExecuteSingleCommand("KEY DOWN " + key.Name);
    Mapper.ExecuteSingleCommand("KEY UP " + key.Name);
    EXPECT_THAT(Calls(), ElementsAre(std::string("key ") + code + " (" + key.Name + ") down",
                                     std::string("key ") + code + " (" + key.Name + ") up"))
        << key.Name;
  }
  const std::vector<std::pair<std::string, std::string>> mouse = {
      {"MIDDLE MOUSE DOWN", "mouse 0x8020 100 100"},
      {"MIDDLE MOUSE UP", "mouse 0x8040 100 100"},
      {"BACK MOUSE DOWN", "mouse 0x8080 100 100 1"},
      {"BACK MOUSE UP", "mouse 0x8100 100 100 1"},
      {"FORWARD MOUSE DOWN", "mouse 0x8080 100 100 2"},
      {"FORWARD MOUSE UP", "mouse 0x8100 100 100 2"},
      {"MOUSE WHEEL 1", "mouse 0x0800 0 0 120"},
      {"MOUSE WHEEL -3", "mouse 0x0800 0 0 -360"},
      {"MOUSE HWHEEL 2", "mouse 0x1000 0 0 240"},
      {"MOUSE HWHEEL -1", "mouse 0x1000 0 0 -120"},
  };
  for (const auto& [line, call] : mouse) {
    Mapper.ExecuteSingleCommand(line);
    EXPECT_THAT(Calls(), ElementsAre(call)) << line;
  }
  for (const char* inert : {"MOUSE WHEEL", "MOUSE WHEEL 1 2", "XMIDDLE MOUSE DOWN"}) {
    Mapper.ExecuteSingleCommand(inert);
    EXPECT_THAT(Calls(), ::testing::IsEmpty()) << inert;
  }
  Mapper.ExecuteSingleCommand("MOUSE WHEEL up");
  EXPECT_THAT(Status.Lines().back(), HasSubstr("'up' is not a valid integer value"));
  for (const char* held : {"KEY DOWN CTRL", "KEY DOWN NUMENTER", "KEY DOWN ENTER",
                           "MIDDLE MOUSE DOWN", "BACK MOUSE DOWN", "FORWARD MOUSE DOWN"}) {
    Mapper.ExecuteSingleCommand(held);
  }
  Calls();
  Injector.ReleaseHeld();
  EXPECT_THAT(Calls(), ElementsAre("key 0x0D (ENTER) up", "key 0x0D (NUMENTER) up",
                                   "key 0x11 (CTRL) up", "mouse 0x8040 100 100",
                                   "mouse 0x8100 100 100 1", "mouse 0x8100 100 100 2"));
}

TEST_F(MapperTest, WorkedExampleRunsThreePasses) {
  const Lines blockLines = {"KEY DOWN a", "KEY UP a", "ENDBLOCK 001"};
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 3", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.ExecuteCommands("Button 1", "PRESS");

  ASSERT_TRUE(Mapper.RunNextQueuedLine());
  Lines afterPass = {"BEGBLOCK 001 RPT 2"};
  afterPass.insert(afterPass.end(), blockLines.begin(), blockLines.end());
  EXPECT_EQ(Mapper.QueuedLines(), afterPass);
  EXPECT_EQ(Calls(), PressReleaseA);

  ASSERT_TRUE(Mapper.RunNextQueuedLine());
  afterPass[0] = "BEGBLOCK 001 RPT 1";
  EXPECT_EQ(Mapper.QueuedLines(), afterPass);
  EXPECT_EQ(Calls(), PressReleaseA);

  ASSERT_TRUE(Mapper.RunNextQueuedLine());
  EXPECT_TRUE(Mapper.QueuedLines().empty());
  EXPECT_EQ(Calls(), PressReleaseA);
  EXPECT_FALSE(Mapper.RunNextQueuedLine());
}

TEST_F(MapperTest, CountsOfOneAndTwoLeaveNothingQueued) {
  for (int count : {1, 2}) {
    const std::string start = "BEGBLOCK 004 RPT " + std::to_string(count);
    Mapper.SetSlot(Button1, {start, "KEY DOWN a", "KEY UP a", "ENDBLOCK 004"});
    Mapper.ExecuteCommands("Button 1", "PRESS");
    EXPECT_EQ(Drain(), count) << start;
    EXPECT_TRUE(Mapper.QueuedLines().empty()) << start;
    EXPECT_EQ(Calls(), Repeat(PressReleaseA, count)) << start;
  }
}

TEST_F(MapperTest, EndlessBlockInterleavesWithOtherEventsUntilTerminated) {
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(Button2, {"KEY DOWN b", "KEY UP b"});
  Mapper.SetSlot(Button3, {"TRMBLOCK 001"});

  Mapper.ExecuteCommands("Button 1", "PRESS");
  RunTurns(3);
  EXPECT_EQ(Calls(), Repeat(PressReleaseA, 3));
  EXPECT_EQ(Mapper.QueuedLines().front(), "BEGBLOCK 001 RPT -3");

  // Another event runs between two passes.
  Mapper.ExecuteCommands("Button 2", "PRESS");
  RunTurns(3);
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down", "key 0x41 (A) up", "key 0x42 (B) down",
                            "key 0x42 (B) up"}));

  // Queued behind the next pass's start line: that pass runs, then the block is gone.
  Mapper.ExecuteCommands("Button 3", "PRESS");
  Drain(100);
  EXPECT_EQ(Calls(), PressReleaseA);
  EXPECT_TRUE(Mapper.QueuedLines().empty());
}

TEST_F(MapperTest, TerminatingOneOfTwoEndlessBlocksLeavesTheOther) {
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(Button2, {"BEGBLOCK 002 RPT 0", "KEY DOWN b", "KEY UP b", "ENDBLOCK 002"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Mapper.ExecuteCommands("Button 2", "PRESS");
  RunTurns(4);
  Lines both = PressReleaseA;
  both.insert(both.end(), PressReleaseB.begin(), PressReleaseB.end());
  EXPECT_EQ(Calls(), Repeat(both, 2));

  Mapper.ExecuteSingleCommand("TRMBLOCK 001");
  RunTurns(40);
  const Lines after = Calls();
  ASSERT_GE(after.size(), 8u);
  EXPECT_EQ(after, Repeat(PressReleaseB, static_cast<int>(after.size() / 2)));
  for (const auto& line : Mapper.QueuedLines()) {
    EXPECT_EQ(line.find("001"), std::string::npos) << line;
  }
}

TEST_F(MapperTest, TerminateComparesIdsAsTextAndIgnoresUnknownIds) {
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 0", "KEY DOWN a", "KEY UP a", "ENDBLOCK 001"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  RunTurns(1);
  const Lines queued = Mapper.QueuedLines();
  Mapper.ExecuteSingleCommand("TRMBLOCK 1");
  Mapper.ExecuteSingleCommand("TRMBLOCK 005");
  EXPECT_EQ(Mapper.QueuedLines(), queued);

  // Lines are replaced, not removed: the queue keeps its length.
  Mapper.ExecuteSingleCommand("TRMBLOCK 001");
  EXPECT_EQ(Mapper.QueuedLines(), Lines(queued.size(), "NOOP"));
}

TEST_F(MapperTest, NestedBlockRunsItsNextPassAfterTheOuterPass) {
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 1", "KEY DOWN a", "BEGBLOCK 002 RPT 2", "KEY DOWN b",
                           "ENDBLOCK 002", "KEY UP a", "ENDBLOCK 001"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  ASSERT_TRUE(Mapper.RunNextQueuedLine());  // the outer pass, with the first inner pass
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down", "key 0x42 (B) down", "key 0x41 (A) up"}));
  EXPECT_EQ(Mapper.QueuedLines(), (Lines{"BEGBLOCK 002 RPT 1", "KEY DOWN b", "ENDBLOCK 002"}));
  Drain();
  EXPECT_EQ(Calls(), (Lines{"key 0x42 (B) down"}));
}

TEST_F(MapperTest, BlockWithoutEndEndsEachPassAtItsNextStart) {
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 3", "KEY DOWN a", "KEY UP a"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  ASSERT_TRUE(Mapper.RunNextQueuedLine());
  EXPECT_EQ(Mapper.QueuedLines(), (Lines{"BEGBLOCK 001 RPT 2", "KEY DOWN a", "KEY UP a"}));
  EXPECT_EQ(Drain(100), 2);
  EXPECT_EQ(Calls(), Repeat(PressReleaseA, 3));

  // Endless and unterminated, each pass still ends, so later events get their turn; being inside
  // the unclosed block, their lines are repeated with it.
  Mapper.SetSlot(Button1, {"BEGBLOCK 002 RPT 0", "KEY DOWN a", "KEY UP a"});
  Mapper.SetSlot(Button2, {"KEY DOWN b"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  RunTurns(2);
  Mapper.ExecuteCommands("Button 2", "PRESS");
  RunTurns(2);
  Lines expected = Repeat(PressReleaseA, 2);
  const Lines withB = Repeat({"key 0x41 (A) down", "key 0x41 (A) up", "key 0x42 (B) down"}, 2);
  expected.insert(expected.end(), withB.begin(), withB.end());
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(Mapper.QueuedLines(),
            (Lines{"BEGBLOCK 002 RPT -4", "KEY DOWN a", "KEY UP a", "KEY DOWN b"}));
}

TEST_F(MapperTest, ReleaseListRunsAfterTheWholePressList) {
  Mapper.SetSlot(Button1, {"KEY DOWN a", "DELAY 1000", "KEY DOWN b"});
  Mapper.SetSlot(Button1 + 1, {"KEY UP a", "KEY UP b"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  RunTurns(1);
  Mapper.ExecuteCommands("Button 1", "RELEASE");
  Drain();
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down", "key 0x42 (B) down", "key 0x41 (A) up",
                            "key 0x42 (B) up"}));
  EXPECT_EQ(Sleeper.NowMs(), 1000u);
}

TEST_F(MapperTest, BadLinesAreSkippedAndReported) {
  Mapper.SetSlot(Button1, {"DELAY abc", "KEY DOWN a", "DELAY -5", "BEGBLOCK 001 RPT x", "KEY DOWN ",
                           "KEY UP a", "ENDBLOCK 001"});
  Mapper.SetSlot(Button2, {"KEY DOWN b"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Mapper.ExecuteCommands("Button 2", "PRESS");
  Drain(100);
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down", "key 0x41 (A) up", "key 0x42 (B) down"}));
  EXPECT_EQ(Sleeper.NowMs(), 0u);  // a negative delay waits 0 ms
  EXPECT_THAT(Status.Lines(),
              ElementsAre("Executing Button 1 PRESS", "Executing Button 2 PRESS",
                          "Skipped \"DELAY abc\": 'abc' is not a valid integer value",
                          "Skipped \"BEGBLOCK 001 RPT x\": 'x' is not a valid integer value",
                          "Skipped \"KEY DOWN \": no key name"));
}

TEST_F(MapperTest, BadLineInsideABlockPassSkipsOnlyThatLine) {
  Mapper.SetSlot(Button1,
                 {"BEGBLOCK 001 RPT 2", "KEY UP ", "DELAY 1.5", "KEY DOWN a", "ENDBLOCK 001"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Drain(100);
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down", "key 0x41 (A) down"}));
  EXPECT_EQ(Status.Lines().size(), 5u);  // one Executing line, two skips per pass
}

TEST_F(MapperTest, DelaysSleepOnTheWorkersClock) {
  Mapper.ExecuteSingleCommand("DELAY 250");
  EXPECT_EQ(Sleeper.NowMs(), 250u);
  Mapper.ExecuteSingleCommand("DELAY 0");
  EXPECT_EQ(Sleeper.NowMs(), 250u);
  // A block pass sleeps 1 ms before every line it takes.
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 1", "DELAY 10", "ENDBLOCK 001"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Drain();
  EXPECT_EQ(Sleeper.NowMs(), 250u + 1 + 10 + 1);
}

TEST_F(MapperTest, BlockIdsComeFromEverySlot) {
  Mapper.SetSlot(5, {"BEGBLOCK 007 RPT 0"});
  Mapper.SetSlot(64, {"BEGBLOCK 001 RPT 0"});
  EXPECT_EQ(Mapper.GetNextBlockId(), "008");
  EXPECT_EQ(Mapper.BlockIds(), (Lines{"001", "007"}));
}

}  // namespace
}  // namespace kestrova::testing

namespace kestrova::testing {
namespace {

TEST_F(MapperTest, PassesOfUnclosedBlocksAreBoundedAlsoWhenNested) {
  // An unclosed endless block inside an unclosed single pass: each turn of the worker ends, and
  // later events still get their turn (inside the unclosed block they repeat with it).
  Mapper.SetSlot(Button1, {"BEGBLOCK 001 RPT 1", "BEGBLOCK 002 RPT 0", "KEY DOWN x"});
  Mapper.SetSlot(Button2, {"KEY DOWN y"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  RunTurns(3);
  Mapper.ExecuteCommands("Button 2", "PRESS");
  RunTurns(6);
  const auto calls = Calls();
  EXPECT_GE(std::count(calls.begin(), calls.end(), "key 0x59 (Y) down"), 1);
  EXPECT_GE(std::count(calls.begin(), calls.end(), "key 0x58 (X) down"), 4);
  EXPECT_LE(Mapper.QueuedLines().size(), 4u);
}

}  // namespace
}  // namespace kestrova::testing

namespace kestrova::testing {
namespace {

TEST_F(MapperTest, DeeplyNestedBlocksAreSkippedNotFollowedOffTheStack) {
  // Many queued start lines of single passes nest one inside the other.
  Lines lines(TMapper::MaxBlockNesting + 10, "BEGBLOCK 001 RPT 1");
  lines.push_back("KEY DOWN a");
  Mapper.SetSlot(Button1, lines);
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Drain(100);
  EXPECT_EQ(Calls(), (Lines{"key 0x41 (A) down"}));
  const auto status = Status.Lines();
  EXPECT_EQ(std::count(status.begin(), status.end(),
                       "Skipped \"BEGBLOCK 001 RPT 1\": blocks nested more than 64 deep"),
            10);
}

}  // namespace
}  // namespace kestrova::testing

namespace kestrova::testing {
namespace {

TEST_F(MapperTest, AFullQueueDropsTheNewestSlotWithAStatusLine) {
  const std::size_t half = TMapper::MaxQueuedLines / 2;
  Mapper.SetSlot(26, std::vector<std::string>(half, "KEY DOWN a"));
  Mapper.SetSlot(28, {"KEY DOWN b"});
  Mapper.ExecuteCommands("Button 1", "PRESS");
  Mapper.ExecuteCommands("Button 1", "PRESS");  // exactly full: still queued
  EXPECT_EQ(Mapper.QueueLength(), 2 * half);
  Mapper.ExecuteCommands("Button 2", "PRESS");  // one line too many
  EXPECT_EQ(Mapper.QueueLength(), 2 * half);
  const auto lines = Status.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Queue full: dropped Button 2 PRESS (1 lines; at most " +
                              std::to_string(TMapper::MaxQueuedLines) + " may wait)");
  ASSERT_TRUE(Mapper.RunNextQueuedLine());  // one taken: room for one
  Mapper.ExecuteCommands("Button 2", "PRESS");
  EXPECT_EQ(Mapper.QueuedLines().back(), "KEY DOWN b");
  // Room for one line, a slot of two: the whole slot is refused, none of it half queued.
  ASSERT_TRUE(Mapper.RunNextQueuedLine());
  Mapper.SetSlot(30, {"KEY DOWN c", "KEY DOWN d"});
  Mapper.ExecuteCommands("Button 3", "PRESS");
  EXPECT_EQ(Mapper.QueueLength(), 2 * half - 1);
  EXPECT_EQ(Mapper.QueuedLines().back(), "KEY DOWN b");
  EXPECT_EQ(Status.Lines().back(), "Queue full: dropped Button 3 PRESS (2 lines; at most " +
                                       std::to_string(TMapper::MaxQueuedLines) + " may wait)");
}

}  // namespace
}  // namespace kestrova::testing
