#pragma once
// Kestrova without a window: run a profile, watch a controller, check a profile, list
// controllers, tell the application in front. Each returns the process exit code: 0 success,
// 1 problems found by --check, 2 bad input or no display.

#include "cli/Options.h"
#include "desktop/AppFollower.h"

namespace kestrova {

// Runs the profile until a stop signal, the replay's end or (print output) the reader's end.
int RunHeadless(const TCommandLine& options);
// Prints the controller's changes ("<t> axis X 12000 -> -316 Left") until a stop signal or the
// replay's end.
int RunMonitor(const TCommandLine& options);
int RunCheck(const TCommandLine& options);
int RunListControllers(const TCommandLine& options);
// Takes the gyro's bias of the controller from two seconds of its samples (the pad held still)
// and keeps it for that pad; 1 when the controller has no gyro that can be read.
int RunCalibrateGyro(const TCommandLine& options);
// Prints what the desktop says of the application in front now: its compositor first (sway and
// Hyprland on their sockets; KWin and GNOME Shell through busQuery, which gives an empty query
// where this build cannot ask them), then the X display.
int RunActiveWindow(const std::function<TInFrontQuery(TWindowSourceKind)>& busQuery);

}  // namespace kestrova
