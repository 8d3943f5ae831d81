// The window of a build without Qt: there is none, and no session bus to ask a compositor on.

#include <iostream>

#include "app/WindowStartup.h"

namespace kestrova {

int RunWindow(const TCommandLine&, int&, char**, TUniqueFd) {
  std::cerr << "kestrova: this build has no window; run a profile with --headless PROFILE\n";
  return 2;
}

TInFrontQuery BusInFrontQuery(int&, char**, TWindowSourceKind) {
  return {};
}

}  // namespace kestrova
