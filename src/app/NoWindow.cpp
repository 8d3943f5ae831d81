// The window of a build without Qt: there is none.

#include <iostream>

#include "Headless.h"
#include "WindowMain.h"

namespace kestrova {

int RunWindow(const TCommandLine&, int&, char**) {
  std::cerr << "kestrova: this build has no window; run a profile with --headless PROFILE\n";
  return 2;
}

// Without Qt's bus library, the X display alone.
int RunActiveWindowQuery(const TCommandLine& options, int&, char**) {
  return RunActiveWindow(options);
}

}  // namespace kestrova
