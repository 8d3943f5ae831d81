#include "Headless.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>

#include "Replay.h"
#include "exec/Mapper.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"
#include "platform/fake/RecordingInjector.h"
#include "platform/sdl/SdlJoyService.h"
#include "platform/x11/X11Injector.h"

namespace kestrova {

namespace {

using TClock = std::chrono::steady_clock;

// Writes "<t> <text>" lines to standard output, t in milliseconds since the start with three
// decimals, each flushed at once. Called from the poll thread and the worker.
class TRecordPrinter {
 public:
  void SetStart(TClock::time_point start) {
    std::lock_guard lock(FLock);
    FStart = start;
  }
  void Print(const std::string& text) {
    std::lock_guard lock(FLock);
    const double ms = std::chrono::duration<double, std::milli>(TClock::now() - FStart).count();
    std::printf("%.3f %s\n", ms, text.c_str());
    std::fflush(stdout);
  }

 private:
  std::mutex FLock;
  TClock::time_point FStart = TClock::now();
};

// An fd that becomes readable once, when the run should end.
class TStopSignal {
 public:
  TStopSignal() : FFd(::eventfd(0, EFD_CLOEXEC)) {}
  ~TStopSignal() {
    if (FFd >= 0) ::close(FFd);
  }
  void Raise() {
    const std::uint64_t one = 1;
    (void)!::write(FFd, &one, sizeof one);
  }
  int Fd() const { return FFd; }

 private:
  int FFd;
};

int Fail(const std::string& message) {
  std::cerr << "kestrova: " << message << "\n";
  return 2;
}

// The controller number of the virtual controller, 0-based, or -1.
int VirtualControllerNumber(TJoyService& service, const std::string& name) {
  for (const auto& controller : ListControllers(service)) {
    if (controller.Name == name) return controller.JoystickID - 1;
  }
  return -1;
}

}  // namespace

char UserDecimalSeparator() {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point && point[0] && !point[1]) separator = point[0];
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}

int RunHeadless(const TOptions& options) {
  TLoadedProfile profile;
  try {
    profile = ReadProfileFile(options.Profile, TSlotTable{});
  } catch (const EProfileError& error) {
    const std::string where = error.Line() > 0 ? ":" + std::to_string(error.Line()) : "";
    return Fail(options.Profile + where + ": " + error.what());
  }
  std::optional<TReplay> replay;
  try {
    if (!options.Replay.empty()) replay = ReadReplayFile(options.Replay);
  } catch (const EReplayError& error) {
    return Fail(error.what());
  }

  // SIGINT and SIGTERM are taken through a signalfd: blocked here, before any thread starts, so
  // that every thread inherits the mask and none is interrupted by them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  TStopSignal stop;
  if (signalFd < 0 || stop.Fd() < 0) return Fail("cannot set up signal handling");

  TRecordPrinter printer;
  std::unique_ptr<TJoyService> service;
  std::unique_ptr<TVirtualController> virtualController;
  std::unique_ptr<TInjector> injector;
  int joystick = options.Joystick;
  try {
    service = CreateSdlJoyService();
    if (replay) {
      virtualController = AttachSdlVirtualController(TVirtualControllerDesc{});
      if (!options.JoystickGiven) {
        joystick = VirtualControllerNumber(*service, TVirtualControllerDesc{}.Name) + 1;
        if (joystick <= 0) return Fail("the virtual controller does not answer");
      }
    }
    if (options.Output == "print") {
      auto recorder = std::make_unique<TRecordingInjector>(
          options.ScreenWidth, options.ScreenHeight, TPoint{options.CursorX, options.CursorY});
      recorder->SetKeepRecords(false);
      recorder->SetSink([&printer](const std::string& line) { printer.Print(line); });
      injector = std::move(recorder);
    } else {
      injector = CreateX11Injector();
    }
  } catch (const std::exception& error) {
    ::close(signalFd);
    return Fail(error.what());
  }

  TRealSleeper sleeper;
  TMapper mapper(*injector, *service, sleeper,
                 [&printer](const std::string& line) { printer.Print("status " + line); });
  mapper.SetSlots(profile.Slots);
  mapper.SetXTol(profile.Tolerances[0]);
  mapper.SetYTol(profile.Tolerances[1]);
  mapper.SetZTol(profile.Tolerances[2]);
  mapper.SetRTol(profile.Tolerances[3]);
  mapper.SetDecimalSeparator(UserDecimalSeparator());
  mapper.Jstick1.SetJoystickID(joystick);
  mapper.Jstick1.SetThreadIntensity(static_cast<std::uint32_t>(options.PollInterval));

  const auto start = TClock::now();
  printer.SetStart(start);
  mapper.Start();

  std::unique_ptr<TReplayPlayer> player;
  if (replay) {
    // Entries play once the poll thread has taken its first reading, so that none is lost to
    // the seed of the change detection.
    while (mapper.Jstick1.PollPasses() == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    player = std::make_unique<TReplayPlayer>(*replay, *virtualController, [&stop] { stop.Raise(); });
    player->Start(start);
  }

  pollfd fds[2] = {{signalFd, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
  }
  mapper.Shutdown();
  player.reset();
  ::close(signalFd);
  return 0;
}

int RunListControllers(const TOptions& options) {
  try {
    std::unique_ptr<TVirtualController> virtualController;
    std::optional<TReplay> replay;
    if (!options.Replay.empty()) replay = ReadReplayFile(options.Replay);
    auto service = CreateSdlJoyService();
    if (replay) virtualController = AttachSdlVirtualController(TVirtualControllerDesc{});
    const auto controllers = ListControllers(*service);
    if (controllers.empty()) std::cout << "No controllers found.\n";
    for (const auto& c : controllers) {
      std::cout << c.JoystickID << ": " << c.Name << " (" << c.Axes << " axes, " << c.Buttons
                << " buttons, " << c.Hats << " hats)\n";
    }
    return 0;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

int RunCheck(const TOptions& options) {
  std::ifstream file(options.Profile, std::ios::binary);
  if (!file) return Fail("Cannot open file " + options.Profile);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const auto problems = CheckProfileText(text, UserDecimalSeparator());
  for (const auto& problem : problems) {
    std::cout << options.Profile << ":" << problem.Line << ": " << problem.Text << "\n";
  }
  if (problems.empty()) {
    std::cout << options.Profile << ": OK\n";
    return 0;
  }
  std::cout << options.Profile << ": " << problems.size() << " problem(s)\n";
  return 1;
}

}  // namespace kestrova
