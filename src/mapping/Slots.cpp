#include "Slots.h"

#include <algorithm>
#include <cctype>

#include "Commands.h"
#include "Convert.h"

namespace kestrova {

const std::array<std::string_view, EventCount> EventNames = {
    "Stick Left",      "Stick Right",     "Stick Up",        "Stick Down",      "Rot. Left",
    "Rot. Right",      "Z Left",          "Z Right",         "POV North",       "POV NE",
    "POV East",        "POV SE",          "POV South",       "Button 1",        "Button 2",
    "Button 3",        "Button 4",        "Button 5",        "Button 6",        "Button 7",
    "Button 8",        "Shift Button 1",  "Shift Button 2",  "Shift Button 3",  "Shift Button 4",
    "Shift Button 5",  "Shift Button 6",  "Shift Button 7",  "Shift Button 8",  "POV SW",
    "POV West",        "POV NW",          "POV Center",      "U Left",          "U Right",
    "V Left",          "V Right",         "Left Trigger",    "Right Trigger",   "Button 10",
    "Button 11",       "Button 12",       "Button 13",       "Button 14",       "Button 15",
    "Button 16",       "Shift Button 10", "Shift Button 11", "Shift Button 12", "Shift Button 13",
    "Shift Button 14", "Shift Button 15", "Shift Button 16", "Touchpad Click",
};

const std::array<std::string_view, EventCount> PadControlNames = {
    "left stick left",
    "left stick right",
    "left stick up",
    "left stick down",
    "right stick up",
    "right stick down",
    "right trigger",
    "left trigger",
    "d-pad up",
    "d-pad up and right",
    "d-pad right",
    "d-pad down and right",
    "d-pad down",
    "A",
    "B",
    "X",
    "Y",
    "left shoulder",
    "right shoulder",
    "Back",
    "Start",
    "A with the left stick pressed in",
    "B with the left stick pressed in",
    "X with the left stick pressed in",
    "Y with the left stick pressed in",
    "left shoulder with the left stick pressed in",
    "right shoulder with the left stick pressed in",
    "Back with the left stick pressed in",
    "Start with the left stick pressed in",
    "d-pad down and left",
    "d-pad left",
    "d-pad up and left",
    "d-pad let go",
    "right stick left",
    "right stick right",
    "sixth axis (no pad control)",
    "sixth axis (no pad control)",
    "left trigger on its own",
    "right trigger on its own",
    "right stick pressed in",
    "Guide",
    "share (misc)",
    "paddle 1",
    "paddle 2",
    "paddle 3",
    "paddle 4",
    "right stick pressed in with the left stick pressed in",
    "Guide with the left stick pressed in",
    "share (misc) with the left stick pressed in",
    "paddle 1 with the left stick pressed in",
    "paddle 2 with the left stick pressed in",
    "paddle 3 with the left stick pressed in",
    "paddle 4 with the left stick pressed in",
    "touchpad pressed in",
};

int EventIndexOfName(std::string_view eventName) {
  for (int event = 0; event < EventCount; ++event) {
    if (EventNames[event] == eventName) return event;
  }
  return -1;
}

int SlotOfEvent(std::string_view eventName, std::string_view kind) {
  const int event = EventIndexOfName(eventName);
  if (event < 0) return -1;
  return PressSlotOfEvent(event) + (kind == "RELEASE" ? 1 : 0);
}

int GetIndexFromControlName(std::string_view controlName) {
  std::string digits;
  for (char c : controlName) {
    if (c >= '0' && c <= '9') digits += c;
  }
  int value = 0;
  return TryStrToInt(digits, value) ? value : 0;
}

std::string GetCmdParam(std::string_view line, int index) {
  std::string word;
  int counter = 0;
  for (std::size_t i = line.size(); i-- > 0;) {
    if (line[i] == ' ') {
      if (counter == index) break;
      word.clear();
      ++counter;
    } else {
      word.push_back(line[i]);
    }
  }
  std::reverse(word.begin(), word.end());
  return word;
}

std::string GetNextBlockId(const TSlotTable& slots, std::vector<std::string>& blockIds) {
  blockIds.clear();
  for (const auto& slot : slots) {
    for (const auto& line : slot) {
      if (Contains(line, BeginBlockKeyword)) blockIds.push_back(GetCmdParam(line, 2));
    }
  }
  long long largest = 0;
  for (const auto& id : blockIds) largest = std::max<long long>(largest, StrToInt(id));
  std::sort(blockIds.begin(), blockIds.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) <
             std::tolower(static_cast<unsigned char>(y));
    });
  });
  return FormatMinDigits(largest + 1);
}

}  // namespace kestrova
