#include "X11Injector.h"

#include "platform/Keysyms.h"

#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

namespace kestrova {

namespace {

// Xlib calls this when the connection to the server breaks, and ends the process when it returns.
// Nothing can be injected or released any more: say so, with the exit code of a failure at run
// time (not 1, which --check uses for problems found).
int OnConnectionLost(Display*) {
  static constexpr char message[] = "kestrova: lost the connection to the X display\n";
  (void)!::write(STDERR_FILENO, message, sizeof message - 1);
  ::_exit(3);
}

// A wheel line of absurd size clicks this many times at most.
constexpr std::int32_t MaxNotchesACall = 1000;

class TX11Injector : public TInjector {
 public:
  explicit TX11Injector(Display* display) : FDisplay(display) {}
  ~TX11Injector() override {
    // The spare keys lent to keysyms the layout lacks are given back.
    for (const auto& [sym, code] : FLent) {
      KeySym none = NoSymbol;
      XChangeKeyboardMapping(FDisplay, code, 1, &none, 1);
    }
    XCloseDisplay(FDisplay);
  }

  bool GetCursorPos(TPoint& point) override {
    std::lock_guard lock(FLock);
    Window root = DefaultRootWindow(FDisplay);
    Window rootReturn = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int winX = 0;
    int winY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(FDisplay, root, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask)) {
      return false;
    }
    point = {rootX, rootY};
    return true;
  }

  int GetSystemMetrics(int index) override {
    std::lock_guard lock(FLock);
    const int screen = DefaultScreen(FDisplay);
    if (index == SM_CXSCREEN) return DisplayWidth(FDisplay, screen);
    if (index == SM_CYSCREEN) return DisplayHeight(FDisplay, screen);
    return 0;
  }

 protected:
  void DoKeybdEvent(std::uint8_t vk, std::uint8_t, std::uint32_t flags, std::uintptr_t) override {
    std::lock_guard lock(FLock);
    const KeySym sym = UsKeysymOfKey(vk, flags);
    if (sym == NoKeysym) return;
    KeyCode code = XKeysymToKeycode(FDisplay, sym);
    // The right Alt key of a layout that makes it AltGr.
    if (code == 0 && sym == XK_Alt_R) code = XKeysymToKeycode(FDisplay, XK_ISO_Level3_Shift);
    if (code == 0) code = LendSpareKey(sym);
    if (code == 0) return;
    XTestFakeKeyEvent(FDisplay, code, (flags & KEYEVENTF_KEYUP) ? False : True, CurrentTime);
    XFlush(FDisplay);
  }

  void DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                    std::uintptr_t) override {
    std::lock_guard lock(FLock);
    if (flags & MOUSEEVENTF_MOVE) {
      if (flags & MOUSEEVENTF_ABSOLUTE) {
        const int screen = DefaultScreen(FDisplay);
        const double width = DisplayWidth(FDisplay, screen);
        const double height = DisplayHeight(FDisplay, screen);
        const int x = static_cast<int>(std::lround(std::clamp(dx * width / 65536.0, -1e6, 1e6)));
        const int y = static_cast<int>(std::lround(std::clamp(dy * height / 65536.0, -1e6, 1e6)));
        XTestFakeMotionEvent(FDisplay, screen, x, y, CurrentTime);
      } else {
        XTestFakeRelativeMotionEvent(FDisplay, dx, dy, CurrentTime);
      }
    }
    const auto button = [this](unsigned number, bool down) {
      XTestFakeButtonEvent(FDisplay, number, down ? True : False, CurrentTime);
    };
    if (flags & MOUSEEVENTF_LEFTDOWN) button(1, true);
    if (flags & MOUSEEVENTF_LEFTUP) button(1, false);
    if (flags & MOUSEEVENTF_RIGHTDOWN) button(3, true);
    if (flags & MOUSEEVENTF_RIGHTUP) button(3, false);
    if (flags & MOUSEEVENTF_MIDDLEDOWN) button(2, true);
    if (flags & MOUSEEVENTF_MIDDLEUP) button(2, false);
    if (flags & (MOUSEEVENTF_XDOWN | MOUSEEVENTF_XUP)) {
      button(data == XBUTTON1 ? 8 : 9, (flags & MOUSEEVENTF_XDOWN) != 0);
    }
    // The wheel is buttons to X: 4 away from the user, 5 towards, 6 left, 7 right; a click a notch.
    const auto wheel = [&button, data](unsigned positive, unsigned negative) {
      const auto notches = static_cast<std::int32_t>(data) / WHEEL_DELTA;
      for (std::int32_t i = 0; i < std::min(std::abs(notches), MaxNotchesACall); ++i) {
        button(notches > 0 ? positive : negative, true);
        button(notches > 0 ? positive : negative, false);
      }
    };
    if (flags & MOUSEEVENTF_WHEEL) wheel(4, 5);
    if (flags & MOUSEEVENTF_HWHEEL) wheel(7, 6);
    XFlush(FDisplay);
  }

 private:
  // A key that the layout leaves empty, given keysym (F13 .. F24 and the like that the layout has
  // no key for), as command-line tools that type do; 0 when no key is free. FLock held.
  KeyCode LendSpareKey(KeySym sym) {
    if (const auto lent = FLent.find(sym); lent != FLent.end()) return lent->second;
    int first = 0;
    int last = 0;
    XDisplayKeycodes(FDisplay, &first, &last);
    int perCode = 0;
    KeySym* map =
        XGetKeyboardMapping(FDisplay, static_cast<KeyCode>(first), last - first + 1, &perCode);
    if (map == nullptr) return 0;
    KeyCode spare = 0;
    for (int code = last; code >= first && spare == 0; --code) {
      bool empty = true;
      for (int i = 0; i < perCode; ++i)
        empty = empty && map[(code - first) * perCode + i] == NoSymbol;
      bool taken = false;
      for (const auto& [other, lentCode] : FLent) taken = taken || lentCode == code;
      if (empty && !taken) spare = static_cast<KeyCode>(code);
    }
    XFree(map);
    if (spare == 0) return 0;
    XChangeKeyboardMapping(FDisplay, spare, 1, &sym, 1);
    XSync(FDisplay, False);
    FLent[sym] = spare;
    return spare;
  }

  std::mutex FLock;
  Display* FDisplay;
  std::map<KeySym, KeyCode> FLent;
};

}  // namespace

std::unique_ptr<TInjector> CreateX11Injector(const std::string& displayName) {
  const char* name = displayName.empty() ? std::getenv("DISPLAY") : displayName.c_str();
  const std::string shown = name ? name : "";
  if (shown.empty()) {
    throw std::runtime_error("No X display: DISPLAY is not set (use --output print without one)");
  }
  // Xlib's default error handlers would end the process on a protocol error; a failed open is
  // reported by the null return.
  Display* display = XOpenDisplay(name);
  if (display == nullptr) throw std::runtime_error("Cannot open X display '" + shown + "'");
  XSetIOErrorHandler(OnConnectionLost);
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
    XCloseDisplay(display);
    throw std::runtime_error("The X display '" + shown + "' has no XTest extension");
  }
  return std::make_unique<TX11Injector>(display);
}

}  // namespace kestrova
