#pragma once
// Waiting for X events in tests: the events a predicate keeps, in order, until enough arrived or
// the time is up. Include after GoogleTest and Qt (Xlib's macros clash with their names).

#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <vector>

namespace kestrova::testing {

inline std::vector<XEvent> CollectXEvents(
    Display* display, const std::function<bool(const XEvent&)>& keep, std::size_t count,
    std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
  std::vector<XEvent> kept;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  XFlush(display);
  while (kept.size() < count) {
    while (kept.size() < count && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (keep(event)) kept.push_back(event);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (kept.size() >= count || left.count() <= 0) break;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    ::poll(&fd, 1, static_cast<int>(left.count()));
  }
  return kept;
}

}  // namespace kestrova::testing
