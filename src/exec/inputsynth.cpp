#include "inputsynth.h"

#include <array>
#include <cmath>
#include <limits>

namespace kestrova {

namespace {

struct TNamedKey {
  std::string_view name;
  std::uint16_t vk;
};

constexpr std::array<TNamedKey, 24> NamedKeys = {{
    {"SPACE", VK_SPACE}, {"TAB", VK_TAB},    {"SHIFT", VK_SHIFT},   {"ENTER", VK_RETURN},
    {"BS", VK_BACK},     {"ESC", VK_ESCAPE}, {"ESCAPE", VK_ESCAPE}, {"ALT", VK_MENU},
    {"F1", 0x70},        {"F2", 0x71},       {"F3", 0x72},          {"F4", 0x73},
    {"F5", 0x74},        {"F6", 0x75},       {"F7", 0x76},          {"F8", 0x77},
    {"F9", 0x78},        {"F10", 0x79},      {"F11", 0x7A},         {"F12", 0x7B},
    {"UP", VK_UP},       {"DOWN", VK_DOWN},  {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
}};

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
  for (const auto& key : NamedKeys) {
    if (key.name == keyName) return key.vk;
  }
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
    injector.keybd_event(static_cast<std::uint8_t>(KeyNameToVk(injector, keyName)), 0, 0, 0);
  } catch (...) {
    // An output that cannot type the key: nothing of this line stays down.
    if (shift) injector.keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    throw;
  }
}

void ReleaseKey(TInjector& injector, std::string_view keyName) {
  if (keyName.empty()) return;
  injector.keybd_event(static_cast<std::uint8_t>(KeyNameToVk(injector, keyName)), 0,
                       KEYEVENTF_KEYUP, 0);
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
  const bool left = button == "LEFT";
  const bool press = action == "PRESS";
  std::uint32_t flags = MOUSEEVENTF_ABSOLUTE;
  if (left) {
    flags |= press ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  } else {
    flags |= press ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
  }
  const int y = CursorY(injector);
  const int x = CursorX(injector);
  injector.mouse_event(flags, x, y, 0, 0);
}

}  // namespace kestrova
