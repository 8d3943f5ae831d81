// Layers and press types, routed as the poll thread routes them, on a clock the test sets: what
// runs, in which layer, at which millisecond.

#include <gmock/gmock.h>

#include "exec/MapperFixture.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

constexpr int Button1 = 13;
constexpr int Button2 = 14;
constexpr int Button5 = 17;
constexpr int ShiftButton1 = 21;

class PressTest : public MapperTest {
 protected:
  void SetUp() override {
    Mapper.SetClock([this] { return Now; });
  }
  // Gives a list of a layer's event lines (a marker line when none are given).
  void List(int layer, TPressType type, int event, bool release, Lines lines = {"NOOP"}) {
    Mapper.SetSlot(ListId(layer, type, PressSlotOfEvent(event) + (release ? 1 : 0)), lines);
  }
  void Both(int layer, TPressType type, int event) {
    List(layer, type, event, false);
    List(layer, type, event, true);
  }
  void Press(std::int64_t at, int event) { Route(at, event, false); }
  void Release(std::int64_t at, int event) { Route(at, event, true); }
  void Route(std::int64_t at, int event, bool release) {
    Now = at;
    Mapper.QueueEvent(event, release);
  }
  void Tick(std::int64_t at) {
    Now = at;
    Mapper.TickPressTimers();
  }
  // The lists run since the last call, without "Executing ".
  Lines Ran() {
    Lines ran;
    for (const auto& line : Status.TakeLines()) ran.push_back(line.substr(10));
    return ran;
  }

  std::int64_t Now = 0;
};

// Released before the hold time, a press is a tap; held for it or longer, a hold, its Hold
// Press list at that very millisecond. Hold times of the profile's own count.
TEST_F(PressTest, TapAndHoldAtTheHoldTime) {
  Both(0, TPressType::Tap, Button1);
  Both(0, TPressType::Hold, Button1);
  const struct {
    int HoldMs;
    int Held;
    bool Tap;
  } cases[] = {{250, 249, true}, {250, 250, false}, {250, 251, false},
               {100, 99, true},  {100, 101, false}, {1, 0, true}};
  std::int64_t at = 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.HoldMs) + " ms, held " + std::to_string(c.Held));
    TPressParams params;
    params.HoldMs = c.HoldMs;
    Mapper.SetPressParams(params);
    Press(at, Button1);
    EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS"));
    Tick(at + std::min(c.Held, c.HoldMs) - 1);
    EXPECT_THAT(Ran(), IsEmpty());
    Tick(at + c.Held);
    if (c.Tap) {
      EXPECT_THAT(Ran(), IsEmpty());
    } else {
      EXPECT_THAT(Ran(), ElementsAre("Button 1 Hold PRESS"));
    }
    Release(at + c.Held, Button1);
    if (c.Tap) {
      EXPECT_THAT(Ran(),
                  ElementsAre("Button 1 RELEASE", "Button 1 Tap PRESS", "Button 1 Tap RELEASE"));
    } else {
      EXPECT_THAT(Ran(), ElementsAre("Button 1 RELEASE", "Button 1 Hold RELEASE"));
    }
    at += 1000;
  }
  // A hold that nobody ticks fires at the next event all the same, before it.
  Press(at, Button1);
  Press(at + 300, Button2);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Hold PRESS", "Button 2 PRESS"));
}

// A second press within the double-press time runs the Double lists and the first is no tap; at
// exactly that time it is a new first press, and the first press's tap has run just before.
TEST_F(PressTest, DoublePressWithinAndOutsideItsTime) {
  Both(0, TPressType::Tap, Button1);
  Both(0, TPressType::Double, Button1);
  Press(0, Button1);
  Release(50, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 RELEASE"));  // the tap waits
  Press(249, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Double PRESS"));
  Release(600, Button1);  // the second press is neither tap nor hold however long
  EXPECT_THAT(Ran(), ElementsAre("Button 1 RELEASE", "Button 1 Double RELEASE"));

  Press(1000, Button1);
  Release(1050, Button1);
  Tick(1249);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 RELEASE"));
  Tick(1250);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Tap PRESS", "Button 1 Tap RELEASE"));
  Press(2000, Button1);
  Release(2010, Button1);
  Press(2250, Button1);  // exactly the double-press time: the tap first, then a new first press
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 RELEASE", "Button 1 Tap PRESS",
                                 "Button 1 Tap RELEASE", "Button 1 PRESS"));

  // Without tap lists, nothing waits; a double's time of the profile's own counts.
  TPressParams params;
  params.DoubleMs = 400;
  Mapper.SetPressParams(params);
  List(0, TPressType::Tap, Button1, false, {});
  List(0, TPressType::Tap, Button1, true, {});
  Release(2260, Button1);
  Press(3000, Button1);
  Release(3010, Button1);
  Press(3399, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 RELEASE", "Button 1 PRESS", "Button 1 RELEASE",
                                 "Button 1 PRESS", "Button 1 Double PRESS"));
}

