// --check: what a profile's lines would do, line by line, without running them.

#include <iostream>

#include "cli/Fail.h"
#include "cli/Runs.h"
#include "mapping/Convert.h"
#include "mapping/ProfileCheck.h"
#include "mapping/TextFile.h"

namespace kestrova {

int RunCheck(const TCommandLine& options) {
  std::string text;
  try {
    text = ReadRegularFile(options.Profile);
  } catch (const EFileError& error) {
    return Fail(error.what());
  }
  const auto problems = CheckProfileText(text, UserDecimalSeparator());
  std::size_t errors = 0;
  std::size_t warnings = 0;
  for (const auto& problem : problems) {
    std::cout << options.Profile << ":" << problem.Line << ": "
              << (problem.Warning ? "warning: " : "") << problem.Text << "\n";
    ++(problem.Warning ? warnings : errors);
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
