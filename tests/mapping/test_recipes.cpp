// A stick as the mouse: the lines the window writes, and the help's recipe being those lines.

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>

#include "mapping/Recipes.h"
#include "mapping/Slots.h"

namespace kestrova {
namespace {

std::function<std::string()> Ids(int first) {
  return [next = first]() mutable {
    const std::string digits = std::to_string(next++);
    return std::string(3 - std::min<std::size_t>(3, digits.size()), '0') + digits;
  };
}

// The lists as the help shows them: "U Left Press:", then each line indented by four spaces.
std::string AsText(const std::vector<TSlotLines>& slots) {
  std::string text;
  for (const auto& [slot, lines] : slots) {
    text += std::string(EventNames[slot / 2]) + (slot % 2 == 0 ? " Press:\n" : " Release:\n");
    for (const auto& line : lines) text += "    " + line + "\n";
  }
  return text;
}

TEST(StickAsMouse, TheHelpsRecipeIsWhatTheWindowWrites) {
  std::ifstream file(KESTROVA_HELP_HTM);
  const std::string help{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const std::string open = "<pre id=\"stick-as-mouse\">\n";
  const auto start = help.find(open);
  ASSERT_NE(start, std::string::npos);
  const auto end = help.find("</pre>", start);
  EXPECT_EQ(help.substr(start + open.size(), end - start - open.size()),
            AsText(StickAsMouse(TMouseStick::Right, 20, '.', Ids(1))));
}

TEST(StickAsMouse, EachStickItsOwnEventsAxesAndSpeed) {
  struct TCase {
    TMouseStick Stick;
    int Speed;
    char Separator;
    std::vector<int> Slots;
    const char* Across;
    const char* Along;
  };
  const TCase cases[] = {
      {TMouseStick::Left,
       10,
       '.',
       {0, 1, 2, 3, 4, 5, 6, 7},
       "MOUSE MOVE R N 0.02 0 X N",
       "MOUSE MOVE R N 0 0.02 N Y"},
      {TMouseStick::Right,
       1,
       ',',
       {66, 67, 68, 69, 8, 9, 10, 11},
       "MOUSE MOVE R N 0,002 0 U N",
       "MOUSE MOVE R N 0 0,002 N R"},
      {TMouseStick::ZR,
       100,
       '.',
       {12, 13, 14, 15, 8, 9, 10, 11},
       "MOUSE MOVE R N 0.2 0 Z N",
       "MOUSE MOVE R N 0 0.2 N R"},
      {TMouseStick::Left,
       25,
       '.',
       {0, 1, 2, 3, 4, 5, 6, 7},
       "MOUSE MOVE R N 0.05 0 X N",
       "MOUSE MOVE R N 0 0.05 N Y"},
  };
  for (const auto& c : cases) {
    const auto slots = StickAsMouse(c.Stick, c.Speed, c.Separator, Ids(1));
    ASSERT_EQ(slots.size(), 8u);
    for (std::size_t i = 0; i < slots.size(); ++i) {
      EXPECT_EQ(slots[i].first, c.Slots[i]) << i;
      const std::string id = "00" + std::to_string(1 + i / 2);
      if (i % 2 == 1) {
        EXPECT_EQ(slots[i].second, std::vector<std::string>{"TRMBLOCK " + id});
        continue;
      }
      EXPECT_EQ(slots[i].second,
                (std::vector<std::string>{"BEGBLOCK " + id + " RPT 0", i < 4 ? c.Across : c.Along,
                                          "DELAY 10", "ENDBLOCK " + id}))
          << i;
    }
  }
}

}  // namespace
}  // namespace kestrova
