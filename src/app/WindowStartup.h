#pragma once
// The runs that need the window's libraries; a build without Qt has stand-ins (NoWindow.cpp).

#include "cli/Options.h"
#include "desktop/AppFollower.h"

namespace kestrova {

// Runs Kestrova with its window until the window closes or Exit is pressed. Returns the exit
// code.
int RunWindow(const TCommandLine& options, int& argc, char** argv);

// Asks KWin for the application in front, with an event loop of its own for the time of the
// question; empty in a build without Qt.
TInFrontQuery KWinInFrontQuery(int& argc, char** argv);

}  // namespace kestrova
