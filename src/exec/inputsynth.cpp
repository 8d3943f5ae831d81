#include "inputsynth.h"

#include "platform/KeyNames.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrova {

namespace {

// KEYEVENTF_EXTENDEDKEY for the named keys that need it (the keypad's Enter), else 0.
std::uint32_t ExtendedFlag(std::string_view keyName) {
  const auto named = FindNamedKey(keyName);
  return named && named->Extended ? KEYEVENTF_EXTENDEDKEY : 0;
}

constexpr std::string_view ShiftedCharacters = "!\"#$%&()*+:<>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ^_{|}~";

// Saturating conversion: the arithmetic below can leave the 32-bit range for absurd inputs, and
// an out-of-range conversion must not be undefined.
std::int32_t ToInt32(long double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<long double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value <= static_cast<long double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

// A screen size of 0 (a failed metrics call) would divide by zero.
long double ScreenSpan(int pixels) {
  return pixels > 0 ? pixels : 1;
}

}  // namespace

std::uint16_t KeyNameToVk(TInjector& injector, std::string_view keyName) {
  if (const auto named = FindNamedKey(keyName)) return named->Vk;
  if (keyName.empty()) return 0;
  return static_cast<std::uint16_t>(injector.VkKeyScanA(keyName[0]));
}

bool NeedsShift(std::string_view keyName) {
  return keyName.size() == 1 && ShiftedCharacters.find(keyName[0]) != std::string_view::npos;
}

void PressKey(TInjector& injector, std::string_view keyName) {
  if (keyName.empty()) return;
  const bool shift = NeedsShift(keyName);
  if (shift) injector.keybd_event(VK_SHIFT, 0, 0, 0);
  try {
    injector.keybd_event(static_cast<std::uint8_t>(KeyNameToVk(injector, keyName)), 0,
                         ExtendedFlag(keyName), 0);
  } catch (...) {
    // An output that cannot type the key: nothing of this line stays down.
    if (shift) injector.keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    throw;
  }
}

void ReleaseKey(TInjector& injector, std::string_view keyName) {
  if (keyName.empty()) return;
  injector.keybd_event(static_cast<std::uint8_t>(KeyNameToVk(injector, keyName)), 0,
                       KEYEVENTF_KEYUP | ExtendedFlag(keyName), 0);
  if (NeedsShift(keyName)) injector.keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
}

int CursorX(TInjector& injector) {
  TPoint point;
  injector.GetCursorPos(point);
  return point.x;
}

int CursorY(TInjector& injector) {
  TPoint point;
  injector.GetCursorPos(point);
  return point.y;
}

int ScreenWidthOf(TInjector& injector) {
  return injector.GetSystemMetrics(SM_CXSCREEN);
}
int ScreenHeightOf(TInjector& injector) {
  return injector.GetSystemMetrics(SM_CYSCREEN);
}

void MoveMouseAbsolute(TInjector& injector, int x, int y) {
  const long double width = ScreenSpan(ScreenWidthOf(injector));
  const long double height = ScreenSpan(ScreenHeightOf(injector));
  const std::int32_t nx = ToInt32(std::nearbyint(x * (65535.0L / width)));
  const std::int32_t ny = ToInt32(std::nearbyint(y * (65535.0L / height)));
  injector.mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, nx, ny, 0, 0);
}

void MoveMouseRelative(TInjector& injector, int dx, int dy) {
  if (!injector.PointerReadable()) {
    injector.mouse_event(MOUSEEVENTF_MOVE, dx, dy, 0, 0);
    return;
  }
  const long double kx = 65536.0L / ScreenSpan(ScreenWidthOf(injector));
  const std::int32_t nx =
      ToInt32(std::trunc(kx * (static_cast<long long>(dx) + CursorX(injector))));
  const long double ky = 65536.0L / ScreenSpan(ScreenHeightOf(injector));
  const std::int32_t ny =
      ToInt32(std::trunc(ky * (static_cast<long long>(dy) + CursorY(injector))));
  injector.mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, nx, ny, 0, 0);
}

void MouseButton(TInjector& injector, std::string_view button, std::string_view action) {
  const bool press = action == "PRESS";
  std::uint32_t flags = MOUSEEVENTF_ABSOLUTE;
  std::uint32_t data = 0;
  if (button == "LEFT") {
    flags |= press ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  } else if (button == "MIDDLE") {
    flags |= press ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
  } else if (button == "BACK" || button == "FORWARD") {
    flags |= press ? MOUSEEVENTF_XDOWN : MOUSEEVENTF_XUP;
    data = button == "BACK" ? XBUTTON1 : XBUTTON2;
  } else {
    flags |= press ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
  }
  const int y = CursorY(injector);
  const int x = CursorX(injector);
  injector.mouse_event(flags, x, y, data, 0);
}

void MouseWheel(TInjector& injector, int notches, bool horizontal) {
  const long long data = static_cast<long long>(notches) * WHEEL_DELTA;
  const auto clamped = static_cast<std::int32_t>(std::clamp<long long>(
      data, std::numeric_limits<std::int32_t>::min() / WHEEL_DELTA * WHEEL_DELTA,
      std::numeric_limits<std::int32_t>::max() / WHEEL_DELTA * WHEEL_DELTA));
  injector.mouse_event(horizontal ? MOUSEEVENTF_HWHEEL : MOUSEEVENTF_WHEEL, 0, 0,
                       static_cast<std::uint32_t>(clamped), 0);
}

}  // namespace kestrova
