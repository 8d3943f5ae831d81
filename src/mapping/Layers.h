#pragma once
// Layers and press types: more lists per event than the slot table's Press and Release.
//
// A layer is a whole set of event slots; layer 0 is the slot table. A press type (Hold, Tap,
// Double, Chord, Toggle, Turbo) is a further Press and Release list of an event in a layer, used
// only when it has lines. Every list has an id: layer x 10000 + type x 1000 + slot, so that the
// slot table's lists keep their slot numbers (layer 0, Plain) and "#Command Tag 21026" in a
// version-2 profile is layer 2's Hold list of slot 26 (Button 1's Press).
//
// The press settings (a "#Press" section of a version-2 profile, before "#Motion"), one a line:
//   Hold <ms>                         how long a press is held to be a hold (1..10000; 250)
//   Double <ms>                       the second press of a double within (1..10000; 250)
//   Chord <layer> <event> <partner>   the event's chord lists are for it held with partner
//   Turbo <layer> <event> <ms>        the event's turbo lists repeat every ms (1..60000; 100)
// Events are given by their index (Button 1 is 13).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Slots.h"

namespace kestrova {

constexpr int LayerCount = 8;

enum class TPressType : std::uint8_t { Plain, Hold, Tap, Double, Chord, Toggle, Turbo };
constexpr int PressTypeCount = 7;
// "Plain" (the Press and Release lists as ever), "Hold", "Tap", "Double", "Chord", "Toggle",
// "Turbo"
extern const std::array<std::string_view, PressTypeCount> PressTypeNames;
// Whether an event with lines of this type must wait to know what the press is (the editor, the
// help and --check say so): a tap is known at its release, a double's first press when the
// double-press time has passed.
constexpr bool PressTypeWaits(TPressType type) {
  return type == TPressType::Hold || type == TPressType::Tap || type == TPressType::Double;
}

constexpr int DefaultHoldMs = 250;
constexpr int DefaultDoubleMs = 250;
constexpr int DefaultTurboMs = 100;
// Two events pressed within this many milliseconds of each other are a chord.
constexpr int ChordWindowMs = 50;
constexpr int MaxPressMs = 10000;
constexpr int MaxTurboMs = 60000;

struct TListAddress {
  int Layer = 0;
  TPressType Type = TPressType::Plain;
  int Slot = 0;
  bool operator==(const TListAddress&) const = default;
};

constexpr int ListId(int layer, TPressType type, int slot) {
  return layer * 10000 + static_cast<int>(type) * 1000 + slot;
}
constexpr int ListId(const TListAddress& address) {
  return ListId(address.Layer, address.Type, address.Slot);
}
// The list an id names; nothing for an id that names none.
std::optional<TListAddress> ListAddressOf(long long id);
// Lists in one dense range, for arrays: the slot table's slots keep their index.
constexpr int DenseListCount = LayerCount * PressTypeCount * SlotCount;
constexpr int DenseIndex(int layer, TPressType type, int slot) {
  return (layer * PressTypeCount + static_cast<int>(type)) * SlotCount + slot;
}
constexpr int DenseIndex(const TListAddress& address) {
  return DenseIndex(address.Layer, address.Type, address.Slot);
}
constexpr TListAddress AddressOfDense(int dense) {
  return {dense / (PressTypeCount * SlotCount),
          static_cast<TPressType>(dense / SlotCount % PressTypeCount), dense % SlotCount};
}

// An event of a layer, as the settings key their values: layer x EventCount + event.
constexpr int LayerEvent(int layer, int event) {
  return layer * EventCount + event;
}

struct TPressParams {
  int HoldMs = DefaultHoldMs;
  int DoubleMs = DefaultDoubleMs;
  std::map<int, int> ChordPartners;  // LayerEvent -> the partner event
  std::map<int, int> TurboPeriods;   // LayerEvent -> ms
  bool operator==(const TPressParams&) const = default;
  int TurboMs(int layer, int event) const;
  int ChordPartner(int layer, int event) const;  // -1 for none
};

// The lists beyond the slot table (list id -> lines; none is empty) and the press settings.
struct TExtraLists {
  std::map<int, std::vector<std::string>> Lists;
  TPressParams Press;
  bool operator==(const TExtraLists&) const = default;
  bool Empty() const { return Lists.empty() && Press == TPressParams{}; }
  // The lines of a list beyond the slot table; empty for one without lines.
  const std::vector<std::string>& List(int id) const;
  void SetList(int id, std::vector<std::string> lines);  // an empty one is dropped
};
inline const TExtraLists NoExtraLists{};

constexpr std::string_view PressMarker = "#Press";

// The next free block id over every list, the slot table's and the others (see GetNextBlockId).
std::string GetNextBlockId(const TSlotTable& slots, const TExtraLists& extras,
                           std::vector<std::string>& blockIds);

// The section's lines, without the marker; none when every setting is the default.
std::vector<std::string> FormatPressLines(const TPressParams& press);
// Reads one line of the section; the reason it cannot, or nothing.
std::optional<std::string> ReadPressLine(std::string_view line, TPressParams& press);

// The status line of a list that runs: "Executing Button 1 PRESS" in layer 0 as ever, "Executing
// Button 1 Hold RELEASE (layer 2)" for others.
std::string ListStatusLine(int layer, TPressType type, int event, bool release);

}  // namespace kestrova
