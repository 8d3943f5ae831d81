#pragma once
// The slot table: 33 controller events, each with a Press slot (2 x event) and a Release slot
// (2 x event + 1), and the helpers that read command lines.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

constexpr int EventCount = 33;
constexpr int MaxSlotIndex = 65;
constexpr int SlotCount = MaxSlotIndex + 1;

// Event names in event order; also the captions of the event labels of the main window.
extern const std::array<std::string_view, EventCount> EventNames;

// The control of a game pad read in the pad layout that raises each event, in event order: "A"
// for Button 1, "right stick up" for Rot. Left, "right trigger" for Z Left.
extern const std::array<std::string_view, EventCount> PadControlNames;

// One ordered list of command lines per slot, index = slot.
using TSlotTable = std::array<std::vector<std::string>, SlotCount>;

constexpr int PressSlotOfEvent(int event) {
  return 2 * event;
}

// Event index of an exact (case-sensitive) event name, or -1.
int EventIndexOfName(std::string_view eventName);

// The slot an event name and kind select: the Press slot, plus 1 when kind is "RELEASE".
// -1 for an unknown event name.
int SlotOfEvent(std::string_view eventName, std::string_view kind);

// Every decimal digit of a control name, joined and converted; 0 when that fails.
int GetIndexFromControlName(std::string_view controlName);

// Name of the label of the event owning a slot: "LabelJoy" + the Press slot number.
std::string GetJoyLabel(int slot);

// Word number index of a command line, counted from the end; only the blank separates.
std::string GetCmdParam(std::string_view line, int index);

// True when the text occurs anywhere in the line (case-sensitive).
inline bool Contains(std::string_view line, std::string_view keyword) {
  return line.find(keyword) != std::string_view::npos;
}

// The next free block id: 1 + the largest word 2 of every line containing "BEGBLOCK" in every
// slot (1 when none), formatted with at least three digits. Refills blockIds with those word-2
// texts, sorted as text. Throws EConvertError for a word 2 that is not an integer.
std::string GetNextBlockId(const TSlotTable& slots, std::vector<std::string>& blockIds);

}  // namespace kestrova
