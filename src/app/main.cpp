// Kestrova's entry point: the window, or the command line.

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/WindowStartup.h"
#include "cli/Options.h"
#include "cli/Runs.h"
#include "desktop/Instance.h"

namespace {

// The exit code when a running instance took the request, or nothing to start a window.
std::optional<int> HandOverToRunningInstance(const kestrova::TCommandLine& options) {
  using namespace kestrova;
  try {
    const std::string socket = InstanceSocketPath(options.Joystick);
    TInstanceRequest request;
    if (options.Quit) {
      request.Kind = TInstanceRequest::Quit;
    } else if (!options.Profile.empty()) {
      request.Kind = TInstanceRequest::Load;
      request.Force = options.Force;
      request.Path = std::filesystem::absolute(options.Profile).lexically_normal().string();
    }
    const auto reply = SendInstanceRequest(socket, request);
    if (!reply) {
      if (!options.Quit) return std::nullopt;
      std::cerr << "kestrova: no Kestrova runs for controller " << options.Joystick << "\n";
      return 1;
    }
    (reply->Ok ? std::cout : std::cerr) << "kestrova: " << reply->Text << "\n";
    return reply->Ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace

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
  if (options.Monitor) return RunMonitor(options);
  if (options.ActiveWindow) return RunActiveWindow(KWinInFrontQuery(argc, argv));
  // The window, --load and --quit go to the running instance of this controller when there is
  // one (a replay is a run of its own).
  if (!options.Headless && !options.Check && options.Replay.empty()) {
    if (const auto code = HandOverToRunningInstance(options)) return *code;
  }
  if (options.Check) return RunCheck(options);
  if (options.Headless) return RunHeadless(options);
  return RunWindow(options, argc, argv);
}
