// Key names, Shift and the mouse primitives on a recording injector, and what is released at the
// end.

#include <gtest/gtest.h>

#include <cstdio>

#include "common/KeyTable.h"
#include "exec/inputsynth.h"
#include "fakes/RecordingInjector.h"

namespace kestrova {
namespace {

using Calls = std::vector<std::string>;
using testing::ShiftedCharacters;
using testing::TShiftedCharacter;

TEST(KeyNames, NamedKeysAndCharacters) {
  TRecordingInjector injector(1024, 768, {0, 0});
  EXPECT_EQ(KeyNameToVk(injector, "F1"), 112);
  EXPECT_EQ(KeyNameToVk(injector, "F10"), 121);
  EXPECT_EQ(KeyNameToVk(injector, "F12"), 123);
  EXPECT_EQ(KeyNameToVk(injector, "F25") & 0xFF, 'F');   // not a named key: its first character
  EXPECT_EQ(KeyNameToVk(injector, "Ctrl") & 0xFF, 'C');  // names are exact
  EXPECT_EQ(KeyNameToVk(injector, "SPACE"), 32);
  EXPECT_EQ(KeyNameToVk(injector, "space"), 'S');  // names are upper-case only
  EXPECT_EQ(KeyNameToVk(injector, "ESCAPE"), 27);
  EXPECT_EQ(KeyNameToVk(injector, "ESC"), 27);
  EXPECT_EQ(KeyNameToVk(injector, "ALT"), 18);
  EXPECT_EQ(KeyNameToVk(injector, "BS"), 8);
  EXPECT_EQ(KeyNameToVk(injector, "ENTER"), 13);
  EXPECT_EQ(KeyNameToVk(injector, "LEFT"), 37);
  EXPECT_EQ(KeyNameToVk(injector, "DOWN"), 40);
  EXPECT_EQ(KeyNameToVk(injector, "a"), 0x41);
  EXPECT_EQ(KeyNameToVk(injector, "A"), 0x141);  // the layout's shift state rides in the high byte
  EXPECT_EQ(KeyNameToVk(injector, "!") & 0xFF, '1');
  EXPECT_EQ(KeyNameToVk(injector, "?") & 0xFF, 0xBF);
  EXPECT_EQ(KeyNameToVk(injector, "\xE9"), 0xFFFF);  // not on the layout: VkKeyScanA's -1
}

TEST(KeyNames, NeedsShiftOnTheShiftedLayerOnly) {
  for (const char* name : {"A", "Z", "?", "~", "!", "\"", "(", "_", "{", "|", "@", "^"}) {
    EXPECT_TRUE(NeedsShift(name)) << name;
  }
  for (const char* name :
       {"a", "1", "/", "'", "`", "-", "=", "[", "\\", " ", "SHIFT", "F1", "", "AB", "\x7F"}) {
    EXPECT_FALSE(NeedsShift(name)) << name;
  }
}

// Every character of the shifted set: Shift, then its own key, released in the reverse order.
TEST(Keys, EveryShiftedCharacterComesWithShift) {
  TRecordingInjector injector(1024, 768, {0, 0});
  for (const TShiftedCharacter& shifted : ShiftedCharacters()) {
    const std::string name(1, shifted.Character);
    PressKey(injector, name);
    ReleaseKey(injector, name);
    const auto calls = injector.TakeCalls();
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", shifted.Vk);
    ASSERT_EQ(calls.size(), 4u) << name;
    EXPECT_EQ(calls[0], "key 0x10 (SHIFT) down") << name;
    EXPECT_TRUE(calls[1].starts_with(std::string("key ") + code + " (") &&
                calls[1].ends_with(") down"))
        << name << ": " << calls[1];
    EXPECT_TRUE(calls[2].starts_with(std::string("key ") + code + " (") &&
                calls[2].ends_with(") up"))
        << name << ": " << calls[2];
    EXPECT_EQ(calls[3], "key 0x10 (SHIFT) up") << name;
  }
}

TEST(Keys, UpperCaseLettersComeWithShift) {
  TRecordingInjector injector(1024, 768, {0, 0});
  PressKey(injector, "A");
  ReleaseKey(injector, "A");
  PressKey(injector, "a");
  ReleaseKey(injector, "a");
  PressKey(injector, "F1");
  ReleaseKey(injector, "SHIFT");
  PressKey(injector, "");  // no key event for an empty name
  ReleaseKey(injector, "");
  EXPECT_EQ(
      injector.Calls(),
      (Calls{"key 0x10 (SHIFT) down", "key 0x41 (A) down", "key 0x41 (A) up", "key 0x10 (SHIFT) up",
             "key 0x41 (A) down", "key 0x41 (A) up", "key 0x70 (F1) down", "key 0x10 (SHIFT) up"}));
}

TEST(Mouse, AbsoluteMoveRoundsHalvesToEven) {
  TRecordingInjector injector(1024, 768, {0, 0});
  MoveMouseAbsolute(injector, 512, 384);  // 32767.5 -> 32768
  MoveMouseAbsolute(injector, 0, 0);
  MoveMouseAbsolute(injector, 1023, 767);
  MoveMouseAbsolute(injector, 5000, 5000);  // off the screen: sent as computed
  EXPECT_EQ(injector.Calls(), (Calls{"mouse 0x8001 32768 32768", "mouse 0x8001 0 0",
                                     "mouse 0x8001 65471 65450", "mouse 0x8001 319995 426660"}));
}

TEST(Mouse, ScreensThatDoNotDivide65536) {
  // 64 x 65535 / 1920 is exactly 2184.5: halves go to even (2184), not up. 540 x 65535 / 1080 is
  // 32767.5, which goes up to the even 32768: the two rules differ only on the first.
  TRecordingInjector wide(1920, 1080, {0, 0});
  MoveMouseAbsolute(wide, 64, 540);
  EXPECT_EQ(wide.Calls(), (Calls{"mouse 0x8001 2184 32768"}));
  // Relative moves truncate toward zero, axes apart: (683 + 10) x 65536 / 1366 = 33247.77 and
  // (384 - 7) x 65536 / 768 = 32170.67; a step off the left edge stays negative (-143.93).
  TRecordingInjector laptop(1366, 768, {683, 384});
  MoveMouseRelative(laptop, 10, -7);
  TRecordingInjector edge(1366, 768, {0, 0});
  MoveMouseRelative(edge, -3, 0);
  EXPECT_EQ(laptop.Calls(), (Calls{"mouse 0x8001 33247 32170"}));
  EXPECT_EQ(edge.Calls(), (Calls{"mouse 0x8001 -143 0"}));
}

TEST(Mouse, RelativeMoveGoesThroughTheCursor) {
  TRecordingInjector injector(1024, 768, {100, 100});
  MoveMouseRelative(injector, 10, -5);
  EXPECT_EQ(injector.Calls(), (Calls{"mouse 0x8001 7040 8106"}));
  TPoint cursor;
  injector.GetCursorPos(cursor);
  EXPECT_EQ(cursor.x, 110);
  EXPECT_EQ(cursor.y, 95);
}

TEST(Mouse, ButtonsClickWhereTheCursorIs) {
  TRecordingInjector injector(1024, 768, {300, 200});
  MouseButton(injector, "LEFT", "PRESS");
  MouseButton(injector, "LEFT", "RELEASE");
  MouseButton(injector, "RIGHT", "PRESS");
  MouseButton(injector, "RIGHT", "RELEASE");
  MouseButton(injector, "left", "PRESS");  // anything but "LEFT" is the right button
  EXPECT_EQ(injector.Calls(),
            (Calls{"mouse 0x8002 300 200", "mouse 0x8004 300 200", "mouse 0x8008 300 200",
                   "mouse 0x8010 300 200", "mouse 0x8008 300 200"}));
  TPoint cursor;
  injector.GetCursorPos(cursor);
  EXPECT_EQ(cursor.x, 300);
  EXPECT_EQ(cursor.y, 200);
}

TEST(Mouse, ZeroScreenSizeDoesNotDivideByZero) {
  TRecordingInjector injector(0, 0, {0, 0});
  MoveMouseAbsolute(injector, 2, 3);
  MoveMouseRelative(injector, 1, 1);
  EXPECT_EQ(injector.Calls(), (Calls{"mouse 0x8001 131070 196605", "mouse 0x8001 65536 65536"}));
}

TEST(HeldInput, ReleasedNewestFirstAndOnlyOnce) {
  TRecordingInjector injector(1024, 768, {7, 8});
  PressKey(injector, "A");  // shift + a
  PressKey(injector, "b");
  ReleaseKey(injector, "b");
  PressKey(injector, "F1");
  MouseButton(injector, "RIGHT", "PRESS");
  MouseButton(injector, "LEFT", "PRESS");
  MouseButton(injector, "LEFT", "RELEASE");
  injector.TakeCalls();
  EXPECT_EQ(injector.HeldKeys(), (std::vector<std::uint8_t>{0x10, 0x41, 0x70}));
  injector.ReleaseHeld();
  EXPECT_EQ(injector.TakeCalls(), (Calls{"key 0x70 (F1) up", "key 0x41 (A) up",
                                         "key 0x10 (SHIFT) up", "mouse 0x8010 7 8"}));
  injector.ReleaseHeld();
  EXPECT_TRUE(injector.Calls().empty());
}

}  // namespace
}  // namespace kestrova
