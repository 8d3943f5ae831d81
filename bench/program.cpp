// Kestrova's benchmarks: runs the real program (end-to-end latency, idle cost, executor
// throughput, start-up) and the micro-benchmarks, and prints one table of figure, value, goal.
//
//   kestrova_bench KESTROVA MICRO_BENCH     (start-up needs an X display; else it is skipped)

// Qt and GoogleTest-free; Xlib last, for its macros.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "EndToEnd.h"
#include "mapping/Profile.h"

#include <X11/Xlib.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct TRow {
  std::string Figure;
  std::string Value;
  std::string Goal;
  bool Met;
};
std::vector<TRow> Rows;

void Add(const std::string& figure, double value, const char* unit, const std::string& goal,
         bool met, int decimals = 2) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
  Rows.push_back({figure, text, goal, met});
  std::fprintf(stderr, "  %-44s %s\n", figure.c_str(), text);
}

fs::path WorkDir;

std::string Write(const std::string& name, const std::string& text) {
  std::ofstream(WorkDir / name, std::ios::binary) << text;
  return (WorkDir / name).string();
}

std::string Profile(const std::vector<std::pair<int, std::vector<std::string>>>& slots) {
  kestrova::TSlotTable table;
  for (const auto& [slot, lines] : slots) table[slot] = lines;
  return Write("bench.kpf", kestrova::FormatProfile(table, kestrova::DefaultTolerances));
}

// Starts the program with standard output to out; environment's NAME=value entries are added to
// (and replace) the inherited ones.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& out,
            const std::vector<std::string>& environment = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    if (std::none_of(environment.begin(), environment.end(),
                     [&](const std::string& given) { return given.starts_with(name); })) {
      env.push_back(entry);
    }
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv = arguments;
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const std::size_t index =
      std::min(values.size() - 1, static_cast<std::size_t>(std::ceil(p * values.size())) - 1);
  return values[index];
}

// 500 presses and releases 40 ms apart; latency from each entry to its key record.
void Latency(const std::string& kestrova, int pollInterval, double p50Goal, double p99Goal) {
  const std::string profile = Profile({{26, {"KEY DOWN a"}}, {27, {"KEY UP a"}}});
  std::string timeline;
  std::vector<double> entries;
  for (int i = 0; i < 500; ++i) {
    const int time = 200 + 40 * i;
    entries.push_back(time);
    timeline += std::to_string(time) + " button 1 " + (i % 2 ? "up" : "down") + "\n";
  }
  timeline += std::to_string(200 + 40 * 500) + " end\n";
  const std::string replay = Write("latency.txt", timeline);
  const std::string out = (WorkDir / "latency.out").string();
  const pid_t pid = Spawn({kestrova, "--headless", "--output", "print", "--poll-interval",
                           std::to_string(pollInterval), "--replay", replay, profile},
                          out);
  Wait(pid);
  std::vector<double> latencies;
  for (const auto& line : Lines(out)) {
    if (line.find(" key 0x41 (A) ") == std::string::npos) continue;
    const double time = std::stod(line.substr(0, line.find(' ')));
    if (latencies.size() < entries.size()) latencies.push_back(time - entries[latencies.size()]);
  }
  const std::string label = "latency at " + std::to_string(pollInterval) + " ms polling";
  if (latencies.size() != entries.size()) {
    Rows.push_back({label, "missing key records", "", false});
    return;
  }
  const double p50 = Percentile(latencies, 0.50);
  const double p99 = Percentile(latencies, 0.99);
  const double max = *std::max_element(latencies.begin(), latencies.end());
  char goal50[32], goal99[32];
  std::snprintf(goal50, sizeof goal50, "<= %g ms", p50Goal);
  std::snprintf(goal99, sizeof goal99, "<= %g ms", p99Goal);
  Add(label + ", p50 (500 events)", p50, "ms", goal50, p50 <= p50Goal);
  Add(label + ", p99", p99, "ms", goal99, p99 <= p99Goal);
  Add(label + ", max", max, "ms", "", true);
}

struct TUsage {
  double CpuSeconds = 0;
  long Switches = 0;
};

