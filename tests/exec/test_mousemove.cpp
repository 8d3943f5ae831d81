// Mouse-move lines on a 1024 x 768 recording injector with a scripted controller.

#include <gmock/gmock.h>

#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using Lines = std::vector<std::string>;

class MouseMoveTest : public MapperTest {
 protected:
  TPoint Cursor() {
    TPoint point;
    Injector.GetCursorPos(point);
    return point;
  }
};

TEST_F(MouseMoveTest, BoundsKeepARelativeStepOnTheScreen) {
  Injector.SetCursor({5, 300});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R B -20 0 N N");
  EXPECT_EQ(Cursor().x, 0);
  Injector.SetCursor({1020, 300});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R B 20 0 N N");
  EXPECT_EQ(Cursor().x, 1023);
  Injector.SetCursor({500, 5});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R B 0 -5 N N");  // "not greater than 0": row 0
  EXPECT_EQ(Cursor().y, 0);
  Injector.SetCursor({500, 700});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R B 0 68 N N");
  EXPECT_EQ(Cursor().y, 767);
  EXPECT_EQ(Calls(), (Lines{"mouse 0x8001 0 25600", "mouse 0x8001 65472 25600",
                            "mouse 0x8001 32000 0", "mouse 0x8001 32000 65450"}));

  // Without B the step is sent as it is; the pointer itself stops at the edge.
  Injector.SetCursor({1020, 300});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 20 0 N N");
  EXPECT_EQ(Calls(), (Lines{"mouse 0x8001 66560 25600"}));
}

// The last pixel is on the screen and one past it is not, on a screen whose size does not divide
// 65536: a step to the last column or row goes as it is, a step one further stops there.
TEST(MouseMoveEdges, TheLastPixelAndOnePastOnAnOddScreen) {
  TRecordingInjector injector{1366, 768, {0, 0}};
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  TMapper mapper(injector, joysticks, sleeper, nullptr);
  const struct {
    TPoint From;
    const char* Line;
    TPoint To;
    const char* Call;
  } cases[] = {
      {{1360, 100}, "MOUSE MOVE R B 5 0 N N", {1365, 100}, "mouse 0x8001 65488 8533"},
      {{1360, 100}, "MOUSE MOVE R B 6 0 N N", {1365, 100}, "mouse 0x8001 65488 8533"},
      {{100, 760}, "MOUSE MOVE R B 0 7 N N", {100, 767}, "mouse 0x8001 4797 65450"},
      {{100, 760}, "MOUSE MOVE R B 0 8 N N", {100, 767}, "mouse 0x8001 4797 65450"},
      {{1, 1}, "MOUSE MOVE R B -1 -1 N N", {0, 0}, "mouse 0x8001 0 0"},
      {{1, 1}, "MOUSE MOVE R B -2 -2 N N", {0, 0}, "mouse 0x8001 0 0"},
  };
  for (const auto& c : cases) {
    injector.SetCursor(c.From);
    mapper.ExecuteSingleCommand(c.Line);
    TPoint at;
    injector.GetCursorPos(at);
    EXPECT_EQ(at.x, c.To.x) << c.Line;
    EXPECT_EQ(at.y, c.To.y) << c.Line;
    EXPECT_EQ(injector.TakeCalls(), Lines{c.Call}) << c.Line;
  }
}

TEST_F(MouseMoveTest, AbsoluteMovesAreNeverClamped) {
  Mapper.ExecuteSingleCommand("MOUSE MOVE A B 5000 5000 N N");
  Mapper.ExecuteSingleCommand("MOUSE MOVE A N 512 384 N N");
  EXPECT_EQ(Calls(), (Lines{"mouse 0x8001 319995 426660", "mouse 0x8001 32768 32768"}));
}

TEST_F(MouseMoveTest, StepsRoundHalvesToEven) {
  EXPECT_EQ(Mapper.AxisMultiply("N", 2.5), 2);
  EXPECT_EQ(Mapper.AxisMultiply("N", 3.5), 4);
  EXPECT_EQ(Mapper.AxisMultiply("N", -2.5), -2);
  EXPECT_EQ(Mapper.AxisMultiply("x", 7.25), 7);  // codes are exact: "x" is none
  EXPECT_EQ(Mapper.AxisMultiply("N", 1e30), INT32_MAX);
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 2.5 3.5 N N");  // from (100, 100) by (2, 4)
  EXPECT_EQ(Cursor().x, 102);
  EXPECT_EQ(Cursor().y, 104);
}

TEST_F(MouseMoveTest, AxisScalingReadsTheControllerForEachStep) {
  EXPECT_EQ(Mapper.AxisMultiply("X", 10), 0);  // centred: X = -1
  Joysticks.SetAxis(0, jaY, 65535);            // fully down: Y = 500
  EXPECT_EQ(Mapper.AxisMultiply("Y", 1), 501);
  EXPECT_EQ(Mapper.MouseMoveAxes()[jaY], 500);
  Joysticks.SetAxis(0, jaX, 0);  // full left: X = -500
  EXPECT_EQ(Mapper.AxisMultiply("X", 0.02), -10);
  Joysticks.SetAxis(0, jaZ, 65535);
  Joysticks.SetAxis(0, jaR, 0);
  EXPECT_EQ(Mapper.AxisMultiply("Z", 1), 501);
  EXPECT_EQ(Mapper.AxisMultiply("R", 1), -499);

  Joysticks.SetAxes(0, {32767, 65535, 32767, 32767, 32767, 32767});
  Injector.SetCursor({100, 100});
  const int reads = Joysticks.PositionReads();
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 0 1 N Y");
  EXPECT_EQ(Joysticks.PositionReads() - reads, 2);  // one read per step
  EXPECT_EQ(Cursor().y, 601);
  Injector.SetCursor({100, 300});
  Mapper.ExecuteSingleCommand("MOUSE MOVE R B 0 1 N Y");  // 501 down, kept on the screen
  EXPECT_EQ(Cursor().y, 767);
}

TEST_F(MouseMoveTest, DecimalSeparatorAndBadSteps) {
  Mapper.SetDecimalSeparator(',');
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 2,5 0 N N");
  EXPECT_EQ(Cursor().x, 102);
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 2.5 0 N N");
  Mapper.SetDecimalSeparator('.');
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 1 abc N N");
  Mapper.ExecuteSingleCommand("MOUSE MOVE R N 1,000 0 N N");
  EXPECT_EQ(Cursor().x, 102);
  EXPECT_EQ(
      Status.Lines(),
      (Lines{"Skipped \"MOUSE MOVE R N 2.5 0 N N\": '2.5' is not a valid floating point value",
             "Skipped \"MOUSE MOVE R N 1 abc N N\": 'abc' is not a valid floating point value",
             "Skipped \"MOUSE MOVE R N 1,000 0 N N\": '1,000' is not a valid floating point "
             "value"}));
}

}  // namespace
}  // namespace kestrova::testing
