#include "EndToEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numeric>
#include <sstream>
#include <thread>
#include <utility>

#include "mapping/Profile.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point at) {
  return std::chrono::duration<double>(at.time_since_epoch()).count();
}

// The raw key events of the A key, with the monotonic time each arrived, from a thread of its own.
class TObserver {
 public:
  TObserver() : FDisplay(XOpenDisplay(nullptr)) {
    int event = 0, error = 0;
    if (FDisplay == nullptr ||
        !XQueryExtension(FDisplay, "XInputExtension", &FOpcode, &event, &error)) {
      return;
    }
    FKey = XKeysymToKeycode(FDisplay, XK_a);
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawKeyRelease);
    XIEventMask events{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(FDisplay, DefaultRootWindow(FDisplay), &events, 1);
    XSync(FDisplay, False);
    FThread = std::thread([this] { Run(); });
    FReady = true;
  }
  ~TObserver() {
    FStop = true;
    if (FThread.joinable()) FThread.join();
    if (FDisplay) XCloseDisplay(FDisplay);
  }
  bool Ready() const { return FReady; }
  // The arrival times so far, and forgets them.
  std::vector<double> Take() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::lock_guard lock(FLock);
    return std::exchange(FTimes, {});
  }

 private:
  void Run() {
    pollfd fd{ConnectionNumber(FDisplay), POLLIN, 0};
    while (!FStop) {
      if (XPending(FDisplay) == 0 && ::poll(&fd, 1, 20) <= 0) continue;
      while (XPending(FDisplay) > 0) {
        XEvent event;
        XNextEvent(FDisplay, &event);
        const double now = Seconds(Clock::now());
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != FOpcode ||
            !XGetEventData(FDisplay, cookie)) {
          continue;
        }
        const auto* raw = static_cast<XIRawEvent*>(cookie->data);
        if (raw->detail == FKey) {
          std::lock_guard lock(FLock);
          FTimes.push_back(now);
        }
        XFreeEventData(FDisplay, cookie);
      }
    }
  }

  Display* FDisplay;
  int FOpcode = 0;
  int FKey = 0;
  bool FReady = false;
  std::atomic<bool> FStop{false};
  std::mutex FLock;
  std::vector<double> FTimes;
  std::thread FThread;
};

