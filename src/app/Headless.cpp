#include "Headless.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>

#include "mapping/Convert.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"
#include "mapping/TextFile.h"
#include "platform/x11/ActiveWindow.h"
#include "session/Monitor.h"
#include "session/Session.h"
#include "session/StopSignals.h"

namespace kestrova {

namespace {

// An fd that becomes readable once, when the run should end.
class TStopEvent {
 public:
  TStopEvent() : FFd(::eventfd(0, EFD_CLOEXEC)) {}
  ~TStopEvent() {
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

int RunHeadless(const TCommandLine& options) {
  TLoadedProfile profile;
  try {
    profile = ReadProfileFile(options.Profile, TSlotTable{});
  } catch (const EProfileError& error) {
    // A file-level error names the file itself.
    if (error.Line() == 0) return Fail(error.what());
    return Fail(options.Profile + ":" + std::to_string(error.Line()) + ": " + WithMeaning(error));
  }
  std::optional<TStopSignals> signals;
  TStopEvent stop;
  std::unique_ptr<TSession> session;
  try {
    signals.emplace();
    if (stop.Fd() < 0) throw std::runtime_error("cannot set up signal handling");
    session = std::make_unique<TSession>(options, [&session](const std::string& line) {
      session->Printer().Print("status " + line);
    });
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  std::cerr << "kestrova: " << session->OutputDescription() << "\n";
  std::cerr << "kestrova: " << session->WakeDescription() << "\n";
  if (!session->OutputNote().empty()) std::cerr << "kestrova: " << session->OutputNote() << "\n";
  TMapper& mapper = session->Mapper();
  mapper.SetSlots(profile.Slots);
  mapper.SetXTol(profile.Tolerances[0]);
  mapper.SetYTol(profile.Tolerances[1]);
  mapper.SetZTol(profile.Tolerances[2]);
  mapper.SetRTol(profile.Tolerances[3]);

  // Print output has nothing left to do once its reader has gone; other outputs only stop
  // printing their status lines.
  if (options.Output == "print") session->Printer().SetOnClosed([&stop] { stop.Raise(); });
  session->SetControllerSink([](const std::string& line) {
    std::cerr << "kestrova: " + line + "\n" << std::flush;
  });
  session->Start();
  session->StartReplay([&stop] { stop.Raise(); });

  pollfd fds[2] = {{signals->Fd(), POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
  }
  session->Shutdown();
  return 0;
}

int RunMonitor(const TCommandLine& options) {
  std::optional<TStopSignals> signals;
  TStopEvent stop;
  std::unique_ptr<TSession> session;
  TSessionOptions monitoring = options;
  monitoring.Output = "print";  // injects nothing: there is no profile
  try {
    signals.emplace();
    if (stop.Fd() < 0) throw std::runtime_error("cannot set up signal handling");
    session = std::make_unique<TSession>(monitoring, nullptr);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  session->SetControllerSink([](const std::string& line) {
    std::cerr << "kestrova: " + line + "\n" << std::flush;
  });
  // The poll thread's own readings, printed as they change: no second reader of the device.
  struct TPrinter : TReadingObserver {
    TPrinter(TRecordPrinter& printer, std::array<int, 4> tolerances)
        : Printer(printer), Lines(tolerances) {}
    void OnReading(const TJoyReading& reading) override {
      for (const auto& line : Lines.Changes(reading)) Printer.Print(line);
    }
    TRecordPrinter& Printer;
    TMonitorLines Lines;
  };
  TMapper& mapper = session->Mapper();
  TPrinter printer(session->Printer(),
                   {mapper.XTol(), mapper.YTol(), mapper.ZTol(), mapper.RTol()});
  mapper.Jstick1.SetReadingObserver(&printer);
  session->Printer().SetOnClosed([&stop] { stop.Raise(); });
  session->Start();
  session->StartReplay([&stop] { stop.Raise(); });
  pollfd fds[2] = {{signals->Fd(), POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
  }
  mapper.Jstick1.SetReadingObserver(nullptr);
  session->Shutdown();
  return 0;
}

int PrintActiveWindow(const TActiveWindow& active) {
  if (!active.Found) {
    if (active.Source.starts_with("X11")) {
      std::cout << "no X window is active (source: " << active.Source
                << "); on a Wayland desktop a native Wayland window may be in front\n";
    } else {
      std::cout << "no window is active (source: " << active.Source << ")\n";
    }
    return 0;
  }
  std::cout << "class: " << active.Class << "\ninstance: " << active.Instance
            << "\nexecutable: " << (active.Executable.empty() ? "(not told)" : active.Executable)
            << "\nsource: " << active.Source << "\n";
  return 0;
}

int RunActiveWindow(const TCommandLine&) {
  try {
    return PrintActiveWindow(ReadActiveWindow());
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

int RunListControllers(const TCommandLine& options) {
  try {
    TSessionOptions listing = options;
    listing.Output = "print";  // nothing is injected; no display needed
    TSession session(listing, nullptr);
    const auto controllers = ListControllers(session.Joysticks());
    if (controllers.empty()) {
      std::cout << "No controllers found. Plug one in: Kestrova picks it up without a restart.\n";
    }
    for (const auto& c : controllers) {
      std::cout << c.JoystickID << ": " << c.Name << " (" << c.Axes << " axes, " << c.Buttons
                << " buttons, " << c.Hats << " hats" << (c.PadLayout ? ", pad layout" : "")
                << ")\n";
    }
    return 0;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}

int RunCheck(const TCommandLine& options) {
  std::string text;
  try {
    text = ReadRegularFile(options.Profile);
  } catch (const EFileError& error) {
    return Fail(error.what());
  }
  const auto problems = CheckProfileText(text, UserDecimalSeparator());
  std::size_t errors = 0;
  std::size_t warnings = 0;
  for (const auto& problem : problems) {
    std::cout << options.Profile << ":" << problem.Line << ": "
              << (problem.Warning ? "warning: " : "") << problem.Text << "\n";
    ++(problem.Warning ? warnings : errors);
  }
  if (errors == 0) {
    std::cout << options.Profile << ": OK";
    if (warnings > 0) std::cout << ", " << warnings << " warning(s)";
    std::cout << "\n";
    return 0;
  }
  std::cout << options.Profile << ": " << errors << " problem(s)";
  if (warnings > 0) std::cout << ", " << warnings << " warning(s)";
  std::cout << "\n";
  return 1;
}

}  // namespace kestrova
