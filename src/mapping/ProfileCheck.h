#pragma once
// Finds what in a profile would not work as its author meant: lines that are no command, empty
// key names, numbers that are not numbers, unclosed blocks, terminates of blocks that do not
// exist, tolerances outside 0..1000, and whatever keeps the file from loading.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct TProfileProblem {
  int Line;  // 1-based
  std::string Text;
};

// The problem with one command line, if any. Steps are read with the given decimal separator.
std::optional<std::string> CheckCommandLine(std::string_view line, char decimalSeparator);

// Every problem of a profile file's text, in line order.
std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator);

}  // namespace kestrova
