// Running a profile without a window (--headless), and watching a controller (--monitor).

#include "cli/Runs.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <vector>

#include "cli/Fail.h"
#include "mapping/Convert.h"
#include "mapping/Profile.h"
#include "platform/UniqueFd.h"
#include "session/LineWriter.h"
#include "session/Monitor.h"
#include "session/Session.h"
#include "session/StopSignals.h"

namespace kestrova {

namespace {

// An fd that becomes readable once, when the run should end.
class TStopEvent {
 public:
  void Raise() {
    const std::uint64_t one = 1;
    (void)!::write(FFd.Get(), &one, sizeof one);
  }
  int Fd() const { return FFd.Get(); }

 private:
  TUniqueFd FFd{::eventfd(0, EFD_CLOEXEC)};
};

// Tasks for the main thread, posted from any thread: the main loop runs them when their fd
// becomes readable.
class TTaskQueue {
 public:
  void Post(std::function<void()> task) {
    {
      std::lock_guard lock(FLock);
      FTasks.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    (void)!::write(FFd.Get(), &one, sizeof one);
  }
  int Fd() const { return FFd.Get(); }
  void RunPosted() {
    std::uint64_t count = 0;
    (void)!::read(FFd.Get(), &count, sizeof count);
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard lock(FLock);
      tasks.swap(FTasks);
    }
    for (auto& task : tasks) task();
  }

 private:
  TUniqueFd FFd{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  std::mutex FLock;
  std::vector<std::function<void()>> FTasks;
};

// The line that stands for lines of standard error its reader did not take in time.
std::string DroppedErrorLines(std::size_t dropped) {
  return "kestrova: " + std::to_string(dropped) +
         " lines dropped: standard error did not keep up\n";
}

// Waits until a stop signal arrives or the run raises its stop event, running the tasks posted
// meanwhile.
void WaitForStop(const TStopSignals& signals, const TStopEvent& stop, TTaskQueue* tasks = nullptr) {
  pollfd fds[3] = {
      {signals.Fd(), POLLIN, 0}, {stop.Fd(), POLLIN, 0}, {tasks ? tasks->Fd() : -1, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[0].revents | fds[1].revents) != 0) return;
    if (fds[2].revents != 0) tasks->RunPosted();
  }
}

}  // namespace

int RunHeadless(const TCommandLine& options) {
  TProfileDocument document(UserDecimalSeparator());
  try {
    document.Load(options.Profile);
  } catch (const EProfileError& error) {
    // A file-level error names the file itself.
    if (error.Line() == 0) return Fail(error.what());
    return Fail(options.Profile + ":" + std::to_string(error.Line()) + ": " + WithMeaning(error));
  }
  std::optional<TStopSignals> signals;
  TStopEvent stop;
  TLineWriter errors(STDERR_FILENO, DroppedErrorLines);
  std::unique_ptr<TSession> session;
  try {
    signals.emplace();
    if (stop.Fd() < 0) throw std::runtime_error("cannot set up signal handling");
    session = std::make_unique<TSession>(options, document, [&session](const std::string& line) {
      session->Printer().Print("status " + line);
    });
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  std::cerr << "kestrova: " << session->OutputDescription() << "\n";
  std::cerr << "kestrova: " << session->WakeDescription() << "\n";
  if (!session->OutputNote().empty()) std::cerr << "kestrova: " << session->OutputNote() << "\n";
  for (const std::string& warning : session->ReplayWarnings()) {
    std::cerr << "kestrova: warning: " << warning << "\n";
  }

  // Print output has nothing left to do once its reader has gone; other outputs only stop
  // printing their status lines.
  if (options.Output == "print") session->Printer().SetOnClosed([&stop] { stop.Raise(); });
  session->SetControllerSink(
      [&errors](const std::string& line) { errors.Write("kestrova: " + line + "\n"); });
  TTaskQueue tasks;
  session->Engine().SetTaskPoster(
      [&tasks](std::function<void()> task) { tasks.Post(std::move(task)); });
  session->Start();
  session->StartReplay([&stop] { stop.Raise(); });
  if (!options.Replay.empty()) {
    char origin[96];
    std::snprintf(origin, sizeof origin, "kestrova: replay times count from %.6f s (monotonic)\n",
                  session->ReplayOrigin());
    errors.Write(origin);
  }

  WaitForStop(*signals, stop, &tasks);
  session->Shutdown();
  return 0;
}

int RunMonitor(const TCommandLine& options) {
  // Without a profile there is nothing to route; with one, the events it routes are printed too,
  // and what it would inject, while nothing is injected. It outlives the session.
  TProfileDocument profile(UserDecimalSeparator());
  if (!options.Profile.empty()) {
    try {
      profile.Load(options.Profile);
    } catch (const EProfileError& error) {
      if (error.Line() == 0) return Fail(error.what());
      return Fail(options.Profile + ":" + std::to_string(error.Line()) + ": " + WithMeaning(error));
    }
  }
  std::optional<TStopSignals> signals;
  TStopEvent stop;
  TLineWriter errors(STDERR_FILENO, DroppedErrorLines);
  std::unique_ptr<TSession> session;
  TSessionOptions monitoring = options;
  monitoring.Output = "print";  // injects nothing
  try {
    signals.emplace();
    if (stop.Fd() < 0) throw std::runtime_error("cannot set up signal handling");
    TMapper::TStatusSink events;
    if (!options.Profile.empty()) {
      events = [&session](const std::string& line) {
        constexpr std::string_view executing = "Executing ";
        session->Printer().Print(line.starts_with(executing)
                                     ? "event " + line.substr(executing.size())
                                     : "status " + line);
      };
    }
    session = std::make_unique<TSession>(monitoring, profile, events);
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
  session->SetControllerSink(
      [&errors](const std::string& line) { errors.Write("kestrova: " + line + "\n"); });
  // The poll thread's own readings, printed as they change: no second reader of the device.
  struct TPrinter : TReadingObserver {
    TPrinter(TRecordPrinter& printer, const TTolerances& tolerances)
        : Printer(printer), Lines(tolerances) {}
    void OnReading(const TJoyReading& reading) override {
      for (const auto& line : Lines.Changes(reading)) Printer.Print(line);
    }
    TRecordPrinter& Printer;
    TMonitorLines Lines;
  };
  TMapper& mapper = session->Mapper();
  TPrinter printer(session->Printer(), mapper.Tolerances());
  mapper.Jstick1.SetReadingObserver(&printer);
  session->Printer().SetOnClosed([&stop] { stop.Raise(); });
  session->Start();
  session->StartReplay([&stop] { stop.Raise(); });
  WaitForStop(*signals, stop);
  mapper.Jstick1.SetReadingObserver(nullptr);
  session->Shutdown();
  return 0;
}

}  // namespace kestrova
