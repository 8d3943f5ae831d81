// --check: what a profile's lines would do, line by line, without running them.

#include <iostream>

#include "cli/Fail.h"
#include "cli/Runs.h"
#include "mapping/Convert.h"
#include "mapping/ProfileCheck.h"
#include "mapping/TextFile.h"

namespace kestrova {

namespace {

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80         ? 1
                               : (byte >> 5) == 6  ? 2
                               : (byte >> 4) == 14 ? 3
                               : (byte >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += length;
  }
  return true;
}

// A line of the report as the terminal shows the profile's characters: profiles are 8-bit
// text, so a line that is not UTF-8 (an "é" saved as one byte) is shown through Latin-1.
std::string ForTerminal(const std::string& text) {
  if (IsUtf8(text)) return text;
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      shown += c;
    } else {
      shown += static_cast<char>(0xC0 | (byte >> 6));
      shown += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return shown;
}

}  // namespace

int RunCheck(const TCommandLine& options) {
  std::string text;
  try {
    text = ReadRegularFile(options.Profile);
  } catch (const EFileError& error) {
    return Fail(error.what());
  }
  const auto problems = CheckProfileText(text, UserDecimalSeparator(),
                                         std::filesystem::path(options.Profile).parent_path());
  std::size_t errors = 0;
  std::size_t warnings = 0;
  for (const auto& problem : problems) {
    std::cout << options.Profile << ":" << problem.Line << ": "
              << (problem.Note      ? "note: "
                  : problem.Warning ? "warning: "
                                    : "")
              << ForTerminal(problem.Text) << "\n";
    if (!problem.Note) ++(problem.Warning ? warnings : errors);
  }
  if (errors == 0) {
    std::cout << options.Profile << ": OK";
    if (warnings > 0) std::cout << ", " << warnings << " warning(s)";
    std::cout << "\n";
    return 0;
  }
  std::cout << options.Profile << ": " << errors << " problem(s)";
  if (warnings > 0) std::cout << ", " << warnings << " warning(s)";
  std::cout << "\n";
  return 1;
}

}  // namespace kestrova
