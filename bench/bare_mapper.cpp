// For comparison with Kestrova: the least a mapper does. A virtual joystick inside (SDL's, as
// Kestrova's --replay has), a timeline played on it, the joystick's whole state (six axes, 32
// buttons, the hat) read on absolute deadlines of the interval, and button 1 typed as the key A
// through XTest.
//
//   kestrova_bare_mapper TIMELINE INTERVAL_MS
//
// The timeline has the --replay format's "<ms> button 1 down|up" and "<ms> end" entries. Prints
// "replay times count from <s> s (monotonic)" to standard error as Kestrova does.

#include <SDL.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// Where the reads go, so that they are made.
volatile long ReadState = 0;

struct TEntry {
  double Time;  // milliseconds
  int Down;     // 1 down, 0 up, -1 end
};

timespec AsTimespec(std::chrono::steady_clock::time_point at) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch());
  return {static_cast<time_t>(ns.count() / 1000000000), static_cast<long>(ns.count() % 1000000000)};
}

void SleepUntil(std::chrono::steady_clock::time_point at) {
  const timespec deadline = AsTimespec(at);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kestrova_bare_mapper TIMELINE INTERVAL_MS\n");
    return 2;
  }
  std::vector<TEntry> entries;
  std::ifstream file(argv[1]);
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    double time = 0;
    std::string kind, button, state;
    if (!(words >> time >> kind)) continue;
    if (kind == "end") entries.push_back({time, -1});
    if (kind == "button" && words >> button >> state) entries.push_back({time, state == "down"});
  }
  const std::chrono::milliseconds interval(std::stoi(argv[2]));

  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  const KeyCode key = XKeysymToKeycode(display, XK_a);
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_JOYSTICK) != 0) return 2;
  SDL_JoystickEventState(SDL_IGNORE);
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 6, 32, 1);
  SDL_Joystick* stick = SDL_JoystickOpen(index);
  if (stick == nullptr) return 2;

  const auto start = std::chrono::steady_clock::now();
  std::fprintf(stderr, "replay times count from %.6f s (monotonic)\n",
               std::chrono::duration<double>(start.time_since_epoch()).count());
  std::atomic<bool> ended{false};
  std::thread player([&] {
    for (const TEntry& entry : entries) {
      SleepUntil(start + std::chrono::microseconds(std::llround(entry.Time * 1000)));
      if (entry.Down < 0) break;
      SDL_JoystickSetVirtualButton(stick, 0, entry.Down ? SDL_PRESSED : SDL_RELEASED);
    }
    ended = true;
  });
  bool down = false;
  for (auto deadline = start; !ended; SleepUntil(deadline += interval)) {
    SDL_JoystickUpdate();
    // What a mapper reads: everything the controller has, whatever it maps.
    long sum = SDL_JoystickGetHat(stick, 0);
    for (int axis = 0; axis < 6; ++axis) sum += SDL_JoystickGetAxis(stick, axis);
    for (int button = 1; button < 32; ++button) sum += SDL_JoystickGetButton(stick, button);
    ReadState = sum;
    const bool now = SDL_JoystickGetButton(stick, 0) != 0;
    if (now == down) continue;
    down = now;
    XTestFakeKeyEvent(display, key, down, CurrentTime);
    XFlush(display);
  }
  player.join();
  if (down) XTestFakeKeyEvent(display, key, False, CurrentTime);
  XCloseDisplay(display);
  SDL_JoystickClose(stick);
  SDL_Quit();
  return 0;
}
