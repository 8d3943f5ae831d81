#pragma once
// Finds what in a profile would not work as its author meant: lines that are no command, empty
// key names, numbers that are not numbers, unclosed blocks, terminates of blocks that do not
// exist, tolerances outside 0..1000, and whatever keeps the file from loading.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"

namespace kestrova {

// A problem keeps a line from running as written; a warning is a line that runs, but surely not
// as its author meant.
struct TProfileProblem {
  int Line;  // 1-based
  std::string Text;
  bool Warning = false;
};

// Every problem and warning of a profile file's text, by slot and line.
std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator);

}  // namespace kestrova
