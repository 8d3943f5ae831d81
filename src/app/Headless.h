#pragma once
// Kestrova without a window: run a profile, list controllers, check a profile. Each returns the
// process exit code: 0 success, 1 problems found by --check, 2 bad input or no display.

#include "Options.h"
#include "platform/ActiveWindow.h"

namespace kestrova {

int RunHeadless(const TCommandLine& options);
int RunListControllers(const TCommandLine& options);
int RunCheck(const TCommandLine& options);
// Prints the controller's changes ("<t> axis X 12000 -> -316 Left") until a stop signal or the
// replay's end.
int RunMonitor(const TCommandLine& options);
// Prints what the X display says of the application in front now.
int RunActiveWindow(const TCommandLine& options);
int PrintActiveWindow(const TActiveWindow& active);

}  // namespace kestrova
