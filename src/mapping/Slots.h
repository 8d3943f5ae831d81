#pragma once
// The slot table: the controller events, each with a Press slot (2 x event) and a Release slot
// (2 x event + 1), and the helpers that read command lines. The first 33 events (slots 0..65) are
// those of every joystick; the pad's further controls follow them (slots 66 and up).

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// The events of the main window's rows and of a version-1 profile.
constexpr int BaseEventCount = 33;
constexpr int BaseSlotCount = 2 * BaseEventCount;
constexpr int BaseMaxSlotIndex = BaseSlotCount - 1;
// U Left, U Right, V Left, V Right, Left Trigger, Right Trigger, Button 10..16, Shift Button
// 10..16, Touchpad Click.
constexpr int ExtendedEventCount = 21;
constexpr int EventCount = BaseEventCount + ExtendedEventCount;
constexpr int SlotCount = 2 * EventCount;
constexpr int MaxSlotIndex = SlotCount - 1;
// The buttons that raise events of their own; button 9 is the shift button.
constexpr int ShiftButton = 9;
constexpr int LastMappedButton = 16;
// A pad's touchpad click, read as button 17: an event of its own, with or without shift.
constexpr int TouchpadButton = 17;

// Event names in event order; the first 33 are also the captions of the main window's rows.
extern const std::array<std::string_view, EventCount> EventNames;

// The control of a game pad read in the pad layout that raises each event, in event order: "A"
// for Button 1, "right stick up" for Rot. Left, "right trigger" for Z Left.
extern const std::array<std::string_view, EventCount> PadControlNames;

constexpr bool IsExtendedSlot(int slot) {
  return slot >= BaseSlotCount;
}

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
