#pragma once
// The runs that need the window's libraries; a build without Qt has stand-ins (NoWindow.cpp).

#include "cli/Options.h"
#include "desktop/AppFollower.h"
#include "platform/UniqueFd.h"

namespace kestrova {

// Runs Kestrova with its window until the window closes or Exit is pressed. Returns the exit
// code. claim: the instance's claim for its controller (see ClaimInstance), held until the end;
// an invalid one is claimed again before listening.
int RunWindow(const TCommandLine& options, int& argc, char** argv, TUniqueFd claim = {});

// Asks the compositor of that kind on the session bus (KWin, GNOME Shell) for the application in
// front, with an event loop of its own for the time of the question; empty for the others and in
// a build without Qt.
TInFrontQuery BusInFrontQuery(int& argc, char** argv, TWindowSourceKind kind);

}  // namespace kestrova