// The CPU time a process has used so far, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  if (text.rfind(')') == std::string::npos) return 0;
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index == 14 || index == 15) ticks += std::stol(field);  // utime, stime
  }
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Runs a program to its end with standard error to a file (and standard output to out); the
// origin it prints there. With cpu given, the CPU time it used from cpuFrom to cpuTo seconds after
// its start goes there.
double RunAndOrigin(const std::vector<std::string>& arguments, const fs::path& errors,
                    const fs::path& out = "/dev/null", double cpuFrom = 0, double cpuTo = 0,
                    double* cpu = nullptr) {
  std::vector<std::string> argv = arguments;
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  if (cpu != nullptr) {
    const auto start = Clock::now();
    std::this_thread::sleep_until(start + std::chrono::duration<double>(cpuFrom));
    const double before = CpuSeconds(pid);
    std::this_thread::sleep_until(start + std::chrono::duration<double>(cpuTo));
    *cpu = CpuSeconds(pid) - before;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream file(errors);
  for (std::string line; std::getline(file, line);) {
    const auto at = line.find("replay times count from ");
    if (at != std::string::npos) return std::stod(line.substr(at + 24));
  }
  return -1;
}

// What a latency is beyond the wait for the poller's next read: each latency less the wait a
// poller with a grid of period at offset would have made (period - the entry's phase, from the
// offset), the offset being the one that explains the latencies best (the least spread). A
// poller whose passes drift off a fixed grid is not explained: its remainder spreads widely.
std::vector<double> BeyondTheWait(const std::vector<double>& latencies,
                                  const std::vector<double>& entries, double period) {
  std::vector<double> best;
  double bestSpread = 1e300;
  for (int step = 0; step < 1000; ++step) {
    const double offset = period * step / 1000.0;
    std::vector<double> rest;
    double sum = 0, squares = 0;
    for (std::size_t i = 0; i < latencies.size(); ++i) {
      const double wait = std::fmod(offset - std::fmod(entries[i], period) + 2 * period, period);
      rest.push_back(latencies[i] - wait);
      sum += rest.back();
      squares += rest.back() * rest.back();
    }
    const double spread = squares / rest.size() - (sum / rest.size()) * (sum / rest.size());
    if (spread < bestSpread) {
      bestSpread = spread;
      best = std::move(rest);
    }
  }
  return best;
}

struct TStats {
  std::vector<double> Ms;
  double Mean() const { return std::accumulate(Ms.begin(), Ms.end(), 0.0) / Ms.size(); }
  // The standard error of the mean.
  double Error() const {
    const double mean = Mean();
    double squares = 0;
    for (double v : Ms) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / (Ms.size() - 1) / Ms.size());
  }
  double Median() const {
    std::vector<double> sorted = Ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

}  // namespace

std::vector<TEndToEndRow> EndToEndLatency(const std::string& kestrova, const std::string& bare,
                                          const fs::path& workDir) {
  std::vector<TEndToEndRow> rows;
  TObserver observer;
  if (!observer.Ready()) {
    rows.push_back(
        {"end to end against a bare mapper", "skipped: no X display with XInput2", "", false});
    return rows;
  }
  // Presses and releases 25 ms apart plus a phase that goes round a 10 ms period evenly (the
  // golden ratio's multiples): every phase of the pollers' grids is sampled alike, so the means
  // do not depend on where their grids happen to lie. Edges stay at least 15 ms apart, so that a
  // reader of states at 10 ms sees each of them.
  const int edges =
      std::getenv("KESTROVA_E2E_EDGES") ? std::atoi(std::getenv("KESTROVA_E2E_EDGES")) : 800;
  std::vector<double> entries;
  std::string timeline;
  for (int i = 0; i < edges; ++i) {
    const double phase = std::fmod(i * 0.6180339887498949, 1.0) * 10.0;
    const double time = 300.0 + 25.0 * i + phase;
    entries.push_back(time);
    char line[64];
    std::snprintf(line, sizeof line, "%.3f button 1 %s\n", time, i % 2 ? "up" : "down");
    timeline += line;
    entries.back() = std::round(time * 1000.0) / 1000.0;  // as written
  }
  timeline += std::to_string(static_cast<int>(entries.back()) + 200) + " end\n";
  const fs::path script = workDir / "e2e.replay";
  std::ofstream(script) << timeline;
  {
    kestrova::TSlotTable table;
    table[26] = {"KEY DOWN a"};
    table[27] = {"KEY UP a"};
    std::ofstream(workDir / "e2e.kpf", std::ios::binary)
        << kestrova::FormatProfile(table, kestrova::DefaultTolerances);
  }

  const auto run = [&](bool isKestrova, int interval) {
    std::vector<std::string> arguments =
        isKestrova ? std::vector<std::string>{kestrova,
                                              "--headless",
                                              "--output",
                                              "x11",
                                              "--wake",
                                              "interval",
                                              "--poll-interval",
                                              std::to_string(interval),
                                              "--replay",
                                              script.string(),
                                              (workDir / "e2e.kpf").string()}
                   : std::vector<std::string>{bare, script.string(), std::to_string(interval)};
    observer.Take();
    const double origin = RunAndOrigin(arguments, workDir / "e2e.err");
    const std::vector<double> seen = observer.Take();
    std::pair<TStats, TStats> stats;  // the latencies, and what they are beyond the wait
    if (origin < 0 || seen.size() != entries.size()) {
      std::fprintf(stderr, "  (origin %.3f, %zu key events for %zu entries)\n", origin, seen.size(),
                   entries.size());
      return stats;
    }
    for (std::size_t i = 0; i < seen.size(); ++i) {
      stats.first.Ms.push_back((seen[i] - origin) * 1000.0 - entries[i]);
    }
    stats.second.Ms = BeyondTheWait(stats.first.Ms, entries, interval);
    return stats;
  };
  for (const int interval : {10, 1}) {
    // Alternately, two rounds each, so that a change of the machine's load falls on both.
    TStats programs[2];
    TStats beyond[2];
    for (int round = 0; round < 2; ++round) {
      for (int which = 0; which < 2; ++which) {
        const auto [once, rest] = run(which == 0, interval);
        if (once.Ms.empty()) {
          rows.push_back({std::string(which == 0 ? "Kestrova" : "bare mapper") + " end to end at " +
                              std::to_string(interval) + " ms",
                          "key events missing", "", false});
          return rows;
        }
        programs[which].Ms.insert(programs[which].Ms.end(), once.Ms.begin(), once.Ms.end());
        beyond[which].Ms.insert(beyond[which].Ms.end(), rest.Ms.begin(), rest.Ms.end());
      }
    }
    const std::string at = " at " + std::to_string(interval) + " ms";
    char text[96];
    for (int which = 0; which < 2; ++which) {
      const TStats& s = programs[which];
      const std::string name = which == 0 ? "end to end, Kestrova" : "end to end, bare mapper";
      std::snprintf(text, sizeof text, "%.3f ± %.3f ms (p50 %.2f, min %.2f)", s.Mean(),
                    1.96 * s.Error(), s.Median(), *std::min_element(s.Ms.begin(), s.Ms.end()));
      rows.push_back(
          {name + at + ", mean (" + std::to_string(s.Ms.size()) + " edges)", text, "", true});
      std::snprintf(text, sizeof text, "%.3f ± %.3f ms", beyond[which].Mean(),
                    1.96 * beyond[which].Error());
      rows.push_back({name + at + ", beyond the wait for a read", text, "", true});
    }
    // The waits of both are the same by design (the same phases against the same period); what
    // differs is the time beyond them, measured to a few hundredths of a millisecond.
    const double difference = beyond[0].Mean() - beyond[1].Mean();
    const double error = 1.96 * std::hypot(beyond[0].Error(), beyond[1].Error());
    std::snprintf(text, sizeof text, "%+.3f ± %.3f ms", difference, error);
    rows.push_back(
        {"end to end, Kestrova - bare mapper" + at, text, "<= 0.1 ms", difference <= 0.1});
    std::snprintf(text, sizeof text, "%+.3f ± %.3f ms", programs[0].Mean() - programs[1].Mean(),
                  1.96 * std::hypot(programs[0].Error(), programs[1].Error()));
    rows.push_back({"end to end, Kestrova - bare mapper" + at + ", raw means", text, "", true});
  }
  return rows;
}

std::vector<TEndToEndRow> AimingRows(const std::string& kestrova, const fs::path& workDir) {
  std::vector<TEndToEndRow> rows;
  char text[128];
  // The left stick as a mouse at 1000 px/s; button 1 types a.
  const auto profile = [&](double speed) {
    kestrova::TSlotTable table;
    table[26] = {"KEY DOWN a"};
    table[27] = {"KEY UP a"};
    kestrova::TMotionSettings motion;
    motion[kestrova::TMotionSource::LeftStick].Mode = kestrova::TMotionMode::Mouse;
    motion[kestrova::TMotionSource::LeftStick].Speed = speed;
    const fs::path path = workDir / ("aim-" + std::to_string(static_cast<int>(speed)) + ".kpf");
    std::ofstream(path, std::ios::binary)
        << kestrova::FormatProfile(table, kestrova::DefaultTolerances, motion);
    return path.string();
  };

  // Presses: 1000 taps, edges 20 ms apart plus a phase round the 10 ms period (as above).
  TObserver observer;
  if (observer.Ready()) {
    const int edges = 2000;
    std::vector<double> entries;
    std::string taps;
    for (int i = 0; i < edges; ++i) {
      const double phase = std::fmod(i * 0.6180339887498949, 1.0) * 10.0;
      entries.push_back(std::round((300.0 + 20.0 * i + phase) * 1000.0) / 1000.0);
      std::snprintf(text, sizeof text, "%.3f button 1 %s\n", entries.back(), i % 2 ? "up" : "down");
      taps += text;
    }
    const std::string end = std::to_string(static_cast<int>(entries.back()) + 200) + " end\n";
    const std::string fast = profile(1000);
    double means[2] = {0, 0};
    for (const bool aiming : {false, true}) {
      const fs::path script = workDir / (aiming ? "aiming.replay" : "resting.replay");
      std::ofstream(script) << (aiming ? "100 axis X 65535\n" : "") << taps << end;
      observer.Take();
      const double origin =
          RunAndOrigin({kestrova, "--headless", "--output", "x11", "--wake", "interval",
                        "--poll-interval", "10", "--replay", script.string(), fast},
                       workDir / "aim.err");
      const std::vector<double> seen = observer.Take();
      if (origin < 0 || seen.size() != entries.size()) {
        rows.push_back({"aiming: press latency", "key events missing", "", false});
        return rows;
      }
      TStats stats;
      for (std::size_t i = 0; i < seen.size(); i += 2) {  // the presses
        stats.Ms.push_back((seen[i] - origin) * 1000.0 - entries[i]);
      }
      means[aiming ? 1 : 0] = stats.Mean();
      std::snprintf(text, sizeof text, "%.3f ± %.3f ms (p50 %.2f)", stats.Mean(),
                    1.96 * stats.Error(), stats.Median());
      rows.push_back({std::string("aiming: press latency, stick ") +
                          (aiming ? "held as a mouse" : "at rest") + " (1000 taps)",
                      text, "", true});
    }
    std::snprintf(text, sizeof text, "%+.3f ms", means[1] - means[0]);
    rows.push_back(
        {"aiming: press latency, aiming - at rest", text, "<= 0.3 ms", means[1] - means[0] <= 0.3});
  } else {
    rows.push_back({"aiming: press latency", "skipped: no X display with XInput2", "", true});
  }

  // Moves, distance and CPU from the print output: the stick held 10 s, or at rest 10 s.
  struct TRun {
    int Moves = 0;
    double Distance = 0;
    double FirstMs = -1;
    double LastMs = 0;
    double Cpu = 0;
  };
  const auto printRun = [&](double speed, int holdMs, bool held) {
    const fs::path script = workDir / "hold.replay";
    std::ofstream(script) << (held ? "1000 axis X 65535\n" : "") << 1000 + holdMs
                          << " axis X 32767\n"
                          << 1300 + holdMs << " end\n";
    const fs::path out = workDir / "hold.out";
    TRun run;
    RunAndOrigin({kestrova, "--headless", "--output", "print", "--wake", "input", "--replay",
                  script.string(), profile(speed)},
                 workDir / "hold.err", out, 2.0, 1.0 + holdMs / 1000.0 - 0.5, &run.Cpu);
    std::ifstream file(out);
    for (std::string line; std::getline(file, line);) {
      double ms = 0;
      int dx = 0;
      int dy = 0;
      if (std::sscanf(line.c_str(), "%lf mouse 0x0001 %d %d", &ms, &dx, &dy) != 3) continue;
      ++run.Moves;
      run.Distance += dx;
      if (run.FirstMs < 0) run.FirstMs = ms;
      run.LastMs = ms;
    }
    return run;
  };
  const TRun aim = printRun(1000, 10000, true);
  const double seconds = (aim.LastMs - aim.FirstMs) / 1000.0;
  const double perSecond = seconds > 0 ? (aim.Moves - 1) / seconds : 0;
  std::snprintf(text, sizeof text, "%.1f /s (%d moves)", perSecond, aim.Moves);
  rows.push_back(
      {"aiming: moves a second at the 4 ms period", text, ">= 245 /s", perSecond >= 245});
  const double error = std::abs(aim.Distance - 1000.0 * 10.0) / (1000.0 * 10.0) * 100;
  std::snprintf(text, sizeof text, "%.0f px of 10000 (%.2f %%)", aim.Distance, error);
  rows.push_back({"aiming: distance in 10 s at 1000 px/s", text, "within 1 %", error <= 1});
  const TRun slow = printRun(75, 4000, true);  // 0.3 px a read, 1000 reads
  std::snprintf(text, sizeof text, "%.0f px in %d moves", slow.Distance, slow.Moves);
  rows.push_back({"aiming: 0.3 px a read for 1000 reads", text, "300 px ± 1",
                  std::abs(slow.Distance - 300) <= 1});
  const TRun rest = printRun(1000, 10000, false);
  std::snprintf(text, sizeof text, "%.2f %% of a core (at rest %.2f %%)", aim.Cpu / 8.5 * 100,
                rest.Cpu / 8.5 * 100);
  rows.push_back({"aiming: CPU while aiming at the 4 ms period", text, "", true});
  return rows;
}
