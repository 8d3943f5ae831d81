// Kestrova's entry point: the window, or the command line.

#include <iostream>
#include <string>
#include <vector>

#include "Headless.h"
#include "Options.h"
#include "WindowMain.h"

int main(int argc, char** argv) {
  using namespace kestrova;
  TCommandLine options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const EUsage& error) {
    std::cerr << "kestrova: " << error.what() << "\nTry 'kestrova --help'.\n";
    return 2;
  }
  if (options.Help) {
    std::cout << HelpText;
    return 0;
  }
  if (options.Version) {
    std::cout << VersionText;
    return 0;
  }
  if (options.JoystickGiven && !options.Replay.empty()) {
    std::cerr << "kestrova: --joystick is ignored with --replay: the timeline drives the virtual "
                 "controller\n";
  }
  if (options.ListControllers) return RunListControllers(options);
  if (options.Check) return RunCheck(options);
  if (options.Headless) return RunHeadless(options);
  return RunWindow(options, argc, argv);
}
