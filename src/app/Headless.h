#pragma once
// Kestrova without a window: run a profile, list controllers, check a profile. Each returns the
// process exit code: 0 success, 1 problems found by --check, 2 bad input or no display.

#include "Options.h"

namespace kestrova {

int RunHeadless(const TOptions& options);
int RunListControllers(const TOptions& options);
int RunCheck(const TOptions& options);

// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), '.' when unknown.
char UserDecimalSeparator();

}  // namespace kestrova
