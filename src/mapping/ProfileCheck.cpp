#include "ProfileCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "Commands.h"
#include "Convert.h"
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

}  // namespace

std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator) {
  TLoadedProfile profile;
  try {
    profile = ParseProfile(text, TSlotTable{});
  } catch (const EProfileMismatch&) {
    return {{1, "not a Kestrova profile: the first line is neither \"" +
                    std::string(ProfileHeader) + "\" nor \"" + std::string(ProfileHeader2) + "\""}};
  } catch (const EProfileError& error) {
    return {{error.Line(), WithMeaning(error)}};
  }

  std::vector<TProfileProblem> problems;
  std::set<std::string> definedIds;
  for (int slot = 0; slot < SlotCount; ++slot) {
    for (const auto& line : profile.Slots[slot]) {
      if (StartsWithWord(line, BeginBlockKeyword)) definedIds.insert(GetCmdParam(line, 2));
    }
  }
  for (int slot = 0; slot < SlotCount; ++slot) {
    const auto& lines = profile.Slots[slot];
    const TLastRelease releases = LastReleases(lines);
    const TLastRelease releaseListKeys =
        slot % 2 == 0 ? LastReleases(profile.Slots[slot + 1]) : TLastRelease{};
    std::set<std::string> warnedKeys;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int lineNumber = profile.SourceLines[slot][i];
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
          !(slot % 2 == 0 && releaseListKeys.contains(key)) && warnedKeys.insert(key).second) {
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
      }
    }
  }
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
