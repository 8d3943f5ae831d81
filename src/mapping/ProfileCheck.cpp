#include "ProfileCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "Commands.h"
#include "Convert.h"
#include "Layers.h"
#include "Profile.h"
#include "Slots.h"

namespace kestrova {

namespace {

bool StartsWithWord(std::string_view line, std::string_view keyword) {
  return line.starts_with(keyword) && line.size() > keyword.size() && line[keyword.size()] == ' ';
}

// The key a well-formed KEY DOWN line presses, else "".
std::string PressedKey(const std::string& line) {
  if (!StartsWithWord(line, KeyDownKeyword)) return "";
  return GetCmdParam(line, 0);
}

// For each key of a slot, the index of the last KEY UP of it.
using TLastRelease = std::map<std::string, std::size_t>;
TLastRelease LastReleases(const std::vector<std::string>& lines) {
  TLastRelease last;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (StartsWithWord(lines[i], KeyUpKeyword)) last[GetCmdParam(lines[i], 0)] = i;
  }
  return last;
}

// A PROFILE line's file: it must be a profile that can be read.
void CheckProfileSwitch(const std::string& file, const std::filesystem::path& folder,
                        int lineNumber, std::vector<TProfileProblem>& problems) {
  const std::filesystem::path path = std::filesystem::path(file).is_absolute() || folder.empty()
                                         ? std::filesystem::path(file)
                                         : folder / file;
  try {
    ReadProfileFile(path, TSlotTable{});
  } catch (const EProfileError& error) {
    problems.push_back(
        {lineNumber, std::string(ProfileKeyword) + " " + file +
                         ": that profile cannot be switched to: " + WithMeaning(error)});
  }
}

// Where press types make an event wait, and chord lists that no chord can run.
void PressNotes(const TLoadedProfile& profile, std::vector<TProfileProblem>& problems) {
  const TPressParams& press = profile.Extras.Press;
  // Each layer's event with the types it has lists of, and the first file line of each.
  std::map<int, std::map<TPressType, int>> typesOf;
  for (const auto& [id, lines] : profile.Extras.Lists) {
    const TListAddress list = *ListAddressOf(id);
    const auto source = profile.ExtraSourceLines.find(id);
    const int line = source == profile.ExtraSourceLines.end() || source->second.empty()
                         ? 1
                         : source->second.front();
    auto& first = typesOf[LayerEvent(list.Layer, list.Slot / 2)][list.Type];
    first = first == 0 ? line : std::min(first, line);
  }
  for (const auto& [key, types] : typesOf) {
    const int layer = key / EventCount;
    const int event = key % EventCount;
    std::string name(EventNames[event]);
    if (layer != 0) name += " in layer " + std::to_string(layer);
    const auto has = [&types](TPressType type) { return types.contains(type); };
    const auto lineOf = [&types](TPressType type) { return types.at(type); };
    if (has(TPressType::Tap) || has(TPressType::Hold)) {
      const TPressType type = has(TPressType::Tap) ? TPressType::Tap : TPressType::Hold;
      problems.push_back({lineOf(type),
                          name + " waits to know a tap from a hold: released within " +
                              std::to_string(press.HoldMs) +
                              " ms, its Tap lists run at the release; held " +
                              "that long, its Hold Press list runs then",
                          false, true});
    }
    if (has(TPressType::Double)) {
      problems.push_back({lineOf(TPressType::Double),
                          name + " waits " + std::to_string(press.DoubleMs) +
                              " ms after a press for a second one (Double)" +
                              (has(TPressType::Tap) ? " before its Tap lists run" : ""),
                          false, true});
    }
    if (has(TPressType::Chord)) {
      const int partner = press.ChordPartner(layer, event);
      if (partner < 0) {
        problems.push_back(
            {lineOf(TPressType::Chord), name + " has Chord lists but no partner: a line \"Chord " +
                                            std::to_string(layer) + " " + std::to_string(event) +
                                            " <event>\" of the " + std::string(PressMarker) +
                                            " section names it; they never run"});
      } else {
        problems.push_back({lineOf(TPressType::Chord),
                            name + " and " + std::string(EventNames[partner]) + " wait up to " +
                                std::to_string(ChordWindowMs) +
                                " ms for each other (a chord) before their own lists run",
                            false, true});
      }
    }
  }
}

}  // namespace

