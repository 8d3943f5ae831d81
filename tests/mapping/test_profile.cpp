// Profile files: their format byte for byte, loading all or nothing, saving atomically, and the
// line-by-line check.

#include <gmock/gmock.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>

#include "common/TempDir.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"
#include "mapping/TextFile.h"

namespace kestrova {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

const TTolerances Defaults = DefaultTolerances;

std::string Header() {
  return std::string(ProfileHeader) + "\r\n";
}

// A profile text with only the given slots tagged.
std::string Tagged(const std::vector<std::pair<int, Lines>>& slots,
                   const Lines& tolerances = {"300", "300", "300", "300"}) {
  std::string text = Header();
  for (const auto& [slot, lines] : slots) {
    text += "#Command Tag " + std::to_string(slot) + "\r\n";
    for (const auto& line : lines) text += line + "\r\n";
  }
  text += "#Tolerances\r\n";
  for (const auto& tolerance : tolerances) text += tolerance + "\r\n";
  return text;
}

std::string ErrorOf(std::string_view text) {
  try {
    ParseProfile(text, TSlotTable{});
  } catch (const EProfileError& error) {
    return error.what();
  }
  return "no error";
}

std::string MeaningOf(std::string_view text) {
  try {
    ParseProfile(text, TSlotTable{});
  } catch (const EProfileError& error) {
    return error.Meaning();
  }
  return "no error";
}

using TempDir = kestrova::testing::TTempDir;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ProfileFormat, EmptyProfileIs72LinesAndRoundTrips) {
  const std::string text = FormatProfile(TSlotTable{}, Defaults);
  const Lines lines = SplitProfileLines(text);
  ASSERT_EQ(lines.size(), 72u);
  EXPECT_EQ(lines[0], "#Kestrova Beta Profile");
  EXPECT_EQ(lines[1], "#Command Tag 0");
  EXPECT_EQ(lines[66], "#Command Tag 65");
  EXPECT_EQ(lines[67], "#Tolerances");
  EXPECT_EQ(lines[71], "300");
  EXPECT_TRUE(text.ends_with("300\r\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 72);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 72);

  TSlotTable old;
  old[7] = {"KEY DOWN x"};
  const auto loaded = ParseProfile(text, old);
  for (const auto& slot : loaded.Slots) EXPECT_TRUE(slot.empty());
  EXPECT_EQ(loaded.Tolerances, Defaults);
}

TEST(ProfileFormat, SlotsKeepTheirLinesInOrderByteForByte) {
  TSlotTable slots;
  slots[26] = {"KEY DOWN A", "KEY UP A"};
  slots[65] = {"MOUSE MOVE R B 0.02 0 X N", "KEY DOWN \xE9", "", "KEY UP \xFF"};
  const std::string text = FormatProfile(slots, {0, 1000, 5000, -7, 300, 300, 300});
  EXPECT_NE(text.find("#Command Tag 26\r\nKEY DOWN A\r\nKEY UP A\r\n#Command Tag 27\r\n"),
            std::string::npos);
  const auto loaded = ParseProfile(text, TSlotTable{});
  EXPECT_EQ(loaded.Slots, slots);
  EXPECT_EQ(loaded.Tolerances, (TTolerances{0, 1000, 5000, -7, 300, 300, 300}));  // no range check
  EXPECT_EQ(loaded.ToleranceTexts[2], "5000");
  EXPECT_EQ(loaded.SourceLines[26], (std::vector<int>{29, 30}));
}

TEST(ProfileFormat, AsTextEachListUnderItsEventsName) {
  TSlotTable slots;
  slots[0] = {"KEY DOWN a"};
  slots[27] = {"TRMBLOCK 001"};
  slots[65] = {"DELAY 5", "KEY UP b"};
  slots[104] = {"KEY DOWN c"};
  EXPECT_EQ(ProfileAsText(slots, {1, 2, 3, 4, 5, 6, 7}),
            "Stick Left Press: (#Command Tag 0)\n    KEY DOWN a\n"
            "Button 1 Release: (#Command Tag 27)\n    TRMBLOCK 001\n"
            "POV Center Release: (#Command Tag 65)\n    DELAY 5\n    KEY UP b\n"
            "Shift Button 16 Press: (#Command Tag 104)\n    KEY DOWN c\n"
            "Tolerances: X 1, Y 2, Z 3, R 4, U 5, V 6, Trigger 7\n");
}

TEST(ProfileFormat, LineEndsAndNul) {
  EXPECT_EQ(SplitProfileLines("a\rb\nc\r\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitProfileLines("a\r\r\nb\n\n"), (Lines{"a", "", "b", ""}));
  EXPECT_EQ(SplitProfileLines("a\r\nb\0c\r\nd"), (Lines{"a", "b"}));
  EXPECT_EQ(SplitProfileLines(std::string_view("a\r\nb\0c", 6)), (Lines{"a", "b"}));
  EXPECT_TRUE(SplitProfileLines("").empty());
  // A Unix-style file reads the same as a DOS one.
  std::string unix = FormatProfile(TSlotTable{}, Defaults);
  std::erase(unix, '\r');
  EXPECT_EQ(ParseProfile(unix, TSlotTable{}).Tolerances, Defaults);
}

TEST(ProfileLoad, HeaderMustMatchExactly) {
  for (const std::string header :
       {"#Kestrova Beta Profile ", "#kestrova beta profile", "", " #Kestrova Beta Profile"}) {
    const std::string text = header + "\r\n#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n";
    EXPECT_THROW(ParseProfile(text, TSlotTable{}), EProfileMismatch) << header;
  }
  EXPECT_EQ(ErrorOf("nope"), std::string(ProfileMismatchMessage));
}

TEST(ProfileLoad, WalkRules) {
  TSlotTable old;
  old[3] = {"KEY DOWN old"};
  old[4] = {"KEY DOWN kept"};
  // Lines before the first tag are ignored; a slot tagged twice keeps the lines after its last
  // tag; untagged slots keep theirs.
  std::string text = Header() + "stray line\r\n#Command Tag 3\r\nKEY DOWN first\r\n" +
                     "#Command Tag 3\r\nKEY DOWN second\r\n#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n";
  auto loaded = ParseProfile(text, old);
  EXPECT_EQ(loaded.Slots[3], (Lines{"KEY DOWN second"}));
  EXPECT_EQ(loaded.Slots[4], (Lines{"KEY DOWN kept"}));
  EXPECT_EQ(loaded.SourceLines[4], (std::vector<int>{0}));
  EXPECT_EQ(loaded.Tolerances, (TTolerances{1, 2, 3, 4, 300, 300, 300}));

  // A command line holding the marker ends the slots there: what follows is read as tolerances.
  text = Tagged({{0, {"KEY DOWN #Tolerances", "5", "6", "7", "8", "KEY UP a"}}});
  loaded = ParseProfile(text, old);
  EXPECT_TRUE(loaded.Slots[0].empty());
  EXPECT_EQ(loaded.Tolerances, (TTolerances{5, 6, 7, 8, 300, 300, 300}));
}

// The pad's further events and tolerances make a version-2 file; without them the file stays
// what it always was, so that older readers keep reading it.
TEST(ProfileFormat, Version2ExactlyWhenThePadsFurtherEventsAreUsed) {
  struct TCase {
    const char* what;
    int slot;  // -1: none filled
    int tolerance;
    int value;
    bool version2;
  };
  const TCase cases[] = {
      {"nothing beyond slot 65", 65, 0, 300, false},
      {"U Left Press", 66, 0, 300, true},
      {"Shift Button 16 Release", 105, 0, 300, true},
      {"Touchpad Click Release", 107, 0, 300, true},
      {"a U tolerance", -1, 4, 250, true},
      {"a V tolerance", -1, 5, 0, true},
      {"a trigger tolerance", -1, 6, 301, true},
  };
  for (const auto& c : cases) {
    TSlotTable slots;
    if (c.slot >= 0) slots[c.slot] = {"KEY DOWN q", "KEY UP q"};
    TTolerances tolerances = {10, 20, 30, 40, 300, 300, 300};
    tolerances[c.tolerance] = c.value;
    const std::string text = FormatProfile(slots, tolerances);
    const Lines lines = SplitProfileLines(text);
    EXPECT_EQ(lines[0], c.version2 ? "#Kestrova Profile 2" : "#Kestrova Beta Profile") << c.what;
    const std::size_t tags = std::count_if(lines.begin(), lines.end(), [](const auto& line) {
      return line.starts_with("#Command Tag ");
    });
    EXPECT_EQ(tags, c.version2 ? 108u : 66u) << c.what;
    EXPECT_EQ(lines.size() - (lines.back() == "" ? 1 : 0),
              1 + tags + (c.slot >= 0 ? 2 : 0) + 1 + (c.version2 ? 7 : 4))
        << c.what;
    // Read over a table full of other lines: the file decides every slot and tolerance.
    TSlotTable full;
    for (auto& slot : full) slot = {"KEY DOWN z"};
    const TLoadedProfile loaded = ParseProfile(text, full);
    EXPECT_EQ(loaded.Slots, slots) << c.what;
    EXPECT_EQ(loaded.Tolerances, tolerances) << c.what;
    EXPECT_EQ(loaded.Version, c.version2 ? 2 : 1) << c.what;
    EXPECT_EQ(FormatProfile(loaded.Slots, loaded.Tolerances), text) << c.what;
  }
}

// The motion section: written only where motion is set (which makes the file version 2), each
// source with every value of its mode, read back the same; a version-2 file without it has the
// defaults.
TEST(ProfileFormat, TheMotionSectionRoundTrips) {
  TMotionSettings motion;
  motion[TMotionSource::LeftStick].Mode = TMotionMode::Mouse;
  motion[TMotionSource::LeftStick].Speed = 1234;
  motion[TMotionSource::LeftStick].Curve = 1.25;
  motion[TMotionSource::RightStick].Mode = TMotionMode::Flick;
  motion[TMotionSource::RightStick].TurnCounts = 5400.5;
  motion[TMotionSource::Gyro].Mode = TMotionMode::Mouse;
  motion[TMotionSource::Gyro].GyroAxis = 2;
  motion[TMotionSource::Gyro].Gate = 3;
  motion[TMotionSource::Gyro].GateButton = 6;
  motion[TMotionSource::Touchpad].Mode = TMotionMode::Mouse;
  motion.PeriodMs = 2;
  const std::string text = FormatProfile(TSlotTable{}, DefaultTolerances, motion);
  const Lines lines = SplitProfileLines(text);
  EXPECT_EQ(lines[0], "#Kestrova Profile 2");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_THAT(Lines(lines.end() - 6, lines.end()),
              ElementsAre("#Motion", "Period 2",
                          "Left Stick Mouse speed=1234 deadzone=10 outer=2 curve=1.25 accel=1 "
                          "ramp=500",
                          "Right Stick Flick turn=5400.5 deadzone=10 outer=2 flicktime=100",
                          "Gyro Mouse sens=10 turn=0 axis=player gate=toggle button=6 smooth=5 "
                          "smoothtime=100 tighten=0 accel=1 accelrate=360",
                          "Touchpad Mouse speed=1000"));
  const TLoadedProfile loaded = ParseProfile(text, TSlotTable{});
  EXPECT_EQ(loaded.Motion, motion);
  EXPECT_EQ(FormatProfile(loaded.Slots, loaded.Tolerances, loaded.Motion), text);
  // Omitted values take the defaults; a version-2 file without the section has none on.
  const std::string v2 = FormatProfile(TSlotTable{}, {1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(ParseProfile(v2, TSlotTable{}).Motion, DefaultMotion);
  const TLoadedProfile terse = ParseProfile(v2 + "#Motion\r\nRight Stick Mouse\r\n", {});
  EXPECT_EQ(terse.Motion[TMotionSource::RightStick].Mode, TMotionMode::Mouse);
  EXPECT_EQ(terse.Motion[TMotionSource::RightStick].Speed, 1000);
  EXPECT_EQ(terse.Motion.PeriodMs, 4);
  // Without motion a profile is written as before (version 1 where that says it all).
  EXPECT_EQ(FormatProfile(TSlotTable{}, Defaults, DefaultMotion),
            FormatProfile(TSlotTable{}, Defaults));
  EXPECT_EQ(SplitProfileLines(FormatProfile(TSlotTable{}, Defaults)).size(), 72u);
}

// A line of the motion section that is none refuses the load with its line number and says why.
TEST(ProfileLoad, BadMotionLinesRefuseTheLoad) {
  const std::string v2 = FormatProfile(TSlotTable{}, {1, 2, 3, 4, 5, 6, 7}) + "#Motion\r\n";
  const int first = static_cast<int>(SplitProfileLines(v2).size()) + 1;
  const std::pair<const char*, const char*> cases[] = {
      {"Middle Stick Mouse", "not a motion line: 'Middle Stick Mouse'"},
      {"Left Stick", "not a motion line: 'Left Stick'"},
      {"Left Stick Walk", "unknown mode 'Walk' of Left Stick (Mouse or Flick)"},
      {"Left Stick Mouse sped=1",
       "unknown setting 'sped=1' of Mouse (speed, deadzone, outer, "
       "curve, accel, ramp)"},
      {"Left Stick Mouse turn=3600", "unknown setting 'turn=3600' of Mouse"},
      {"Right Stick Flick speed=3", "unknown setting 'speed=3' of Flick"},
      {"Left Stick Mouse speed", "unknown setting 'speed' of Mouse"},
      {"Left Stick Mouse speed=0", "speed=0 is outside 1..100000"},
      {"Left Stick Mouse curve=5.01", "curve=5.01 is outside 0.2..5"},
      {"Left Stick Mouse deadzone=-1", "deadzone=-1 is outside 0..50"},
      {"Left Stick Mouse speed=nan", "speed='nan' is not a number"},
      {"Left Stick Mouse speed=inf", "speed='inf' is not a number"},
      {"Left Stick Mouse speed=12px", "speed='12px' is not a number"},
      {"Left Stick Mouse speed=", "speed='' is not a number"},
      {"Left Stick Mouse speed=1  curve=2", "unknown setting ''"},
      {"Gyro Flick", "unknown mode 'Flick' of Gyro (Mouse)"},
      {"Touchpad Flick", "unknown mode 'Flick' of Touchpad (Mouse)"},
      {"Gyro Mouse axis=pitch", "axis='pitch' is none of yaw, roll, player"},
      {"Gyro Mouse gate=sometimes", "gate='sometimes' is none of always, while, unless, toggle"},
      {"Gyro Mouse button=33", "button=33 is outside 1..32"},
      {"Gyro Mouse speed=3", "unknown setting 'speed=3' of Mouse (sens, turn, axis, gate"},
      {"Touchpad Mouse sens=1", "unknown setting 'sens=1' of Mouse (speed)"},
      {"Period 0", "the motion period '0' is not a whole number of milliseconds in 1..20"},
      {"Period 21", "in 1..20"},
      {"Period fast", "in 1..20"},
  };
  for (const auto& [line, why] : cases) {
    const std::string text = v2 + "Left Stick Mouse\r\n" + line + "\r\n";
    EXPECT_EQ(ErrorOf(text), "Bad motion setting in line " + std::to_string(first + 1)) << line;
    EXPECT_THAT(MeaningOf(text), ::testing::HasSubstr(why)) << line;
  }
  // The edges of a range are in it.
  const TLoadedProfile edges =
      ParseProfile(v2 + "Left Stick Mouse speed=1 curve=0.2 deadzone=50\r\nPeriod 20\r\n", {});
  EXPECT_EQ(edges.Motion[TMotionSource::LeftStick].Curve, 0.2);
  EXPECT_EQ(edges.Motion.PeriodMs, 20);
  // --check reports the line as a problem.
  const auto problems = CheckProfileText(v2 + "Left Stick Mouse curve=9\r\n", '.');
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].Line, first);
  EXPECT_THAT(problems[0].Text, ::testing::HasSubstr("curve=9 is outside 0.2..5"));
}

// Lists of layers and press types are tagged by their ids after the slot table's, their
// settings in the press section; a file says them all, none is kept from before the load.
TEST(ProfileFormat, LayersAndPressTypesRoundTrip) {
  TSlotTable slots;
  slots[26] = {"KEY DOWN a", "LAYER 2"};
  TExtraLists extras;
  extras.SetList(ListId(2, TPressType::Plain, 26), {"KEY DOWN b"});
  extras.SetList(ListId(0, TPressType::Hold, 27), {"KEY UP h", "DELAY 5"});
  extras.SetList(ListId(7, TPressType::Turbo, SlotCount - 1), {"MOUSE WHEEL 1"});
  extras.SetList(ListId(0, TPressType::Chord, 28), {"KEY DOWN c"});
  extras.Press.HoldMs = 180;
  extras.Press.ChordPartners[LayerEvent(0, 14)] = 15;
  extras.Press.TurboPeriods[LayerEvent(7, EventCount - 1)] = 35;
  EXPECT_TRUE(NeedsVersion2(TSlotTable{}, Defaults, DefaultMotion, extras));
  const std::string text = FormatProfile(slots, Defaults, DefaultMotion, extras);
  const Lines lines = SplitProfileLines(text);
  EXPECT_EQ(lines[0], "#Kestrova Profile 2");
  const auto at = std::find(lines.begin(), lines.end(), "#Command Tag 107");
  ASSERT_NE(at, lines.end());
  EXPECT_THAT(Lines(at + 1, at + 9),
              ElementsAre("#Command Tag 1027", "KEY UP h", "DELAY 5", "#Command Tag 4028",
                          "KEY DOWN c", "#Command Tag 20026", "KEY DOWN b", "#Command Tag 76107"));
  EXPECT_THAT(Lines(lines.end() - 4, lines.end()),
              ElementsAre("#Press", "Hold 180", "Chord 0 14 15", "Turbo 7 53 35"));
  TSlotTable before;
  before[30] = {"kept"};
  const TLoadedProfile loaded = ParseProfile(text, before);
  EXPECT_EQ(loaded.Extras, extras);
  EXPECT_EQ(loaded.Slots[26], slots[26]);
  EXPECT_EQ(FormatProfile(loaded.Slots, loaded.Tolerances, loaded.Motion, loaded.Extras), text);
  // Both sections, in either order; a tag of a list without lines is none.
  TMotionSettings motion;
  motion[TMotionSource::Gyro].Mode = TMotionMode::Mouse;
  const std::string both = FormatProfile(slots, Defaults, motion, extras);
  EXPECT_EQ(ParseProfile(both, {}).Motion, motion);
  EXPECT_EQ(ParseProfile(both, {}).Extras, extras);
  const std::string v2 = FormatProfile(TSlotTable{}, {1, 2, 3, 4, 5, 6, 7});
  const std::string swapped =
      v2 + "#Motion\r\nGyro Mouse\r\n#Press\r\nDouble 400\r\n#Motion\r\nPeriod 3\r\n";
  const TLoadedProfile reordered = ParseProfile(swapped, {});
  EXPECT_EQ(reordered.Extras.Press.DoubleMs, 400);
  EXPECT_EQ(reordered.Motion.PeriodMs, 3);
  EXPECT_EQ(reordered.Motion[TMotionSource::Gyro].Mode, TMotionMode::Mouse);
  std::string empty = text;
  empty.replace(empty.find("#Command Tag 20026\r\nKEY DOWN b"), 30, "#Command Tag 20026");
  EXPECT_FALSE(ParseProfile(empty, {}).Extras.Lists.contains(20026));
  // A profile's later load has no list of an earlier one.
  EXPECT_TRUE(ParseProfile(v2, {}).Extras.Empty());
  // Layers, press types and LAYER lines in the slot table alone stay within version 1.
  TSlotTable layered;
  layered[0] = {"LAYER 1", "PROFILE other.kpf"};
  EXPECT_FALSE(NeedsVersion2(layered, Defaults));
}

// Press settings and tags that name no list refuse the load with their line and why.
TEST(ProfileLoad, BadPressSettingsAndListTagsRefuseTheLoad) {
  const std::string v2 = FormatProfile(TSlotTable{}, {1, 2, 3, 4, 5, 6, 7}) + "#Press\r\n";
  const int line = static_cast<int>(SplitProfileLines(v2).size()) + 1;
  const std::pair<const char*, const char*> cases[] = {
      {"Chord 0 13 13", "a chord of Button 1 with itself"},
      {"Turbo 0 13 0", "turbo period 0 is not 1 to 60000 ms"},
      {"Turbo 0 13 60001", "turbo period 60001 is not 1 to 60000 ms"},
      {"Hold 0", "Hold time 0 is not 1 to 10000 ms"},
      {"Double 10001", "Double time 10001 is not 1 to 10000 ms"},
      {"Hold", "Hold takes one number: milliseconds"},
      {"Chord 8 13 14", "layer 8 is not 0 to 7"},
      {"Chord -1 13 14", "layer -1 is not 0 to 7"},
      {"Turbo 0 54 100", "event 54 is not 0 to 53"},
      {"Chord 0 13 54", "partner event 54 is not 0 to 53"},
      {"Chord 0 13", "Chord takes three numbers: the layer, the event and the partner event"},
      {"Turbo 0 13 fast", "'fast' is not a whole number"},
      {"Tap 100", "'Tap' is no press setting (Hold, Double, Chord or Turbo)"},
  };
  for (const auto& [text, why] : cases) {
    const std::string profile = v2 + text + "\r\n";
    EXPECT_EQ(ErrorOf(profile), "Bad press setting in line " + std::to_string(line)) << text;
    EXPECT_EQ(MeaningOf(profile), why) << text;
  }
  EXPECT_EQ(ParseProfile(v2 + "Hold 1\r\nDouble 10000\r\nTurbo 7 53 1\r\n", {}).Extras.Press,
            (TPressParams{1, 10000, {}, {{LayerEvent(7, 53), 1}}}));
  const auto tagged = [](int id) {
    return std::string(ProfileHeader2) + "\r\n#Command Tag " + std::to_string(id) +
           "\r\n#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n";
  };
  for (const int id : {108, 999, 7000, 1108, 80000, -1}) {
    EXPECT_EQ(ErrorOf(tagged(id)), "List index out of bounds (" + std::to_string(id) + ")") << id;
  }
  EXPECT_EQ(ErrorOf(tagged(76107)), "no error");
  // A version-1 file cannot have them, and says so.
  EXPECT_THAT(MeaningOf(Tagged({{1026, {"KEY DOWN a"}}})),
              ::testing::HasSubstr("need the header #Kestrova Profile 2"));
}

TEST(ProfileLoad, EachVersionKnowsItsOwnSlotsAndTolerances) {
  // Tolerances not given are at their default, as in a version-1 file: never 0, which would make
  // U and V fire at rest.
  EXPECT_EQ((TTolerances{1, 2, 3, 4}), (TTolerances{1, 2, 3, 4, 300, 300, 300}));
  // A version-1 file cannot tag the pad's further lists, and says how a file could.
  EXPECT_EQ(MeaningOf(Tagged({{66, {"KEY DOWN a"}}})),
            "line 2 tags command list 66; a profile has lists 0 to 65 (lists after that need the "
            "header #Kestrova Profile 2)");
  std::string text = std::string(ProfileHeader2) + "\r\n#Command Tag 105\r\nKEY DOWN a\r\n" +
                     "#Command Tag 108\r\n#Tolerances\r\n";
  EXPECT_EQ(MeaningOf(text),
            "line 4 tags command list 108; a profile has lists 0 to 107 and the lists of layers "
            "and press types (layer x 10000 + type x 1000 + slot)");
  // A version-2 file has seven tolerances, and its errors read like a version-1 file's.
  text = std::string(ProfileHeader2) + "\r\n#Command Tag 105\r\nKEY DOWN a\r\n" +
         "#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n";
  EXPECT_EQ(MeaningOf(text),
            "the file ends before the Trigger tolerance; a profile has seven (X, Y, Z, R, U, V "
            "and Trigger)");
  EXPECT_EQ(ErrorOf(text + "x7\r\n"), "'x7' is not a valid integer value");
  const TLoadedProfile seven = ParseProfile(text + "7\r\n", TSlotTable{});
  EXPECT_EQ(seven.Tolerances, (TTolerances{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(seven.Slots[105], (Lines{"KEY DOWN a"}));
  EXPECT_EQ(seven.SourceLines[105], (std::vector<int>{3}));
}

TEST(ProfileLoad, MalformedFilesSayWhatTheMessageMeans) {
  std::string text = Header();
  for (int tag = 0; tag < 30; ++tag) text += "#Command Tag " + std::to_string(tag) + "\r\n";
  EXPECT_EQ(ErrorOf(text), "List index out of bounds (31)");
  EXPECT_EQ(MeaningOf(text), "the file ends after command tag 29; a profile has 66");
  EXPECT_EQ(MeaningOf(""), "the file is empty");
  EXPECT_EQ(MeaningOf(Header() + "#Command Tag 65\r\nKEY UP a\r\n"),
            "the file ends after command tag 65, without the #Tolerances section; a profile has "
            "66 command tags (0 to 65) and then its tolerances");
  EXPECT_EQ(MeaningOf(Header() + "#Tolerances\r\n1\r\n2\r\n3\r\n"),
            "the file ends before the R tolerance; a profile has four (X, Y, Z and R)");
  EXPECT_EQ(MeaningOf(Header() + "#Command Tag abc\r\n"),
            "line 2 should be a command tag's number, a whole number");
  EXPECT_EQ(MeaningOf(Header() + "#Tolerances\r\n1\r\n2,5\r\n3\r\n4\r\n"),
            "line 4 should be the Y tolerance, a whole number");
}

TEST(ProfileLoad, MalformedFilesFailWithTheSystemMessages) {
  EXPECT_EQ(ErrorOf(""), "List index out of bounds (0)");
  EXPECT_EQ(ErrorOf(Header()), "List index out of bounds (1)");
  EXPECT_EQ(ErrorOf(Header() + "#Command Tag 0\r\nKEY DOWN a\r\n"), "List index out of bounds (3)");
  EXPECT_EQ(ErrorOf(Header() + "#Tolerances\r\n1\r\n2\r\n3\r\n"), "List index out of bounds (5)");
  EXPECT_EQ(ErrorOf(Tagged({{66, {}}})), "List index out of bounds (66)");
  EXPECT_EQ(ErrorOf(Tagged({{-1, {}}})), "List index out of bounds (-1)");
  EXPECT_EQ(ErrorOf(Header() + "#Command Tag x\r\n"), "'x' is not a valid integer value");
  EXPECT_EQ(ErrorOf(Tagged({}, {"1", "2", "three", "4"})), "'three' is not a valid integer value");
  try {
    ParseProfile(Tagged({{2, {}}}, {"1", "2", "3", ""}), TSlotTable{});
    FAIL();
  } catch (const EProfileError& error) {
    EXPECT_EQ(error.Line(), 7);
    EXPECT_STREQ(error.what(), "'' is not a valid integer value");
  }
}

TEST(ProfileFiles, SaveReplacesAtomicallyAndKeepsPermissions) {
  TempDir dir;
  const auto path = dir / "pad.kpf";
  TSlotTable slots;
  slots[0] = {"KEY DOWN a"};
  WriteProfileFile(path, slots, Defaults);
  EXPECT_EQ(ReadAll(path), FormatProfile(slots, Defaults));
  EXPECT_EQ(ReadProfileFile(path, TSlotTable{}).Slots, slots);

  ::chmod(path.c_str(), 0640);
  slots[0] = {"KEY DOWN b"};
  WriteProfileFile(path, slots, Defaults);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(ProfileFiles, FailedSaveLeavesTheOldFile) {
  TempDir dir;
  const auto path = dir / "pad.kpf";
  { std::ofstream(path) << "old"; }

  // A write that fails half-way (the file size limit): the old file stays as it was.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  ::setrlimit(RLIMIT_FSIZE, &small);
  try {
    WriteProfileFile(path, TSlotTable{}, Defaults);
    ADD_FAILURE() << "the save did not fail";
  } catch (const EProfileError& error) {
    EXPECT_EQ(error.what(), "Cannot create file " + path.string());
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  const auto missing = dir / "no-such-folder" / "pad.kpf";
  try {
    WriteProfileFile(missing, TSlotTable{}, Defaults);
    ADD_FAILURE();
  } catch (const EProfileError& error) {
    EXPECT_EQ(error.what(), "Cannot create file " + missing.string());
  }
}

TEST(ProfileFiles, UnreadableFileIsReported) {
  TempDir dir;
  for (const auto& path : {dir / "missing.kpf", dir.Path()}) {
    try {
      ReadProfileFile(path, TSlotTable{});
      ADD_FAILURE();
    } catch (const EProfileError& error) {
      EXPECT_THAT(error.what(), ::testing::StartsWith("Cannot open file " + path.string() + ": "));
    }
  }
}

// The size limit is inclusive: a profile of exactly that many bytes is read, one byte more is
// refused before anything is parsed.
TEST(ProfileFiles, AProfileOfExactlyTheLimitIsRead) {
  TempDir dir;
  TSlotTable table;
  table[0] = {"KEY DOWN "};
  const std::size_t frame = FormatProfile(table, Defaults).size();
  for (const std::size_t size : {MaxInputFileBytes, MaxInputFileBytes + 1}) {
    table[0] = {"KEY DOWN " + std::string(size - frame, 'a')};
    std::string text = FormatProfile(table, Defaults);
    ASSERT_EQ(text.size(), size);
    std::ofstream(dir / "big.kpf", std::ios::binary) << text;
    text.clear();
    try {
      const TLoadedProfile profile = ReadProfileFile(dir / "big.kpf", TSlotTable{});
      EXPECT_EQ(size, MaxInputFileBytes);
      EXPECT_EQ(profile.Slots[0].size(), 1u);
    } catch (const EProfileError& error) {
      EXPECT_EQ(size, MaxInputFileBytes + 1) << error.what();
      EXPECT_THAT(error.what(), ::testing::HasSubstr("larger than"));
    }
  }
}

std::vector<std::string> Problems(const std::string& text) {
  std::vector<std::string> lines;
  for (const auto& problem : CheckProfileText(text, '.')) {
    lines.push_back(std::to_string(problem.Line) + ": " + problem.Text);
  }
  return lines;
}

TEST(ProfileCheck, CleanProfileHasNoProblems) {
  TSlotTable slots;
  slots[26] = {"BEGBLOCK 001 RPT 0",         "KEY DOWN A",   "DELAY 20",        "KEY UP A",
               "MOUSE MOVE R B 0.02 -1 X N", "ENDBLOCK 001", "LEFT MOUSE DOWN", "RIGHT MOUSE UP"};
  slots[28] = {"TRMBLOCK 001", "KEY DOWN SPACE", "DELAY -5", "NOOP"};
  slots[29] = {"KEY UP SPACE"};  // the Release list of the same event
  EXPECT_TRUE(
      CheckProfileText(FormatProfile(slots, {0, 1000, 300, 300, 300, 300, 300}), '.').empty());
}

TEST(ProfileCheck, EachProblemWithItsLine) {
  const std::string text =
      Tagged({{0, {"KEY DOWN ", "key down a", "DELAY abc", "BEGBLOCK 002 RPT x", "ENDBLOCK 002"}},
              {1,
               {"MOUSE MOVE R B 1,5 0 X N", "MOUSE MOVE Q B 1 0 X N", "BEGBLOCK 003 RPT 2",
                "KEY UP a", ""}},
              {2, {"ENDBLOCK 003", "TRMBLOCK 009", "TRMBLOCK 002"}}},
             {"300", "1001", "-1", "0"});
  EXPECT_THAT(
      Problems(text),
      ElementsAre(
          "3: empty key name", "4: not a command line: 'key down a'",
          "5: DELAY value 'abc' is not a number", "6: repeat count 'x' is not a number",
          "9: mouse step '1,5' is not a number", "10: not a command line: 'MOUSE MOVE Q B 1 0 X N'",
          "11: BEGBLOCK 003 has no ENDBLOCK 003 after it in its slot", "13: empty line",
          "16: TRMBLOCK 009 stops a block no BEGBLOCK defines",
          "20: Y tolerance 1001 is outside 0..1000", "21: Z tolerance -1 is outside 0..1000"));
  EXPECT_THAT(Problems("hello\r\n"),
              ElementsAre("1: not a Kestrova profile: the first line is neither \"#Kestrova "
                          "Beta Profile\" nor \"#Kestrova Profile 2\""));
  EXPECT_THAT(Problems(Header() + "#Command Tag 70\r\n"),
              ElementsAre("2: List index out of bounds (70) (line 2 tags command list 70; a "
                          "profile has lists 0 to 65 (lists after that need the header "
                          "#Kestrova Profile 2))"));
  // A version-2 file's further tolerances are checked like the first four.
  EXPECT_THAT(Problems(std::string(ProfileHeader2) +
                       "\r\n#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n1001\r\n6\r\n-7\r\n"),
              ElementsAre("7: U tolerance 1001 is outside 0..1000",
                          "9: Trigger tolerance -7 is outside 0..1000"));
  // Steps follow the decimal separator given.
  EXPECT_EQ(CheckCommandLine("MOUSE MOVE R B 1,5 0 X N", ','), std::nullopt);
  // The lines beyond the first language, and what is wrong with them.
  for (const char* good : {"MIDDLE MOUSE DOWN", "BACK MOUSE UP", "FORWARD MOUSE DOWN",
                           "MOUSE WHEEL -2", "MOUSE HWHEEL 1", "KEY DOWN NUMENTER"}) {
    EXPECT_EQ(CheckCommandLine(good, '.'), std::nullopt) << good;
    EXPECT_THAT(CommandLineWarnings(good), ::testing::IsEmpty()) << good;
  }
  EXPECT_EQ(CheckCommandLine("MOUSE WHEEL up", '.'), "MOUSE WHEEL value 'up' is not a number");
  EXPECT_EQ(CheckCommandLine("MOUSE WHEEL 1 2", '.'), "not a command line: 'MOUSE WHEEL 1 2'");
  EXPECT_EQ(CheckCommandLine("MIDDLE MOUSE", '.'), "not a command line: 'MIDDLE MOUSE'");
  // Block ids are numbers; a word that is not one makes no block line.
  for (const char* bad :
       {"BEGBLOCK abc RPT 2", "BEGBLOCK 0x1 RPT 2", "ENDBLOCK -1", "TRMBLOCK a1"}) {
    EXPECT_EQ(CheckCommandLine(bad, '.'), "not a command line: '" + std::string(bad) + "'");
  }
  // A key released before it is pressed in the same list stays down from that press on.
  EXPECT_THAT(Problems(Tagged({{0, {"KEY UP q", "KEY DOWN q"}}, {2, {"KEY DOWN r", "KEY UP r"}}},
                              {"300", "300", "300", "300"})),
              ElementsAre("4: 'q' is pressed and never released: neither the rest of its list nor "
                          "the Release list of its event has KEY UP q; it stays down until "
                          "Kestrova stops"));
  EXPECT_THAT(CommandLineWarnings("KEY DOWN Ctrl"),
              ElementsAre("'Ctrl' is not a key name: only its first character 'C' is pressed"));
}

// The lines of layers and press types are checked as the slot table's; a LAYER out of range, a
// PROFILE that cannot be loaded and chord lists without a partner are problems; waiting press
// types are notes.
TEST(ProfileCheck, LayersPressTypesAndProfileSwitches) {
  TempDir folder("kestrova-check");
  TSlotTable slots;
  slots[26] = {"LAYER 8", "LAYER 7", "PROFILE other.kpf", "PROFILE missing.kpf"};
  WriteProfileFile(folder.Path() / "other.kpf", TSlotTable{}, Defaults);
  TExtraLists extras;
  extras.SetList(ListId(1, TPressType::Tap, 26), {"KEY DOWN t"});
  extras.SetList(ListId(1, TPressType::Tap, 27), {"KEY UP t"});
  extras.SetList(ListId(0, TPressType::Double, 28), {"DELAY x"});
  extras.SetList(ListId(0, TPressType::Chord, 30), {"NOOP"});
  extras.SetList(ListId(0, TPressType::Chord, 32), {"NOOP"});
  extras.Press.ChordPartners[LayerEvent(0, 16)] = 13;
  const std::string text = FormatProfile(slots, Defaults, DefaultMotion, extras);
  const Lines lines = SplitProfileLines(text);
  const auto lineOf = [&lines](const std::string& line, int after = 0) {
    return std::to_string(std::find(lines.begin() + after, lines.end(), line) - lines.begin() + 1);
  };
  std::vector<std::string> found;
  for (const auto& problem : CheckProfileText(text, '.', folder.Path())) {
    found.push_back(std::to_string(problem.Line) + (problem.Note ? " note: " : ": ") +
                    problem.Text);
  }
  const int extrasStart =
      static_cast<int>(std::find(lines.begin(), lines.end(), "#Command Tag 107") - lines.begin());
  EXPECT_THAT(
      found,
      ElementsAre(
          lineOf("LAYER 8") + ": layer 8 is not 0 to 7",
          lineOf("PROFILE missing.kpf") +
              ": PROFILE missing.kpf: that profile cannot be switched to: Cannot open file " +
              (folder.Path() / "missing.kpf").string() + ": No such file or directory",
          lineOf("DELAY x", extrasStart) + ": DELAY value 'x' is not a number",
          lineOf("DELAY x", extrasStart) +
              " note: Button 2 waits 250 ms after a press for a second one (Double)",
          lineOf("NOOP", extrasStart) +
              ": Button 3 has Chord lists but no partner: a line \"Chord 0 15 <event>\" of the "
              "#Press section names it; they never run",
          std::to_string(std::stoi(lineOf("NOOP", extrasStart)) + 2) +
              " note: Button 4 and Button 1 wait up to 50 ms for each other (a chord) before "
              "their own lists run",
          lineOf("KEY DOWN t", extrasStart) +
              " note: Button 1 in layer 1 waits to know a tap from a hold: released within 250 "
              "ms, its Tap lists run at the release; held that long, its Hold Press list runs "
              "then"));
}

}  // namespace
}  // namespace kestrova

namespace kestrova {
namespace {

// Runs body in a child process as the user nobody; its exit code, or -1 when the machine does
// not allow switching users (the caller skips then).
int AsNobody(const std::function<int()>& body) {
  if (::geteuid() != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 100) return -1;
  return WEXITSTATUS(status);
}

std::string Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ProfileSaving, RefusesWhatTheUserMayNotWriteAndKeepsOwners) {
  TempDir dir;
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);  // 0777: nobody may add
  TSlotTable slots;
  slots[0] = {"KEY DOWN a"};
  const auto readOnly = dir / "read-only.kpf";
  const auto others = dir / "others.kpf";
  const auto shared = dir / "shared.kpf";
  for (const auto& path : {readOnly, others, shared}) std::ofstream(path) << "old";
  ::chmod(readOnly.c_str(), 0444);
  ::chmod(others.c_str(), 0644);
  ::chmod(shared.c_str(), 0666);
  const int code = AsNobody([&] {
    int failures = 0;
    for (const auto& path : {readOnly, others}) {
      try {
        WriteProfileFile(path, slots, {300, 300, 300, 300, 300, 300, 300});
        failures |= 1;
      } catch (const EProfileError& error) {
        if (std::string(error.what()) != "Cannot create file " + path.string()) failures |= 2;
      }
    }
    try {
      WriteProfileFile(shared, slots, {300, 300, 300, 300, 300, 300, 300});
    } catch (const EProfileError&) {
      failures |= 4;
    }
    // The user's own file, made read-only by the user: refused, and left as it was.
    const auto own = dir / "own.kpf";
    std::ofstream(own) << "mine";
    ::chmod(own.c_str(), 0444);
    try {
      WriteProfileFile(own, slots, {300, 300, 300, 300, 300, 300, 300});
      failures |= 8;
    } catch (const EProfileError&) {
    }
    std::ifstream kept(own);
    std::string text;
    kept >> text;
    if (text != "mine") failures |= 16;
    return failures;
  });
  if (code < 0) GTEST_SKIP() << "this machine does not let the test switch to user nobody";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Read(readOnly), "old");
  EXPECT_EQ(Read(others), "old");
  // A file nobody may write but does not own is saved, and stays its owner's.
  EXPECT_THAT(Read(shared), ::testing::HasSubstr("KEY DOWN a"));
  struct stat info {};
  ASSERT_EQ(::stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
}

TEST(ProfileSaving, ALinkIsSavedThroughToItsFile) {
  TempDir dir;
  const auto target = dir / "real.kpf";
  const auto link = dir / "link.kpf";
  std::ofstream(target) << "old";
  ::chmod(target.c_str(), 0640);
  std::filesystem::create_symlink(target, link);
  TSlotTable slots;
  slots[3] = {"DELAY 5"};
  WriteProfileFile(link, slots, {1, 2, 3, 4, 300, 300, 300});
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadProfileFile(link, TSlotTable{}).Slots[3], slots[3]);
  EXPECT_EQ(ReadProfileFile(target, TSlotTable{}).Tolerances,
            (TTolerances{1, 2, 3, 4, 300, 300, 300}));
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace kestrova