// CPU time from the scheduler's own accounting (nanoseconds on the CPU, every thread) and the
// context switches of every thread.
TUsage UsageOf(pid_t pid) {
  TUsage usage;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      const std::string task = tasks + "/" + entry->d_name;
      std::ifstream schedstat(task + "/schedstat");
      double onCpuNs = 0;
      if (schedstat >> onCpuNs) usage.CpuSeconds += onCpuNs / 1e9;
      std::ifstream status(task + "/status");
      for (std::string line; std::getline(status, line);) {
        if (line.starts_with("voluntary_ctxt_switches:") ||
            line.starts_with("nonvoluntary_ctxt_switches:")) {
          usage.Switches += std::stol(line.substr(line.find(':') + 1));
        }
      }
    }
    closedir(dir);
  }
  return usage;
}

// For comparison: what a thread that only sleeps 10 ms at a time costs on this machine.
double SleepLoopShare() {
  timespec start{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  const auto wallStart = Clock::now();
  for (int i = 0; i < 300; ++i) std::this_thread::sleep_for(10ms);
  timespec end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  const double cpu = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
  return 100.0 * cpu / std::chrono::duration<double>(Clock::now() - wallStart).count();
}

// A program started with the arguments, measured from its first second for 8 s and waited for:
// its CPU share (percent of one core) and its wake-ups per second.
std::pair<double, double> AtRest(const std::vector<std::string>& arguments,
                                 const std::string& out) {
  const pid_t pid = Spawn(arguments, (WorkDir / out).string());
  std::this_thread::sleep_for(1s);
  const TUsage before = UsageOf(pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(8s);
  const TUsage after = UsageOf(pid);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  Wait(pid);
  return {100.0 * (after.CpuSeconds - before.CpuSeconds) / wall,
          (after.Switches - before.Switches) / wall};
}

// The headless runner with nothing to do for 10 s: CPU share and wake-ups, between 1 s and 9 s.
void Idle(const std::string& kestrova) {
  const std::string profile = Profile({{26, {"KEY DOWN a"}}});
  const std::string replay = Write("idle.txt", "10000 end\n");
  const auto [share, wakeUps] = AtRest(
      {kestrova, "--headless", "--output", "print", "--replay", replay, profile}, "idle.out");
  Add("idle CPU at 10 ms polling (of one core)", share, "%", "<= 0.5 %", share <= 0.5);
  Add("idle wake-ups", wakeUps, "/s", "", true, 0);
  Add("for comparison: a bare 10 ms sleep loop", SleepLoopShare(), "%", "", true);
}

// At rest at --wake interval --poll-interval 10 against the bare mapper reading its virtual
// joystick every 10 ms, each 8 s after 1 s, alternately three times: the CPU share of each.
void IdleAgainstBareMapper(const std::string& kestrova, const std::string& bare) {
  const std::string profile = Profile({{26, {"KEY DOWN a"}}});
  const std::string replay = Write("rest.txt", "9500 end\n");
  double ours = 0, theirs = 0;
  for (int round = 0; round < 3; ++round) {
    ours += AtRest({kestrova, "--headless", "--output", "print", "--wake", "interval",
                    "--poll-interval", "10", "--replay", replay, profile},
                   "rest.out")
                .first /
            3;
    theirs += AtRest({bare, replay, "10"}, "rest.out").first / 3;
  }
  Add("at rest, --wake interval at 10 ms (of one core)", ours, "%", "<= bare mapper",
      ours <= theirs, 3);
  Add("at rest, the bare mapper at 10 ms", theirs, "%", "", true, 3);
}

// The window at rest for 6 s (after 2 s to settle), with or without rules that switch profiles
// by the application in front: the CPU share of the whole process and its wake-ups per second.
std::pair<double, double> WindowIdle(const std::string& kestrova, bool rules) {
  const fs::path home = WorkDir / (rules ? "rules" : "no-rules");
  fs::create_directories(home / "config" / "Kestrova");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  const std::string profile = Profile({{26, {"KEY DOWN a"}}});
  if (rules) {
    std::ofstream(home / "config" / "Kestrova" / "Kestrova.ini")
        << "[applications]\nenabled=true\ndefault=" << profile << "\nrule1=class|RacingGame|"
        << profile << "\n";
  }
  const std::string replay = Write("window-idle.txt", "12000 end\n");
  const pid_t pid = Spawn({kestrova, "--output", "print", "--replay", replay},
                          (WorkDir / "window-idle.out").string(),
                          {"XDG_CONFIG_HOME=" + (home / "config").string(),
                           "XDG_RUNTIME_DIR=" + (home / "runtime").string()});
  std::this_thread::sleep_for(2s);
  const TUsage before = UsageOf(pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(6s);
  const TUsage after = UsageOf(pid);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  kill(pid, SIGTERM);
  Wait(pid);
  return {100.0 * (after.CpuSeconds - before.CpuSeconds) / wall,
          (after.Switches - before.Switches) / wall};
}

void RulesIdle(const std::string& kestrova) {
  if (const char* display = std::getenv("DISPLAY"); display == nullptr || *display == 0) {
    Rows.push_back({"window at rest, profiles by application", "skipped: no X display", "", false});
    return;
  }
  const auto [without, wakeupsWithout] = WindowIdle(kestrova, false);
  const auto [with, wakeupsWith] = WindowIdle(kestrova, true);
  Add("window at rest, no rules (whole process)", without, "%", "", true);
  Add("window at rest, rules active", with, "%", "<= no rules + 0.2", with <= without + 0.2);
  Add("window at rest, wake-ups: no rules", wakeupsWithout, "/s", "", true, 0);
  Add("window at rest, wake-ups: rules active", wakeupsWith, "/s", "<= no rules + 5",
      wakeupsWith <= wakeupsWithout + 5, 0);
}

// The window's GUI thread (the main thread: its id is the process's) with the controller view
// open at 10 ms polling: the stick at rest, and moved every 20 ms all the time.
double ViewCost(const std::string& kestrova, const std::string& name, bool moving) {
  std::string moves;
  for (int t = 0; moving && t < 9000; t += 20) {
    moves += std::to_string(t) + " axis X " + std::to_string((t * 37) % 65536) + "\n";
  }
  const std::string replay = Write(name, moves + "9000 end\n");
  const pid_t pid = Spawn({kestrova, "--output", "print", "--show-controller", "--replay", replay},
                          (WorkDir / "view.out").string());
  std::this_thread::sleep_for(2s);
  const std::string main = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid);
  const auto cpu = [&main] {
    std::ifstream schedstat(main + "/schedstat");
    double ns = 0;
    schedstat >> ns;
    return ns / 1e9;
  };
  const double before = cpu();
  const auto start = Clock::now();
  std::this_thread::sleep_for(5s);
  const double share =
      100.0 * (cpu() - before) / std::chrono::duration<double>(Clock::now() - start).count();
  kill(pid, SIGTERM);
  Wait(pid);
  return share;
}

void ControllerView(const std::string& kestrova) {
  const double rest = ViewCost(kestrova, "view-rest.txt", false);
  Add("GUI thread, controller view open, at rest", rest, "%", "<= 2 %", rest <= 2.0);
  const double moving = ViewCost(kestrova, "view-moving.txt", true);
  Add("GUI thread, controller view open, stick moving", moving, "%", "<= 2 %", moving <= 2.0);
}

// 5000 key lines without delays: lines per second from the first record to the last.
void Throughput(const std::string& kestrova) {
  std::vector<std::string> lines;
  for (int i = 0; i < 2500; ++i) {
    lines.push_back("KEY DOWN a");
    lines.push_back("KEY UP a");
  }
  const std::string profile = Profile({{26, lines}});
  const std::string replay = Write("throughput.txt", "0 button 1 down\n8000 end\n");
  const std::string out = (WorkDir / "throughput.out").string();
  Wait(Spawn({kestrova, "--headless", "--output", "print", "--replay", replay, profile}, out));
  std::vector<double> times;
  for (const auto& line : Lines(out)) {
    if (line.find(" key ") != std::string::npos)
      times.push_back(std::stod(line.substr(0, line.find(' '))));
  }
  if (times.size() < 5000) {
    Rows.push_back({"executor throughput", std::to_string(times.size()) + " of 5000 lines",
                    ">= 900 lines/s", false});
    return;
  }
  const double rate = 4999 / ((times[4999] - times[0]) / 1000.0);
  Add("executor throughput (5000 key lines)", rate, "lines/s", ">= 900 lines/s", rate >= 900, 0);
}

// From process start to the window's first showing under X, and its resident memory then.
void StartUp(const std::string& kestrova) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    Rows.push_back({"start-up to the window", "skipped: no X display", "<= 500 ms", false});
    return;
  }
  std::vector<double> times;
  long rssKb = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = Clock::now();
    const pid_t pid = Spawn({kestrova, "--output", "print"}, (WorkDir / "startup.out").string());
    bool shown = false;
    while (!shown && Clock::now() - start < 10s) {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
      for (unsigned i = 0; i < count && !shown; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name) {
          shown = std::string(name) == "Kestrova" &&
                  XGetWindowAttributes(display, children[i], &attributes) &&
                  attributes.map_state == IsViewable;
          XFree(name);
        }
      }
      if (children) XFree(children);
      if (!shown) std::this_thread::sleep_for(1ms);
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::this_thread::sleep_for(200ms);
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("VmRSS:")) rssKb = std::max(rssKb, std::stol(line.substr(6)));
    }
    kill(pid, SIGTERM);
    Wait(pid);
  }
  XCloseDisplay(display);
  const double median = Percentile(times, 0.5);
  Add("start-up to the window (median of 5)", median, "ms", "<= 500 ms", median <= 500, 0);
  Add("resident memory after start-up", rssKb / 1024.0, "MB", "<= 60 MB", rssKb / 1024.0 <= 60, 1);
}

