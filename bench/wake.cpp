// Waking on controller input against waking on an interval, measured on the poll thread with a
// mocked evdev node (umockdev: run under umockdev-wrapper). There is no real pad here, and SDL
// cannot read a mocked node, so the controller's state comes from a scripted service and the
// event written to the node is what wakes the thread: latency is from that write to the button
// event the routing gets. Prints "figure|value|unit|goal|met" rows for kestrova_bench.

#include <fcntl.h>
#include <linux/input.h>
#include <umockdev.h>
#include <unistd.h>

#include <sys/syscall.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/ScriptedJoyService.h"
#include "joystick/Jstick.h"
#include "platform/evdev/EvdevWake.h"

namespace {

using namespace kestrova;
using Clock = std::chrono::steady_clock;

void Row(const std::string& figure, double value, const char* unit, const char* goal, bool met) {
  std::printf("%s|%.3f|%s|%s|%d\n", figure.c_str(), value, unit, goal, met ? 1 : 0);
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * (values.size() - 1))];
}

// CPU seconds and context switches of one thread.
std::pair<double, long> ThreadUsage(long tid) {
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  std::ifstream schedstat(task + "/schedstat");
  double ns = 0;
  schedstat >> ns;
  long switches = 0;
  std::ifstream status(task + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("voluntary_ctxt_switches:") ||
        line.starts_with("nonvoluntary_ctxt_switches:")) {
      switches += std::stol(line.substr(line.find(':') + 1));
    }
  }
  return {ns / 1e9, switches};
}

void Measure(const std::string& mode, int node, std::uint32_t interval, bool input,
             const char* p50Goal, double p50Limit, const char* p99Goal, double p99Limit) {
  TScriptedJoyService service;
  service.SetDevicePath(0, input ? "/dev/input/event5" : "");
  const auto wake = CreateEvdevWakeSource(service);
  TJstick stick(service);
  std::atomic<int> events{0};
  std::atomic<long> pollTid{0};
  stick.OnButton = [&](TObject*, int, bool) {
    pollTid = static_cast<long>(::syscall(SYS_gettid));
    ++events;
  };
  stick.SetThreadIntensity(interval);
  if (input) stick.SetWakeSource(wake.get());
  stick.SetEnablePolling(true);
  // One pass made: with input wake-ups the thread now waits for input, and makes no more.
  while (stick.PollPasses() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  std::vector<double> latencies;
  for (int i = 0; i < 500; ++i) {
    const int before = events;
    service.SetButtons(0, (i % 2 == 0) ? 1u : 0u);
    input_event frame[2] = {};
    frame[0].type = EV_KEY;
    frame[0].code = BTN_SOUTH;
    frame[0].value = i % 2 == 0;
    frame[1].type = EV_SYN;
    const auto written = Clock::now();
    (void)!::write(node, frame, sizeof frame);
    while (events == before) std::this_thread::yield();
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - written).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + i % 7));  // not in step
  }
  const double p50 = Percentile(latencies, 0.5);
  const double p99 = Percentile(latencies, 0.99);
  Row("latency, " + mode + ", p50 (500 presses)", p50, "ms", p50Goal, p50 <= p50Limit);
  Row("latency, " + mode + ", p99", p99, "ms", p99Goal, p99 <= p99Limit);

  // Idle: the pad attached, nothing happening.
  const auto [cpu0, switches0] = ThreadUsage(pollTid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const auto [cpu1, switches1] = ThreadUsage(pollTid);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const double share = 100.0 * (cpu1 - cpu0) / wall;
  const double wakeups = (switches1 - switches0) / wall;
  if (input) {
    Row("poll thread idle, " + mode, share, "%", "<= 0.05 %", share <= 0.05);
    Row("poll thread wake-ups idle, " + mode, wakeups, "/s", "<= 1 /s", wakeups <= 1);
  } else {
    Row("poll thread idle, " + mode, share, "%", "", true);
    Row("poll thread wake-ups idle, " + mode, wakeups, "/s", "", true);
  }
  stick.SetEnablePolling(false);
  stick.WaitForPollThread();
}

}  // namespace

int main() {
  UMockdevTestbed* testbed = umockdev_testbed_new();
  umockdev_testbed_add_from_string(testbed,
                                   "P: /devices/virtual/input/input9/event5\nN: input/event5\n"
                                   "E: DEVNAME=/dev/input/event5\nE: SUBSYSTEM=input\n"
                                   "E: ID_INPUT=1\nE: ID_INPUT_JOYSTICK=1\nA: dev=13:69\n",
                                   nullptr);
  const int node = umockdev_testbed_get_dev_fd(testbed, "/dev/input/event5");
  if (node < 0) {
    std::fprintf(stderr, "no mocked node: run under umockdev-wrapper\n");
    return 1;
  }
  // Nobody reads the node in interval mode: a full node must not block the writer.
  ::fcntl(node, F_SETFL, ::fcntl(node, F_GETFL) | O_NONBLOCK);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Measure("wake on input", node, 10, true, "<= 0.5 ms", 0.5, "<= 1.5 ms", 1.5);
  Measure("10 ms interval", node, 10, false, "", 1e9, "", 1e9);
  Measure("1 ms interval", node, 1, false, "", 1e9, "", 1e9);
  g_object_unref(testbed);
  return 0;
}
