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
#include "RunServices.h"
#include "exec/Mapper.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"

namespace kestrova {

namespace {

using TClock = std::chrono::steady_clock;

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

int RunHeadless(const TCommandLine& options) {
  TLoadedProfile profile;
  try {
    profile = ReadProfileFile(options.Profile, TSlotTable{});
  } catch (const EProfileError& error) {
    const std::string where = error.Line() > 0 ? ":" + std::to_string(error.Line()) : "";
    return Fail(options.Profile + where + ": " + error.what());
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
  TRunServices services;
  try {
    services = OpenRunServices(options, printer);
  } catch (const std::exception& error) {
    ::close(signalFd);
    return Fail(error.what());
  }
  auto& replay = services.Replay;

  TRealSleeper sleeper;
  TMapper mapper(*services.Injector, *services.Joysticks, sleeper,
                 [&printer](const std::string& line) { printer.Print("status " + line); });
  mapper.SetSlots(profile.Slots);
  mapper.SetXTol(profile.Tolerances[0]);
  mapper.SetYTol(profile.Tolerances[1]);
  mapper.SetZTol(profile.Tolerances[2]);
  mapper.SetRTol(profile.Tolerances[3]);
  mapper.SetDecimalSeparator(UserDecimalSeparator());
  mapper.Jstick1.SetJoystickID(services.JoystickID);
  mapper.Jstick1.SetThreadIntensity(static_cast<std::uint32_t>(options.PollInterval));

  const auto start = TClock::now();
  printer.SetStart(start);
  mapper.Start();

  std::unique_ptr<TReplayPlayer> player;
  if (replay) {
    // Entries play once the poll thread has taken its first reading, so that none is lost to
    // the seed of the change detection.
    while (mapper.Jstick1.PollPasses() == 0)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    player = std::make_unique<TReplayPlayer>(*replay, *services.VirtualController,
                                             [&stop] { stop.Raise(); });
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

int RunListControllers(const TCommandLine& options) {
  try {
    TCommandLine listing = options;
    listing.Output = "print";  // nothing is injected; no display needed
    TRecordPrinter printer;
    const TRunServices services = OpenRunServices(listing, printer);
    const auto controllers = ListControllers(*services.Joysticks);
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

int RunCheck(const TCommandLine& options) {
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
