#pragma once

#include "Options.h"

namespace kestrova {

// Runs Kestrova with its window until the window closes or Exit is pressed. Returns the exit
// code.
int RunWindow(const TCommandLine& options, int& argc, char** argv);

// --active-window: what the desktop says of the application in front, printed.
int RunActiveWindowQuery(const TCommandLine& options, int& argc, char** argv);

}  // namespace kestrova