// The micro-benchmarks, through Google Benchmark's CSV output.
void Micro(const std::vector<std::string>& command) {
  const std::string out = (WorkDir / "micro.csv").string();
  std::vector<std::string> arguments = command;
  arguments.insert(arguments.end(), {"--benchmark_format=csv", "--benchmark_min_time=0.2"});
  Wait(Spawn(arguments, out));
  const std::map<std::string, std::pair<std::string, double>> goals = {
      {"BM_PollPassScripted", {"<= 20 us", 20e3}},
      {"BM_PollPassSdlVirtual", {"<= 20 us", 20e3}},
      {"BM_ProfileRead66x1000", {"<= 20 ms", 20e6}},
      {"BM_ProfileWrite66x1000", {"<= 20 ms", 20e6}}};
  std::map<std::string, double> measured;
  for (const auto& line : Lines(out)) {
    if (!line.starts_with("\"BM_")) continue;
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    if (cells.size() < 5) continue;
    const std::string name = cells[0].substr(1, cells[0].size() - 2);
    if (cells[2].empty()) {
      Rows.push_back({name, "skipped", "", true});
      continue;
    }
    const std::string unit = cells[4];
    const double scale = unit == "ns" ? 1 : unit == "us" ? 1e3 : unit == "ms" ? 1e6 : 1e9;
    const double ns = std::stod(cells[2]) * scale;
    measured[name] = ns;
    const auto goal = goals.find(name);
    const bool met = goal == goals.end() || ns <= goal->second.second;
    if (ns >= 1e6) {
      Add(name, ns / 1e6, "ms", goal == goals.end() ? "" : goal->second.first, met, 3);
    } else {
      Add(name, ns / 1e3, "us", goal == goals.end() ? "" : goal->second.first, met, 3);
    }
  }
  // The executor and routing against their earlier reading of lines and events, in this run.
  for (const auto& [figure, after, before, count] :
       {std::tuple{"executor: per line, a mix (after / before)", "BM_ExecutorLineMix",
                   "BM_ExecutorLineMixBefore", 13.0},
        std::tuple{"routing: one event (after / before)", "BM_RouteEvent", "BM_RouteEventBefore",
                   2.0}}) {
    if (!measured.contains(after) || !measured.contains(before)) continue;
    const double ratio = measured[after] / measured[before];
    Add(std::string(figure) + ", " + std::to_string(measured[after] / count).substr(0, 6) +
            " ns after",
        ratio, "x", "< 1", ratio < 1, 2);
  }
  // Layers and press types in use against a profile without them, in this run.
  if (measured.contains("BM_RouteEventLayered") && measured.contains("BM_RouteEvent")) {
    const double ratio = measured["BM_RouteEventLayered"] / measured["BM_RouteEvent"];
    Add("routing: one event with layers and press types (with / without), " +
            std::to_string(measured["BM_RouteEventLayered"] / 2).substr(0, 6) + " ns with",
        ratio, "x", "", true, 2);
  }
}

