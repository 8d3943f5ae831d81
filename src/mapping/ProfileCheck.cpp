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

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t blank = line.find(' ', start);
    words.push_back(line.substr(start, blank - start));
    if (blank == std::string_view::npos) return words;
    start = blank + 1;
  }
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> choices) {
  return std::find(choices.begin(), choices.end(), word) != choices.end();
}

bool IsBlockId(std::string_view id) {
  return !id.empty() &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

std::optional<std::string> CheckCommandLine(std::string_view line, char decimalSeparator) {
  if (line.empty()) return "empty line";
  const auto words = SplitWords(line);
  const auto& keyword = words[0];
  const std::size_t count = words.size();
  // The two-word keywords.
  const std::string head = count >= 2 ? std::string(words[0]) + " " + std::string(words[1]) : "";
  const auto isAxisCode = [](std::string_view word) {
    return word.size() == 1 && MouseMoveAxisCodes.find(word[0]) != std::string_view::npos;
  };
  int integer = 0;
  double number = 0;

  // Without a key name the executor takes DOWN or UP as the key (a warning says so).
  if (count == 2 && IsOneOf(head, {KeyDownKeyword, KeyUpKeyword})) return std::nullopt;
  if (count == 3 && IsOneOf(head, {KeyDownKeyword, KeyUpKeyword})) {
    if (words[2].empty()) return "empty key name";
    return std::nullopt;
  }
  if (IsOneOf(line, {LeftMouseDownLine, LeftMouseUpLine, RightMouseDownLine, RightMouseUpLine,
                     MiddleMouseDownLine, MiddleMouseUpLine, BackMouseDownLine, BackMouseUpLine,
                     ForwardMouseDownLine, ForwardMouseUpLine, NoOpLine})) {
    return std::nullopt;
  }
  for (const auto keyword : {MouseWheelKeyword, MouseHWheelKeyword}) {
    const auto notches = SoleArgument(line, keyword);
    if (notches.empty()) continue;
    if (!TryStrToInt(notches, integer)) {
      return std::string(keyword) + " value " + Quoted(notches) + " is not a number";
    }
    return std::nullopt;
  }
  if (count == 8 && head == MouseMoveKeyword &&
      IsOneOf(words[2], {MouseMoveAbsolute, MouseMoveRelative}) &&
      IsOneOf(words[3], {MouseMoveBounded, MouseMoveUnbounded}) && isAxisCode(words[6]) &&
      isAxisCode(words[7])) {
    for (const auto& step : {words[4], words[5]}) {
      if (!TryStrToFloat(step, decimalSeparator, number)) {
        return "mouse step " + Quoted(step) + " is not a number";
      }
    }
    return std::nullopt;
  }
  if (keyword == DelayKeyword && count == 2) {
    if (!TryStrToInt(words[1], integer)) {
      return std::string(DelayKeyword) + " value " + Quoted(words[1]) + " is not a number";
    }
    return std::nullopt;
  }
  if (keyword == BeginBlockKeyword && count == 4 && IsBlockId(words[1]) &&
      words[2] == RepeatKeyword) {
    if (!TryStrToInt(words[3], integer)) {
      return "repeat count " + Quoted(words[3]) + " is not a number";
    }
    return std::nullopt;
  }
  if (IsOneOf(keyword, {EndBlockKeyword, TerminateBlockKeyword}) && count == 2 &&
      IsBlockId(words[1])) {
    return std::nullopt;
  }
  return "not a command line: " + Quoted(line);
}

std::vector<std::string> CommandLineWarnings(std::string_view line) {
  std::vector<std::string> warnings;
  const auto words = SplitWords(line);
  const std::size_t count = words.size();
  const std::string head = count >= 2 ? std::string(words[0]) + " " + std::string(words[1]) : "";
  if (IsOneOf(head, {KeyDownKeyword, KeyUpKeyword})) {
    const bool down = head == KeyDownKeyword;
    if (count == 2) {
      warnings.push_back(head + " has no key name: it " + (down ? "presses" : "releases") +
                         " the " + (down ? "Down" : "Up") + " arrow key");
    } else if (count == 3 && words[2].size() > 1 && !IsNamedKey(words[2])) {
      warnings.push_back(Quoted(words[2]) + " is not a key name: only its first character '" +
                         std::string(1, words[2][0]) + "' is " + (down ? "pressed" : "released"));
    }
  }
  int repeats = 0;
  if (words[0] == BeginBlockKeyword && count == 4 && TryStrToInt(words[3], repeats) &&
      repeats < 0) {
    warnings.push_back("the repeat count " + std::to_string(repeats) +
                       " is negative: the block repeats without end, as with 0");
  }
  return warnings;
}

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