// Pressed within 50 ms of each other in either order, or the second while the first is held,
// two events run their chord's lists and not their own; alone, an event waits out the 50 ms.
TEST_F(PressTest, ChordsInEitherOrder) {
  Both(0, TPressType::Chord, Button1);
  TPressParams params;
  params.ChordPartners[LayerEvent(0, Button1)] = Button2;
  Mapper.SetPressParams(params);

  Press(0, Button1);
  Press(30, Button2);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Chord PRESS"));
  Release(100, Button2);  // the first to let go ends the chord
  Release(120, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Chord RELEASE"));

  Press(1000, Button2);
  Press(1049, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Chord PRESS"));
  Release(1100, Button1);
  Release(1110, Button2);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Chord RELEASE"));

  // 50 ms apart: the first's own press has run; the chord still forms while it is held, and it
  // lets go of its own press at its release.
  Press(2000, Button1);
  Press(2050, Button2);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Chord PRESS"));
  Release(2200, Button1);
  Release(2210, Button2);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 Chord RELEASE", "Button 1 RELEASE"));

  // Alone: its own lists once the 50 ms are over, or at once when let go sooner.
  Press(3000, Button1);
  Tick(3049);
  EXPECT_THAT(Ran(), IsEmpty());
  Tick(3050);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS"));
  Release(3060, Button1);
  Press(4000, Button1);
  Release(4020, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 RELEASE", "Button 1 PRESS", "Button 1 RELEASE"));

  // A partner held in another layer makes no chord.
  List(0, TPressType::Plain, Button5, false, {"LAYER 1"});
  Press(5000, Button2);
  Press(5010, Button5);
  Press(5020, Button1);
  Tick(5070);
  // Button 2 waits for its partner in layer 0 while the others run.
  EXPECT_THAT(Ran(), ElementsAre("Button 5 PRESS", "Button 1 PRESS (layer 1)", "Button 2 PRESS"));
}

// A toggle runs its Press list at one press and its Release list at the next, in its layer: a
// layer held on button 5 between them neither toggles it nor forgets it.
TEST_F(PressTest, TogglesAcrossALayerSwitch) {
  Both(0, TPressType::Toggle, Button1);
  List(0, TPressType::Plain, Button5, false, {"LAYER 2"});
  List(0, TPressType::Plain, Button5, true, {"LAYER 0"});
  Press(0, Button1);
  Release(10, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Toggle PRESS", "Button 1 RELEASE"));
  Press(20, Button5);
  Press(30, Button1);
  Release(40, Button1);
  // Button 5's release ran in layer 0, where it was pressed: it has a list there.
  Release(50, Button5);
  EXPECT_THAT(Ran(), ElementsAre("Button 5 PRESS", "Button 1 PRESS (layer 2)",
                                 "Button 1 RELEASE (layer 2)", "Button 5 RELEASE"));
  Press(60, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Toggle RELEASE"));
}

// While held, a turbo's Press list runs at the press and every period after it, up to and
// including the millisecond of the release; its Release list once.
TEST_F(PressTest, TurboCounts) {
  Both(0, TPressType::Turbo, Button1);
  const auto count = [](const Lines& ran, const std::string& line) {
    return std::count(ran.begin(), ran.end(), line);
  };
  Press(0, Button1);
  Tick(999);
  Release(999, Button1);
  Lines ran = Ran();
  EXPECT_EQ(count(ran, "Button 1 Turbo PRESS"), 10);
  EXPECT_EQ(count(ran, "Button 1 Turbo RELEASE"), 1);
  EXPECT_EQ(ran.back(), "Button 1 Turbo RELEASE");

  TPressParams params;
  params.TurboPeriods[LayerEvent(0, Button1)] = 30;
  Mapper.SetPressParams(params);
  Press(2000, Button1);
  for (std::int64_t at = 2000; at <= 2300; at += 7) Tick(at);  // a poll every 7 ms
  Release(2300, Button1);
  ran = Ran();
  EXPECT_EQ(count(ran, "Button 1 Turbo PRESS"), 11);
  Tick(5000);
  EXPECT_THAT(Ran(), IsEmpty());
}

// A Release runs in the layer its Press ran in, however the layer changed in between; lists of
// a layer run their lines; LAYER lines out of range switch nothing.
TEST_F(PressTest, AReleaseRunsInThePressesLayer) {
  List(0, TPressType::Plain, Button1, false, {"KEY DOWN a"});
  List(0, TPressType::Plain, Button1, true, {"KEY UP a"});
  List(2, TPressType::Plain, Button1, false, {"KEY DOWN b"});
  List(2, TPressType::Plain, Button1, true, {"KEY UP b"});
  List(0, TPressType::Plain, Button5, false, {"KEY DOWN x", "LAYER 2"});
  List(2, TPressType::Plain, Button5, false, {"LAYER 9"});
  Press(0, Button1);
  Press(10, Button5);
  Release(20, Button1);
  Press(30, Button1);
  Release(40, Button1);
  Release(50, Button5);
  Press(60, Button5);  // layer 2's Button 5: LAYER 9 is no layer
  Press(70, Button1);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 5 PRESS", "Button 1 RELEASE",
                                 "Button 1 PRESS (layer 2)", "Button 1 RELEASE (layer 2)",
                                 "Button 5 RELEASE", "Button 5 PRESS (layer 2)",
                                 "Button 1 PRESS (layer 2)"));
  EXPECT_THAT(Mapper.QueuedLines(), ElementsAre("KEY DOWN a", "KEY DOWN x", "LAYER 2", "KEY UP a",
                                                "KEY DOWN b", "KEY UP b", "LAYER 9", "KEY DOWN b"));
  Drain();
  // The worker passes LAYER lines by: they acted when their lists routed.
  EXPECT_THAT(Calls(), ElementsAre("key 0x41 (A) down", "key 0x58 (X) down", "key 0x41 (A) up",
                                   "key 0x42 (B) down", "key 0x42 (B) up", "key 0x42 (B) down"));
}

// After a switch of profile, what was held lets go without running the new profile's lists, in
// a profile without layers as with; timers of the old presses are gone.
TEST_F(PressTest, HeldAcrossAProfileSwitchReleasesNothing) {
  for (const bool layered : {false, true}) {
    SCOPED_TRACE(layered ? "with press types" : "plain");
    if (layered) Both(0, TPressType::Hold, Button1);
    Press(100, Button1);
    Ran();
    Mapper.ForgetHeldEvents();
    Tick(1000);
    Release(1000, Button1);
    EXPECT_THAT(Ran(), IsEmpty());
    Press(2000, Button1);
    Release(2010, Button1);
    EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 RELEASE"));
  }
}

// The shift button changes while button 1 is held: the release comes as Shift Button 1's, whose
// Release list runs as it always has, and button 1's hold lets go of what it pressed.
TEST_F(PressTest, AHoldLetsGoWhenTheShiftButtonChangesUnderIt) {
  Both(0, TPressType::Hold, Button1);
  Now = 0;
  Mapper.Jstick1Button(nullptr, 1, true);
  Tick(300);
  Mapper.Jstick1Button(nullptr, 9, true);
  Mapper.Jstick1Button(nullptr, 1, false);
  EXPECT_THAT(Ran(), ElementsAre("Button 1 PRESS", "Button 1 Hold PRESS", "Button 1 Hold RELEASE",
                                 "Shift Button 1 RELEASE"));
  Mapper.Jstick1Button(nullptr, 1, true);
  Mapper.Jstick1Button(nullptr, 1, false);
  EXPECT_THAT(Ran(), ElementsAre("Shift Button 1 PRESS", "Shift Button 1 RELEASE"));
  static_assert(ShiftButton1 == Button1 + 8);
}

}  // namespace
}  // namespace kestrova::testing
