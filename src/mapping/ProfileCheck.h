#pragma once
// Finds what in a profile would not work as its author meant: lines that are no command, empty
// key names, numbers that are not numbers, unclosed blocks, terminates of blocks that do not
// exist, tolerances outside 0..1000, layers out of range, profiles to switch to that cannot be
// read, chord lists without a partner, and whatever keeps the file from loading; and notes where
// a press type makes an event wait to know what a press is.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

namespace kestrova {

// A problem keeps a line from running as written; a warning is a line that runs, but surely not
// as its author meant.
// A note tells how a list will run where that is not plain from its lines.
struct TProfileProblem {
  int Line;  // 1-based
  std::string Text;
  bool Warning = false;
  bool Note = false;
};

// Every problem, warning and note of a profile file's text, by line. PROFILE lines name files
// relative to folder (the profile's own).
std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator,
                                              const std::filesystem::path& folder = {});

}  // namespace kestrova
