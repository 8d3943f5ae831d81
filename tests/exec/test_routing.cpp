// Controller events to event names and kinds, called as the poll thread would.

#include <gmock/gmock.h>

#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

class RoutingTest : public MapperTest {
 protected:
  void Axes(int x, int y = -1, int z = -1, int r = -1, int u = -1, int v = -1) {
    Mapper.Jstick1Axis(nullptr, x, y, z, r, u, v, 0, 0, 0, 0, 0, 0);
  }
  void Triggers(int left, int right) { Mapper.Jstick1Trigger(nullptr, left, right); }
  void Button(int id, bool down) { Mapper.Jstick1Button(nullptr, id, down); }
  void Pov(int value) { Mapper.Jstick1Pov(nullptr, value); }
  // The events reported since the last call, without the "Executing " prefix.
  Lines Reported() {
    Lines events;
    for (const auto& line : Status.Lines()) events.push_back(line.substr(10));
    Lines fresh(events.begin() + static_cast<long>(FSeen), events.end());
    FSeen = events.size();
    return fresh;
  }

 private:
  std::size_t FSeen = 0;
};

TEST_F(RoutingTest, StickTolerancesCountTheOffsetOnXAndY) {
  Axes(299);
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(300);
  EXPECT_THAT(Reported(), ElementsAre("Stick Right PRESS"));
  Axes(-1);
  EXPECT_THAT(Reported(), ElementsAre("Stick Right RELEASE"));
  Axes(-301);
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(-302);
  EXPECT_THAT(Reported(), ElementsAre("Stick Left PRESS"));
  Axes(-500);  // further left: no second press
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(-1, 400);
  EXPECT_THAT(Reported(), ElementsAre("Stick Left RELEASE", "Stick Down PRESS"));
  Axes(-1, -500);  // straight across: the old side lets go first
  EXPECT_THAT(Reported(), ElementsAre("Stick Down RELEASE", "Stick Up PRESS"));
  Axes(-1, -1);
  EXPECT_THAT(Reported(), ElementsAre("Stick Up RELEASE"));
}

TEST_F(RoutingTest, ZAndRHaveNoOffset) {
  Axes(-1, -1, 300, 300);
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(-1, -1, 301, 301);
  EXPECT_THAT(Reported(), ElementsAre("Z Right PRESS", "Rot. Right PRESS"));
  Axes(-1, -1, -300, -300);
  EXPECT_THAT(Reported(), ElementsAre("Z Right RELEASE", "Rot. Right RELEASE"));
  Axes(-1, -1, -301, -301);
  EXPECT_THAT(Reported(), ElementsAre("Z Left PRESS", "Rot. Left PRESS"));
}

TEST_F(RoutingTest, ZAndRMoveApartWithTheirOwnTolerances) {
  Mapper.SetZTol(100);
  Mapper.SetRTol(400);
  Axes(-1, -1, 150, -1);  // Z alone, past its own tolerance
  EXPECT_THAT(Reported(), ElementsAre("Z Right PRESS"));
  Axes(-1, -1, 150, 350);  // R moves within its tolerance: nothing
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(-1, -1, 150, -401);
  EXPECT_THAT(Reported(), ElementsAre("Rot. Left PRESS"));
  Axes(-1, -1, -101, -401);  // Z crosses over while R holds
  EXPECT_THAT(Reported(), ElementsAre("Z Right RELEASE", "Z Left PRESS"));
  Axes(-1, -1, -101, 0);
  EXPECT_THAT(Reported(), ElementsAre("Rot. Left RELEASE"));
  Axes(200, -200, -101, 0);  // X and Y apart too, each against its own tolerance (300)
  EXPECT_THAT(Reported(), IsEmpty());
  Mapper.SetYTol(150);
  Axes(200, -200, -101, 0);
  EXPECT_THAT(Reported(), ElementsAre("Stick Up PRESS"));
}

TEST_F(RoutingTest, ZeroAndFullTolerances) {
  Mapper.SetXTol(0);
  Mapper.SetZTol(0);
  Mapper.SetRTol(0);
  Axes(-1, -1, -1, -1);  // all at rest: X + 1 is 0, but Z and R read -1
  EXPECT_THAT(Reported(), ElementsAre("Z Left PRESS", "Rot. Left PRESS"));
  Axes(0);
  EXPECT_THAT(Reported(), ElementsAre("Stick Right PRESS"));

  Mapper.SetXTol(1000);
  Mapper.SetYTol(1000);
  Axes(-1);  // a new tolerance applies from the next axis event
  Reported();
  for (int value : {-500, 500, 501, -501, 0}) Axes(value, value);
  EXPECT_THAT(Reported(), IsEmpty());
}

