// Kestrova's entry point: the window, or the command line.

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/WindowStartup.h"
#include "cli/Options.h"
#include "cli/Runs.h"
#include "desktop/Instance.h"

namespace {

// A start of the window: it hands its request (show, load, quit) over to the running instance of
// its controller, or becomes that instance. ExitCode is set when it handed over (or failed to);
// else the window starts, holding Claim for as long as it runs (an invalid one where the private
// folder cannot be used: the window then starts without its socket and says why).
struct TStartDecision {
  std::optional<int> ExitCode;
  kestrova::TUniqueFd Claim;
};

TStartDecision ClaimOrHandOver(const kestrova::TCommandLine& options) {
  using namespace kestrova;
  TInstanceRequest request;
  if (options.Quit) {
    request.Kind = TInstanceRequest::Quit;
    request.Force = options.Force;
  } else if (!options.Profile.empty()) {
    request.Kind = TInstanceRequest::Load;
    request.Force = options.Force;
    request.Path = std::filesystem::absolute(options.Profile).lexically_normal().string();
  }
  const auto fail = [](const std::string& message) {
    std::cerr << "kestrova: " << message << "\n";
    return TStartDecision{1, {}};
  };
  const std::string noInstance =
      "no Kestrova runs for controller " + std::to_string(options.Joystick);
  std::string socket;
  TUniqueFd claim;
  try {
    socket = InstanceSocketPath(options.Joystick);
    claim = ClaimInstance(options.Joystick);
  } catch (const std::exception& error) {
    if (options.Quit) return fail(std::string(error.what()) + "; " + noInstance);
    return {};
  }
  // Another process holds the claim: it runs, or it is starting and listens soon.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!claim.Valid()) {
    try {
      if (const auto reply = SendInstanceRequest(socket, request)) {
        (reply->Ok ? std::cout : std::cerr) << "kestrova: " << reply->Text << "\n";
        return {reply->Ok ? 0 : 1, {}};
      }
      if (std::chrono::steady_clock::now() > deadline) {
        return fail("the Kestrova starting for controller " + std::to_string(options.Joystick) +
                    " does not answer");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      claim = ClaimInstance(options.Joystick);  // it may have ended meanwhile
    } catch (const std::exception& error) {
      return fail(error.what());
    }
  }
  if (options.Quit) return fail(noInstance);
  return {std::nullopt, std::move(claim)};
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
  if (options.CalibrateGyro) return RunCalibrateGyro(options);
  if (options.Monitor) return RunMonitor(options);
  if (options.ActiveWindow) {
    return RunActiveWindow(
        [&argc, argv](TWindowSourceKind kind) { return BusInFrontQuery(argc, argv, kind); });
  }
  // The window, --load and --quit go to the running instance of this controller when there is
  // one (a replay is a run of its own).
  if (!options.Headless && !options.Check && options.Replay.empty()) {
    TStartDecision start = ClaimOrHandOver(options);
    if (start.ExitCode) return *start.ExitCode;
    return RunWindow(options, argc, argv, std::move(start.Claim));
  }
  if (options.Check) return RunCheck(options);
  if (options.Headless) return RunHeadless(options);
  return RunWindow(options, argc, argv);
}
