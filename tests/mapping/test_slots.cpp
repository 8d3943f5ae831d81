// The event table, the words of command lines and block ids.

#include <gtest/gtest.h>

#include "mapping/Convert.h"
#include "mapping/Slots.h"

namespace kestrova {
namespace {

TEST(EventTable, NamesSlotsAndKinds) {
  EXPECT_EQ(EventNames[0], "Stick Left");
  EXPECT_EQ(EventNames[12], "POV South");
  EXPECT_EQ(EventNames[13], "Button 1");
  EXPECT_EQ(EventNames[21], "Shift Button 1");
  // The last four hat events come after the shift buttons, not after "POV South".
  EXPECT_EQ(EventNames[29], "POV SW");
  EXPECT_EQ(EventNames[32], "POV Center");
  EXPECT_EQ(BaseMaxSlotIndex, 65);
  // The pad's further events follow, in a fixed order that profiles rely on.
  EXPECT_EQ(MaxSlotIndex, 107);  // the touchpad click's slots last
  EXPECT_EQ(SlotOfEvent("U Left", "PRESS"), 66);
  EXPECT_EQ(SlotOfEvent("V Right", "RELEASE"), 73);
  EXPECT_EQ(SlotOfEvent("Left Trigger", "PRESS"), 74);
  EXPECT_EQ(SlotOfEvent("Right Trigger", "RELEASE"), 77);
  EXPECT_EQ(SlotOfEvent("Button 10", "PRESS"), 78);
  EXPECT_EQ(SlotOfEvent("Button 16", "RELEASE"), 91);
  EXPECT_EQ(SlotOfEvent("Shift Button 10", "PRESS"), 92);
  EXPECT_EQ(SlotOfEvent("Shift Button 16", "RELEASE"), 105);

  EXPECT_EQ(SlotOfEvent("Stick Left", "PRESS"), 0);
  EXPECT_EQ(SlotOfEvent("Stick Left", "RELEASE"), 1);
  EXPECT_EQ(SlotOfEvent("Rot. Right", "RELEASE"), 11);
  EXPECT_EQ(SlotOfEvent("Shift Button 8", "PRESS"), 56);
  EXPECT_EQ(SlotOfEvent("POV West", "PRESS"), 60);
  EXPECT_EQ(SlotOfEvent("POV Center", "RELEASE"), 65);
  // Only "RELEASE" selects the Release slot; names are exact.
  EXPECT_EQ(SlotOfEvent("Button 6", "release"), 36);
  EXPECT_EQ(SlotOfEvent("button 6", "PRESS"), -1);
  EXPECT_EQ(SlotOfEvent("Button 9", "PRESS"), -1);

  // Every name finds its own event.
  for (int event = 0; event < EventCount; ++event) {
    EXPECT_EQ(EventIndexOfName(EventNames[event]), event);
  }
}

TEST(ControlNames, DigitsAreJoinedWhereverTheyStand) {
  EXPECT_EQ(GetIndexFromControlName("ButtonJoy37"), 37);
  EXPECT_EQ(GetIndexFromControlName("LabelJoy64"), 64);
  EXPECT_EQ(GetIndexFromControlName("ButtonJoy0"), 0);
  EXPECT_EQ(GetIndexFromControlName("LabelJoy"), 0);
  EXPECT_EQ(GetIndexFromControlName("A1B2"), 12);
  EXPECT_EQ(GetIndexFromControlName("X99999999999"), 0);  // out of range: absorbed
}

TEST(GetCmdParam, WordsCountFromTheEnd) {
  const std::string move = "MOUSE MOVE R B 10 -5 X N";
  const char* expected[] = {"N", "X", "-5", "10", "B", "R", "MOVE", "MOUSE", "MOUSE", "MOUSE"};
  for (int index = 0; index < 10; ++index) {
    EXPECT_EQ(GetCmdParam(move, index), expected[index]) << "index " << index;
  }
  EXPECT_EQ(GetCmdParam("BEGBLOCK 001 RPT 0", 2), "001");
  EXPECT_EQ(GetCmdParam("BEGBLOCK 001 RPT 0", 0), "0");
  EXPECT_EQ(GetCmdParam("DELAY 1 ", 0), "");  // trailing blank: empty last word
  EXPECT_EQ(GetCmdParam("DELAY 1 ", 1), "1");
  EXPECT_EQ(GetCmdParam("A  B", 1), "");  // two blanks enclose an empty word
  EXPECT_EQ(GetCmdParam("A  B", 2), "A");
  EXPECT_EQ(GetCmdParam("", 0), "");
  EXPECT_EQ(GetCmdParam("KEY\tDOWN", 0), "KEY\tDOWN");  // only the blank separates
}

TEST(BlockIds, NextIdAndSortedList) {
  TSlotTable slots;
  std::vector<std::string> ids{"stale"};
  EXPECT_EQ(GetNextBlockId(slots, ids), "001");
  EXPECT_TRUE(ids.empty());

  slots[40] = {"BEGBLOCK 007 RPT 0", "KEY DOWN a", "ENDBLOCK 007"};
  slots[3] = {"BEGBLOCK 001 RPT 2", "ENDBLOCK 001", "TRMBLOCK 007"};
  EXPECT_EQ(GetNextBlockId(slots, ids), "008");
  EXPECT_EQ(ids, (std::vector<std::string>{"001", "007"}));

  slots[65] = {"BEGBLOCK 999 RPT 1"};
  EXPECT_EQ(GetNextBlockId(slots, ids), "1000");

  // Ids sort as text, so 1000 comes before 999.
  slots[0] = {"BEGBLOCK 1000 RPT 1"};
  EXPECT_EQ(GetNextBlockId(slots, ids), "1001");
  EXPECT_EQ(ids, (std::vector<std::string>{"001", "007", "1000", "999"}));

  slots[10] = {"BEGBLOCK abc RPT 1"};
  EXPECT_THROW(
      {
        try {
          GetNextBlockId(slots, ids);
        } catch (const EConvertError& error) {
          EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
          throw;
        }
      },
      EConvertError);
}

}  // namespace
}  // namespace kestrova