TEST_F(RoutingTest, ButtonNineIsShift) {
  Button(9, true);
  Button(9, false);
  EXPECT_THAT(Reported(), IsEmpty());
  Button(9, true);
  Button(3, true);
  Button(3, false);
  Button(9, false);
  EXPECT_THAT(Reported(), ElementsAre("Shift Button 3 PRESS", "Shift Button 3 RELEASE"));
  // The shift state is taken at each transition.
  Button(2, true);
  Button(9, true);
  Button(2, false);
  EXPECT_THAT(Reported(), ElementsAre("Button 2 PRESS", "Shift Button 2 RELEASE"));
  Button(2, true);
  Button(9, false);
  Button(2, false);
  EXPECT_THAT(Reported(), ElementsAre("Shift Button 2 PRESS", "Button 2 RELEASE"));
  // Buttons 10 to 16 have events of their own, with the same shift layer; 17 (a pad's touchpad
  // click) its own without one; 18 and up none.
  Button(10, true);
  Button(9, true);
  Button(12, true);
  Button(10, false);
  Button(9, false);
  Button(12, false);
  Button(16, true);
  Button(16, false);
  EXPECT_THAT(Reported(),
              ElementsAre("Button 10 PRESS", "Shift Button 12 PRESS", "Shift Button 10 RELEASE",
                          "Button 12 RELEASE", "Button 16 PRESS", "Button 16 RELEASE"));
  Button(17, true);
  Button(9, true);
  Button(17, false);
  Button(9, false);
  EXPECT_THAT(Reported(), ElementsAre("Touchpad Click PRESS", "Touchpad Click RELEASE"));
  for (int id = 18; id <= 32; ++id) {
    Button(id, true);
    Button(id, false);
  }
  Button(1, true);
  Button(8, false);
  EXPECT_THAT(Reported(), ElementsAre("Button 1 PRESS", "Button 8 RELEASE"));
}

// The right stick's horizontal (U) and the sixth axis (V) route as Z and R do, each against its
// own tolerance, and only where the controller has them.
TEST_F(RoutingTest, UAndVRouteLikeZAndRWhereTheControllerHasThem) {
  Axes(-1, -1, -1, -1, -900, 900);
  EXPECT_THAT(Reported(), IsEmpty());  // no U or V on this controller
  Mapper.Jstick1.SetAxisPresent(jaU, true);
  Mapper.Jstick1.SetAxisPresent(jaV, true);
  Mapper.SetTolerance(jaU, 200);
  Mapper.SetTolerance(jaV, 400);
  Axes(-1, -1, -1, -1, -200, 400);
  EXPECT_THAT(Reported(), IsEmpty());
  Axes(-1, -1, -1, -1, -201, 400);
  EXPECT_THAT(Reported(), ElementsAre("U Left PRESS"));
  Axes(-1, -1, -1, -1, 201, 401);  // a flick across: the old side lets go first
  EXPECT_THAT(Reported(), ElementsAre("U Left RELEASE", "U Right PRESS", "V Right PRESS"));
  Axes(-1, -1, -1, -1, 0, -401);
  EXPECT_THAT(Reported(), ElementsAre("U Right RELEASE", "V Right RELEASE", "V Left PRESS"));
  Axes(-1, -1, -1, -1, 0, 0);
  EXPECT_THAT(Reported(), ElementsAre("V Left RELEASE"));
}

TEST_F(RoutingTest, EachTriggerOnItsOwnBeyondTheTriggerTolerance) {
  Mapper.SetTolerance(ToleranceCount - 1, 250);
  Triggers(250, 0);
  EXPECT_THAT(Reported(), IsEmpty());
  Triggers(251, 1000);  // both at once fire both
  EXPECT_THAT(Reported(), ElementsAre("Left Trigger PRESS", "Right Trigger PRESS"));
  Triggers(1000, 700);
  EXPECT_THAT(Reported(), IsEmpty());
  Triggers(250, 700);
  EXPECT_THAT(Reported(), ElementsAre("Left Trigger RELEASE"));
  Triggers(0, 0);
  EXPECT_THAT(Reported(), ElementsAre("Right Trigger RELEASE"));
}

TEST_F(RoutingTest, HatReleasesBeforeItPresses) {
  Pov(65535);
  EXPECT_THAT(Reported(), IsEmpty());
  Pov(0);
  Pov(4500);
  Pov(65535);
  EXPECT_THAT(Reported(), ElementsAre("POV North PRESS", "POV North RELEASE", "POV NE PRESS",
                                      "POV NE RELEASE", "POV Center PRESS", "POV Center RELEASE"));
  Pov(27000);
  Pov(1000);  // between two directions: ignored
  Pov(27000);
  Pov(31500);
  EXPECT_THAT(Reported(), ElementsAre("POV West PRESS", "POV West RELEASE", "POV NW PRESS"));
  for (int value : {9000, 13500, 18000, 22500}) Pov(value);
  EXPECT_THAT(Reported(), ElementsAre("POV NW RELEASE", "POV East PRESS", "POV East RELEASE",
                                      "POV SE PRESS", "POV SE RELEASE", "POV South PRESS",
                                      "POV South RELEASE", "POV SW PRESS"));
}

TEST_F(RoutingTest, RotationPastItsToleranceRunsItsSlots) {
  Mapper.SetSlot(10, {"KEY DOWN r"});
  Mapper.SetSlot(11, {"KEY UP r"});
  Axes(-1, -1, -1, 450);
  Axes(-1, -1, -1, -1);
  Drain();
  EXPECT_EQ(Calls(), (Lines{"key 0x52 (R) down", "key 0x52 (R) up"}));
}

}  // namespace
}  // namespace kestrova::testing