std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator,
                                              const std::filesystem::path& folder) {
  TLoadedProfile profile;
  try {
    profile = ParseProfile(text, TSlotTable{});
  } catch (const EProfileMismatch&) {
    return {{1, "not a Kestrova profile: the first line is neither \"" +
                    std::string(ProfileHeader) + "\" nor \"" + std::string(ProfileHeader2) + "\""}};
  } catch (const EProfileError& error) {
    return {{error.Line(), WithMeaning(error)}};
  }

  // Every list with its lines: the slot table's, then those of layers and press types.
  struct TList {
    int Id;
    const std::vector<std::string>* Lines;
    const std::vector<int>* Source;
  };
  std::vector<TList> lists;
  for (int slot = 0; slot < SlotCount; ++slot) {
    lists.push_back({slot, &profile.Slots[slot], &profile.SourceLines[slot]});
  }
  for (const auto& [id, lines] : profile.Extras.Lists) {
    lists.push_back({id, &lines, &profile.ExtraSourceLines[id]});
  }
  const auto linesOf = [&profile](int id) -> const std::vector<std::string>& {
    return id < SlotCount ? profile.Slots[id] : profile.Extras.List(id);
  };

  std::vector<TProfileProblem> problems;
  std::set<std::string> definedIds;
  for (const TList& list : lists) {
    for (const auto& line : *list.Lines) {
      if (StartsWithWord(line, BeginBlockKeyword)) definedIds.insert(GetCmdParam(line, 2));
    }
  }
  for (const TList& list : lists) {
    const auto& lines = *list.Lines;
    const bool pressList = list.Id % 2 == 0;
    const TLastRelease releases = LastReleases(lines);
    const TLastRelease releaseListKeys =
        pressList ? LastReleases(linesOf(list.Id + 1)) : TLastRelease{};
    std::set<std::string> warnedKeys;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int lineNumber = (*list.Source)[i];
      const std::string& line = lines[i];
      if (auto problem = CheckCommandLine(line, decimalSeparator)) {
        problems.push_back({lineNumber, *problem});
        continue;
      }
      for (auto& warning : CommandLineWarnings(line)) {
        problems.push_back({lineNumber, std::move(warning), true});
      }
      // A key released after its press in the same list, or (for a Press list) anywhere in the
      // event's Release list, is let go; warned once per key and list.
      const std::string key = PressedKey(line);
      const auto later = releases.find(key);
      if (!key.empty() && (later == releases.end() || later->second < i) &&
          !(pressList && releaseListKeys.contains(key)) && warnedKeys.insert(key).second) {
        problems.push_back({lineNumber,
                            Quoted(key) + " is pressed and never released: neither the rest of " +
                                "its list nor the Release list of its event has " + KeyUpLine(key) +
                                "; it stays down until Kestrova stops",
                            true});
      }
      if (StartsWithWord(line, BeginBlockKeyword)) {
        const std::string id = GetCmdParam(line, 2);
        const std::string end = EndBlockLine(id);
        const bool closed = std::any_of(lines.begin() + static_cast<long>(i) + 1, lines.end(),
                                        [&end](const std::string& later) { return later == end; });
        if (!closed) {
          problems.push_back({lineNumber, std::string(BeginBlockKeyword) + " " + id + " has no " +
                                              end + " after it in its slot"});
        }
      } else if (StartsWithWord(line, TerminateBlockKeyword)) {
        const std::string id = GetCmdParam(line, 0);
        if (!definedIds.contains(id)) {
          problems.push_back({lineNumber, TerminateBlockLine(id) + " stops a block no " +
                                              std::string(BeginBlockKeyword) + " defines"});
        }
      } else if (const auto file = ProfileFileOf(line); !file.empty()) {
        CheckProfileSwitch(std::string(file), folder, lineNumber, problems);
      }
    }
  }
  PressNotes(profile, problems);
  const int tolerancesRead = profile.Version == 1 ? BaseToleranceCount : ToleranceCount;
  for (int axis = 0; axis < tolerancesRead; ++axis) {
    const int tolerance = profile.Tolerances[axis];
    if (tolerance < 0 || tolerance > 1000) {
      problems.push_back({profile.TolerancesLine + 1 + axis,
                          std::string(ToleranceNames[axis]) + " tolerance " +
                              std::to_string(tolerance) + " is outside 0..1000"});
    }
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const auto& a, const auto& b) { return a.Line < b.Line; });
  return problems;
}

}  // namespace kestrova
