#pragma once
// Finds what in a profile would not work as its author meant: lines that are no command, empty
// key names, numbers that are not numbers, unclosed blocks, terminates of blocks that do not
// exist, tolerances outside 0..1000, and whatever keeps the file from loading.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// A problem keeps a line from running as written; a warning is a line that runs, but surely not
// as its author meant.
struct TProfileProblem {
  int Line;  // 1-based
  std::string Text;
  bool Warning = false;
};

// The problem with one command line, if any. Steps are read with the given decimal separator.
std::optional<std::string> CheckCommandLine(std::string_view line, char decimalSeparator);

// What is surprising about a line that runs: how the executor will read it.
std::vector<std::string> CommandLineWarnings(std::string_view line);

// Every problem and warning of a profile file's text, by slot and line.
std::vector<TProfileProblem> CheckProfileText(std::string_view text, char decimalSeparator);

}  // namespace kestrova
