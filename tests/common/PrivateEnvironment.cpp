// Linked into every test program: before main, the program's HOME, XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR become folders of the build tree, so that no test reads or writes the user's
// settings, autostart entry or instance sockets, and neither do the programs it starts.

#include <stdlib.h>

namespace {

const bool PrivateEnvironment = [] {
  ::setenv("HOME", KESTROVA_TEST_HOME "/home", 1);
  ::setenv("XDG_CONFIG_HOME", KESTROVA_TEST_HOME "/config", 1);
  ::setenv("XDG_RUNTIME_DIR", KESTROVA_TEST_HOME "/runtime", 1);
  return true;
}();

}  // namespace
