#pragma once
// Input injection: the keyboard and mouse calls the executor makes, with their Windows names,
// codes and flags. Backends implement the Do... calls; this base keeps track of the keys and
// mouse buttons that were pressed through it and not yet released, so that they can be let go
// at shutdown.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace kestrova {

constexpr std::uint32_t KEYEVENTF_EXTENDEDKEY = 0x0001;  // with VK_RETURN: the keypad's Enter
constexpr std::uint32_t KEYEVENTF_KEYUP = 0x0002;
constexpr std::uint32_t MOUSEEVENTF_MOVE = 0x0001;
constexpr std::uint32_t MOUSEEVENTF_LEFTDOWN = 0x0002;
constexpr std::uint32_t MOUSEEVENTF_LEFTUP = 0x0004;
constexpr std::uint32_t MOUSEEVENTF_RIGHTDOWN = 0x0008;
constexpr std::uint32_t MOUSEEVENTF_RIGHTUP = 0x0010;
constexpr std::uint32_t MOUSEEVENTF_MIDDLEDOWN = 0x0020;
constexpr std::uint32_t MOUSEEVENTF_MIDDLEUP = 0x0040;
constexpr std::uint32_t MOUSEEVENTF_XDOWN = 0x0080;  // dwData: XBUTTON1 (back) or XBUTTON2
constexpr std::uint32_t MOUSEEVENTF_XUP = 0x0100;
constexpr std::uint32_t MOUSEEVENTF_WHEEL = 0x0800;   // dwData: signed, WHEEL_DELTA a notch,
constexpr std::uint32_t MOUSEEVENTF_HWHEEL = 0x1000;  // away from the user / to the right
constexpr std::uint32_t XBUTTON1 = 1;
constexpr std::uint32_t XBUTTON2 = 2;
constexpr std::int32_t WHEEL_DELTA = 120;
constexpr std::uint32_t MOUSEEVENTF_ABSOLUTE = 0x8000;
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr std::uint8_t VK_BACK = 0x08;
constexpr std::uint8_t VK_TAB = 0x09;
constexpr std::uint8_t VK_RETURN = 0x0D;
constexpr std::uint8_t VK_SHIFT = 0x10;
constexpr std::uint8_t VK_CONTROL = 0x11;
constexpr std::uint8_t VK_MENU = 0x12;
constexpr std::uint8_t VK_ESCAPE = 0x1B;
constexpr std::uint8_t VK_SPACE = 0x20;
constexpr std::uint8_t VK_LEFT = 0x25;
constexpr std::uint8_t VK_UP = 0x26;
constexpr std::uint8_t VK_RIGHT = 0x27;
constexpr std::uint8_t VK_DOWN = 0x28;
constexpr std::uint8_t VK_F1 = 0x70;

struct TPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The US-layout answer of VkKeyScanA: key code in the low byte, shift state (1 = Shift) in the
// high byte, -1 for a character the layout cannot type.
std::int16_t UsVkKeyScan(char ch);

// "key 0x41 (A) down", "mouse 0x8001 32768 32768": the one-line form of an injected call. A key
// is named by its key name or its US character where it has one; a call with data (an X button,
// the wheel) shows the data as a fourth field, signed.
std::string FormatKeyCall(std::uint8_t vk, std::uint32_t flags);
std::string FormatMouseCall(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                            std::uint32_t data = 0);

// GetSystemMetrics of an output with a screen of a known size: the width for SM_CXSCREEN, the
// height for SM_CYSCREEN, 0 for anything else.
int FixedScreenMetric(int index, int width, int height);

// Where a pointer at cursor lands after mouse_event(flags, dx, dy) on a width x height screen, as
// a real pointer does: absolute coordinates span 0..65536 across the screen, and the pointer
// never leaves the screen. Other flags leave it where it is.
TPoint PointerAfterMouseEvent(TPoint cursor, std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                              int width, int height);

// Thread-safe: the calls may come from any thread; backends serialise their own connection.
class TInjector {
 public:
  virtual ~TInjector() = default;

  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags,
                   std::uintptr_t dwExtraInfo);
  void mouse_event(std::uint32_t dwFlags, std::int32_t dx, std::int32_t dy, std::uint32_t dwData,
                   std::uintptr_t dwExtraInfo);
  virtual std::int16_t VkKeyScanA(char ch) { return UsVkKeyScan(ch); }
  // False for outputs that cannot know where the pointer is (a Wayland desktop tells no
  // program): moves are then sent as relative motion and GetCursorPos fails.
  virtual bool PointerReadable() const { return true; }
  virtual bool GetCursorPos(TPoint& point) = 0;
  virtual int GetSystemMetrics(int index) = 0;

  // keybd_event: a key down that the output refuses (it throws) is not held afterwards.

  // Releases, newest first, every key and mouse button pressed through this injector and not
  // released since. Called at shutdown, after the threads that inject have ended.
  void ReleaseHeld();

  // The codes of the keys held, in press order (the keypad's Enter as VK_RETURN).
  std::vector<std::uint8_t> HeldKeys() const;

 protected:
  virtual void DoKeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                            std::uintptr_t extra) = 0;
  virtual void DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                            std::uint32_t data, std::uintptr_t extra) = 0;

 private:
  // A held key: its code, and KEYEVENTF_EXTENDEDKEY where the keypad's Enter was pressed.
  struct THeldKey {
    std::uint8_t Vk;
    std::uint32_t Extended;
    bool operator==(const THeldKey&) const = default;
  };
  mutable std::mutex FHeldLock;
  std::vector<THeldKey> FHeldKeys;  // in press order
  bool FLeftHeld = false;
  bool FRightHeld = false;
  bool FMiddleHeld = false;
  bool FBackHeld = false;
  bool FForwardHeld = false;
};

}  // namespace kestrova