// Waking on input against the interval, from the wake benchmark's rows (a mocked evdev node).
void Wake(const std::string& bench) {
  const std::string out = (WorkDir / "wake.txt").string();
  Wait(Spawn({"/usr/bin/umockdev-wrapper", bench}, out));
  for (const auto& line : Lines(out)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() != 5) continue;
    Add(cells[0], std::stod(cells[1]), cells[2].c_str(), cells[3], cells[4] == "1", 3);
  }
}

// On a real kernel under QEMU (tests/kernel/boot): the pad's event to the key event for Kestrova
// and a reference mapper in the same boot, from the guest test's rows.
void KernelLatency(const std::string& boot, const std::string& guestTests) {
  const std::string out = (WorkDir / "kernel.txt").string();
  const fs::path build = fs::path(guestTests).parent_path().parent_path();
  const int status = Wait(Spawn(
      {boot, (build / "kernel-cache").string(), (build / "kernel-results").string(), guestTests,
       "--gtest_also_run_disabled_tests", "--gtest_filter=*Latency*:*TenThousandTaps*"},
      out));
  if (status == 77) {
    Rows.push_back({"kernel: pad event to key", "skipped: no QEMU or kernel", "", true});
    return;
  }
  for (const auto& line : Lines(out)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    if (cells.size() != 5 || !cells[0].starts_with("kernel:")) continue;
    Add(cells[0], std::stod(cells[1]), cells[2].c_str(), cells[3], cells[4] == "1", 3);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: kestrova_bench KESTROVA MICRO_BENCH UINPUT_BENCH WAKE_BENCH BARE_MAPPER "
                 "KERNEL_BOOT KERNEL_TESTS\n");
    return 2;
  }
  char pattern[] = "/tmp/kestrova-bench-XXXXXX";
  WorkDir = mkdtemp(pattern);
  std::fprintf(stderr, "measuring (about ten minutes)...\n");
  // KESTROVA_BENCH_ONLY=end-to-end, =aiming, =rest or =kernel measures that alone.
  const char* only = std::getenv("KESTROVA_BENCH_ONLY");
  const bool all = only == nullptr;
  if (all) Latency(argv[1], 10, 6, 11);
  if (all) Latency(argv[1], 1, 1.5, 3);
  if (all) Idle(argv[1]);
  if (all || std::string(only) == "rest") IdleAgainstBareMapper(argv[1], argv[5]);
  for (auto& row : all || std::string(only) == "end-to-end"
                       ? EndToEndLatency(argv[1], argv[5], WorkDir)
                       : std::vector<TEndToEndRow>{}) {
    std::fprintf(stderr, "  %-44s %s\n", row.Figure.c_str(), row.Value.c_str());
    Rows.push_back({row.Figure, row.Value, row.Goal, row.Met});
  }
  for (auto& row : all || std::string(only) == "aiming" ? AimingRows(argv[1], WorkDir)
                                                        : std::vector<TEndToEndRow>{}) {
    std::fprintf(stderr, "  %-44s %s\n", row.Figure.c_str(), row.Value.c_str());
    Rows.push_back({row.Figure, row.Value, row.Goal, row.Met});
  }
  if (all) {
    Throughput(argv[1]);
    StartUp(argv[1]);
    ControllerView(argv[1]);
    RulesIdle(argv[1]);
    Micro({argv[2]});
    Micro({"/usr/bin/umockdev-wrapper", argv[3]});  // the mocked /dev/uinput
    Wake(argv[4]);
  }
  if (all || std::string(only) == "kernel") KernelLatency(argv[6], argv[7]);
  fs::remove_all(WorkDir);

  std::size_t width = 6;
  for (const auto& row : Rows) width = std::max(width, row.Figure.size());
  std::printf("\n| %-*s | %-16s | %-14s |\n", static_cast<int>(width), "figure", "value", "goal");
  std::printf("|%s|%s|%s|\n", std::string(width + 2, '-').c_str(), std::string(18, '-').c_str(),
              std::string(16, '-').c_str());
  int missed = 0;
  for (const auto& row : Rows) {
    const std::string goal = row.Goal.empty() ? "" : row.Goal + (row.Met ? "" : " MISSED");
    missed += row.Met ? 0 : 1;
    std::printf("| %-*s | %-16s | %-14s |\n", static_cast<int>(width), row.Figure.c_str(),
                row.Value.c_str(), goal.c_str());
  }
  std::printf("\n%d goal(s) missed\n", missed);
  return 0;
}
