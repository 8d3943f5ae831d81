#include "Layers.h"

#include <sstream>

#include "Convert.h"

namespace kestrova {

const std::array<std::string_view, PressTypeCount> PressTypeNames = {
    "Plain", "Hold", "Tap", "Double", "Chord", "Toggle", "Turbo"};

std::optional<TListAddress> ListAddressOf(long long id) {
  if (id < 0 || id >= 10000LL * LayerCount) return std::nullopt;
  const int layer = static_cast<int>(id / 10000);
  const int type = static_cast<int>(id % 10000 / 1000);
  const int slot = static_cast<int>(id % 1000);
  if (type >= PressTypeCount || slot >= SlotCount) return std::nullopt;
  return TListAddress{layer, static_cast<TPressType>(type), slot};
}

int TPressParams::TurboMs(int layer, int event) const {
  const auto found = TurboPeriods.find(LayerEvent(layer, event));
  return found == TurboPeriods.end() ? DefaultTurboMs : found->second;
}

int TPressParams::ChordPartner(int layer, int event) const {
  const auto found = ChordPartners.find(LayerEvent(layer, event));
  return found == ChordPartners.end() ? -1 : found->second;
}

const std::vector<std::string>& TExtraLists::List(int id) const {
  static const std::vector<std::string> none;
  const auto found = Lists.find(id);
  return found == Lists.end() ? none : found->second;
}

void TExtraLists::SetList(int id, std::vector<std::string> lines) {
  if (lines.empty()) {
    Lists.erase(id);
  } else {
    Lists[id] = std::move(lines);
  }
}

std::vector<std::string> FormatPressLines(const TPressParams& press) {
  std::vector<std::string> lines;
  if (press.HoldMs != DefaultHoldMs) lines.push_back("Hold " + std::to_string(press.HoldMs));
  if (press.DoubleMs != DefaultDoubleMs) {
    lines.push_back("Double " + std::to_string(press.DoubleMs));
  }
  const auto keyed = [&lines](std::string_view word, int key, int value) {
    lines.push_back(std::string(word) + " " + std::to_string(key / EventCount) + " " +
                    std::to_string(key % EventCount) + " " + std::to_string(value));
  };
  for (const auto& [key, partner] : press.ChordPartners) keyed("Chord", key, partner);
  for (const auto& [key, ms] : press.TurboPeriods) keyed("Turbo", key, ms);
  return lines;
}

std::optional<std::string> ReadPressLine(std::string_view line, TPressParams& press) {
  std::vector<std::string> words;
  std::istringstream stream{std::string(line)};
  for (std::string word; stream >> word;) words.push_back(word);
  if (words.empty()) return std::nullopt;  // a blank line says nothing
  std::vector<int> numbers;
  for (std::size_t i = 1; i < words.size(); ++i) {
    int number = 0;
    if (!TryStrToInt(words[i], number)) return Quoted(words[i]) + " is not a whole number";
    numbers.push_back(number);
  }
  const std::string& what = words[0];
  if (what == "Hold" || what == "Double") {
    if (numbers.size() != 1) return what + " takes one number: milliseconds";
    if (numbers[0] < 1 || numbers[0] > MaxPressMs) {
      return what + " time " + std::to_string(numbers[0]) + " is not 1 to " +
             std::to_string(MaxPressMs) + " ms";
    }
    (what == "Hold" ? press.HoldMs : press.DoubleMs) = numbers[0];
    return std::nullopt;
  }
  if (what != "Chord" && what != "Turbo") {
    return Quoted(what) + " is no press setting (Hold, Double, Chord or Turbo)";
  }
  if (numbers.size() != 3)
    return what + " takes three numbers: the layer, the event and " +
           (what == "Chord" ? "the partner event" : "milliseconds");
  const int layer = numbers[0];
  const int event = numbers[1];
  if (layer < 0 || layer >= LayerCount) {
    return "layer " + std::to_string(layer) + " is not 0 to " + std::to_string(LayerCount - 1);
  }
  if (event < 0 || event >= EventCount) {
    return "event " + std::to_string(event) + " is not 0 to " + std::to_string(EventCount - 1);
  }
  if (what == "Chord") {
    const int partner = numbers[2];
    if (partner < 0 || partner >= EventCount) {
      return "partner event " + std::to_string(partner) + " is not 0 to " +
             std::to_string(EventCount - 1);
    }
    if (partner == event) {
      return "a chord of " + std::string(EventNames[event]) + " with itself";
    }
    press.ChordPartners[LayerEvent(layer, event)] = partner;
    return std::nullopt;
  }
  if (numbers[2] < 1 || numbers[2] > MaxTurboMs) {
    return "turbo period " + std::to_string(numbers[2]) + " is not 1 to " +
           std::to_string(MaxTurboMs) + " ms";
  }
  press.TurboPeriods[LayerEvent(layer, event)] = numbers[2];
  return std::nullopt;
}

std::string GetNextBlockId(const TSlotTable& slots, const TExtraLists& extras,
                           std::vector<std::string>& blockIds) {
  if (extras.Lists.empty()) return GetNextBlockId(slots, blockIds);
  TSlotTable all = slots;  // the others' lines join one list: only their block ids count
  for (const auto& [id, lines] : extras.Lists)
    all[0].insert(all[0].end(), lines.begin(), lines.end());
  return GetNextBlockId(all, blockIds);
}

std::string ListStatusLine(int layer, TPressType type, int event, bool release) {
  std::string line = "Executing " + std::string(EventNames[event]);
  if (type != TPressType::Plain) line += " " + std::string(PressTypeNames[static_cast<int>(type)]);
  line += release ? " RELEASE" : " PRESS";
  if (layer != 0) line += " (layer " + std::to_string(layer) + ")";
  return line;
}

}  // namespace kestrova
