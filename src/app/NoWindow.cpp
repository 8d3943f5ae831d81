// The window of a build without Qt: there is none.

#include <iostream>

#include "WindowMain.h"

namespace kestrova {

int RunWindow(const TCommandLine&, int&, char**) {
  std::cerr << "kestrova: this build has no window; run a profile with --headless PROFILE\n";
  return 2;
}

}  // namespace kestrova
