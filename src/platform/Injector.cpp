#include "Injector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kestrova {

std::int16_t UsVkKeyScan(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if (c >= 'a' && c <= 'z') return static_cast<std::int16_t>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return static_cast<std::int16_t>(0x100 | c);
  if (c >= '0' && c <= '9') return static_cast<std::int16_t>(c);
  // The shifted digit row, from ')' on 0 to '(' on 9.
  static constexpr char shiftedDigits[] = ")!@#$%^&*(";
  if (const char* p = std::strchr(shiftedDigits, c); p != nullptr && c != 0) {
    return static_cast<std::int16_t>(0x100 | ('0' + (p - shiftedDigits)));
  }
  struct TOemKey {
    char plain;
    char shifted;
    std::uint8_t vk;
  };
  static constexpr TOemKey oemKeys[] = {
      {';', ':', 0xBA},  {'=', '+', 0xBB}, {',', '<', 0xBC},  {'-', '_', 0xBD},
      {'.', '>', 0xBE},  {'/', '?', 0xBF}, {'`', '~', 0xC0},  {'[', '{', 0xDB},
      {'\\', '|', 0xDC}, {']', '}', 0xDD}, {'\'', '"', 0xDE},
  };
  for (const auto& key : oemKeys) {
    if (c == static_cast<unsigned char>(key.plain)) return key.vk;
    if (c == static_cast<unsigned char>(key.shifted))
      return static_cast<std::int16_t>(0x100 | key.vk);
  }
  switch (c) {
    case ' ':
      return VK_SPACE;
    case '\t':
      return VK_TAB;
    case '\r':
      return VK_RETURN;
    case '\b':
      return VK_BACK;
    case 0x1B:
      return VK_ESCAPE;
    default:
      return -1;
  }
}

std::string FormatKeyCall(std::uint8_t vk, std::uint32_t flags) {
  char text[32];
  std::snprintf(text, sizeof text, "key 0x%02X %s", vk, (flags & KEYEVENTF_KEYUP) ? "up" : "down");
  return text;
}

std::string FormatMouseCall(std::uint32_t flags, std::int32_t dx, std::int32_t dy) {
  char text[64];
  std::snprintf(text, sizeof text, "mouse 0x%04X %d %d", flags, dx, dy);
  return text;
}

void TInjector::keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                            std::uintptr_t dwExtraInfo) {
  const bool up = (dwFlags & KEYEVENTF_KEYUP) != 0;
  if (!up) DoKeybdEvent(bVk, bScan, dwFlags, dwExtraInfo);  // may refuse the key
  {
    std::lock_guard lock(FHeldLock);
    auto held = std::find(FHeldKeys.begin(), FHeldKeys.end(), bVk);
    if (up) {
      if (held != FHeldKeys.end()) FHeldKeys.erase(held);
    } else if (held == FHeldKeys.end()) {
      FHeldKeys.push_back(bVk);
    }
  }
  if (up) DoKeybdEvent(bVk, bScan, dwFlags, dwExtraInfo);
}

void TInjector::mouse_event(std::uint32_t dwFlags, std::int32_t dx, std::int32_t dy,
                            std::uint32_t dwData, std::uintptr_t dwExtraInfo) {
  {
    std::lock_guard lock(FHeldLock);
    if (dwFlags & MOUSEEVENTF_LEFTDOWN) FLeftHeld = true;
    if (dwFlags & MOUSEEVENTF_LEFTUP) FLeftHeld = false;
    if (dwFlags & MOUSEEVENTF_RIGHTDOWN) FRightHeld = true;
    if (dwFlags & MOUSEEVENTF_RIGHTUP) FRightHeld = false;
  }
  DoMouseEvent(dwFlags, dx, dy, dwData, dwExtraInfo);
}

void TInjector::ReleaseHeld() {
  std::vector<std::uint8_t> keys;
  bool left = false;
  bool right = false;
  {
    std::lock_guard lock(FHeldLock);
    keys.swap(FHeldKeys);
    std::swap(left, FLeftHeld);
    std::swap(right, FRightHeld);
  }
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    DoKeybdEvent(*key, 0, KEYEVENTF_KEYUP, 0);
  }
  if (left || right) {
    TPoint cursor;
    GetCursorPos(cursor);
    if (left) DoMouseEvent(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP, cursor.x, cursor.y, 0, 0);
    if (right) DoMouseEvent(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_RIGHTUP, cursor.x, cursor.y, 0, 0);
  }
}

std::vector<std::uint8_t> TInjector::HeldKeys() const {
  std::lock_guard lock(FHeldLock);
  return FHeldKeys;
}

int FixedScreenMetric(int index, int width, int height) {
  if (index == SM_CXSCREEN) return width;
  if (index == SM_CYSCREEN) return height;
  return 0;
}

TPoint PointerAfterMouseEvent(TPoint cursor, std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                              int width, int height) {
  if (!(flags & MOUSEEVENTF_MOVE)) return cursor;
  double x = cursor.x + static_cast<double>(dx);
  double y = cursor.y + static_cast<double>(dy);
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    x = std::round(static_cast<double>(dx) * width / 65536.0);
    y = std::round(static_cast<double>(dy) * height / 65536.0);
  }
  return {static_cast<std::int32_t>(std::clamp(x, 0.0, std::max(width - 1, 0) * 1.0)),
          static_cast<std::int32_t>(std::clamp(y, 0.0, std::max(height - 1, 0) * 1.0))};
}

}  // namespace kestrova
