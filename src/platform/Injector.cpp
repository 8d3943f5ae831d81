#include "Injector.h"

#include "platform/KeyNames.h"
#include "platform/Keysyms.h"

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
  std::string name(KeyNameOfVk(vk, (flags & KEYEVENTF_EXTENDEDKEY) != 0));
  if (name.empty() && IsCharacterKeysym(UsKeysymOfVk(vk))) {
    name = std::string(1, static_cast<char>(UsKeysymOfVk(vk)));
  }
  char text[48];
  std::snprintf(text, sizeof text, "key 0x%02X%s%s%s %s", vk, name.empty() ? "" : " (",
                name.c_str(), name.empty() ? "" : ")", (flags & KEYEVENTF_KEYUP) ? "up" : "down");
  return text;
}

std::string FormatMouseCall(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                            std::uint32_t data) {
  char text[80];
  if (flags & (MOUSEEVENTF_XDOWN | MOUSEEVENTF_XUP | MOUSEEVENTF_WHEEL | MOUSEEVENTF_HWHEEL)) {
    std::snprintf(text, sizeof text, "mouse 0x%04X %d %d %d", flags, dx, dy,
                  static_cast<std::int32_t>(data));
  } else {
    std::snprintf(text, sizeof text, "mouse 0x%04X %d %d", flags, dx, dy);
  }
  return text;
}

void TInjector::keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                            std::uintptr_t dwExtraInfo) {
  const bool up = (dwFlags & KEYEVENTF_KEYUP) != 0;
  if (!up) DoKeybdEvent(bVk, bScan, dwFlags, dwExtraInfo);  // may refuse the key
  {
    std::lock_guard lock(FHeldLock);
    const THeldKey key{bVk, dwFlags & KEYEVENTF_EXTENDEDKEY};
    auto held = std::find(FHeldKeys.begin(), FHeldKeys.end(), key);
    if (up) {
      if (held != FHeldKeys.end()) FHeldKeys.erase(held);
    } else if (held == FHeldKeys.end()) {
      FHeldKeys.push_back(key);
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
    if (dwFlags & MOUSEEVENTF_MIDDLEDOWN) FMiddleHeld = true;
    if (dwFlags & MOUSEEVENTF_MIDDLEUP) FMiddleHeld = false;
    if (dwFlags & (MOUSEEVENTF_XDOWN | MOUSEEVENTF_XUP)) {
      bool& held = dwData == XBUTTON1 ? FBackHeld : FForwardHeld;
      held = (dwFlags & MOUSEEVENTF_XDOWN) != 0;
    }
  }
  DoMouseEvent(dwFlags, dx, dy, dwData, dwExtraInfo);
}

void TInjector::ReleaseHeld() {
  std::vector<THeldKey> keys;
  bool left = false;
  bool right = false;
  bool middle = false;
  bool back = false;
  bool forward = false;
  {
    std::lock_guard lock(FHeldLock);
    keys.swap(FHeldKeys);
    std::swap(left, FLeftHeld);
    std::swap(right, FRightHeld);
    std::swap(middle, FMiddleHeld);
    std::swap(back, FBackHeld);
    std::swap(forward, FForwardHeld);
  }
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    DoKeybdEvent(key->Vk, 0, KEYEVENTF_KEYUP | key->Extended, 0);
  }
  if (left || right || middle || back || forward) {
    TPoint cursor;
    GetCursorPos(cursor);
    const auto up = [&](std::uint32_t flag, std::uint32_t data = 0) {
      DoMouseEvent(MOUSEEVENTF_ABSOLUTE | flag, cursor.x, cursor.y, data, 0);
    };
    if (left) up(MOUSEEVENTF_LEFTUP);
    if (right) up(MOUSEEVENTF_RIGHTUP);
    if (middle) up(MOUSEEVENTF_MIDDLEUP);
    if (back) up(MOUSEEVENTF_XUP, XBUTTON1);
    if (forward) up(MOUSEEVENTF_XUP, XBUTTON2);
  }
}

std::vector<std::uint8_t> TInjector::HeldKeys() const {
  std::lock_guard lock(FHeldLock);
  std::vector<std::uint8_t> codes;
  for (const THeldKey& key : FHeldKeys) codes.push_back(key.Vk);
  return codes;
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
