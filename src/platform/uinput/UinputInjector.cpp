#include "UinputInjector.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/Keysyms.h"
#include "platform/uinput/Keymap.h"

namespace kestrova {

namespace {

const char* const RuleFile = "/usr/lib/udev/rules.d/60-kestrova-uinput.rules";

// One virtual device: its own open file of the uinput node.
class TDevice {
 public:
  TDevice(const std::string& node, const char* name) : FName(name) {
    FFd = ::open(node.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (FFd < 0) throw std::runtime_error(UinputProblem(node));
  }
  ~TDevice() {
    if (FCreated) ::ioctl(FFd, UI_DEV_DESTROY);
    ::close(FFd);
  }
  TDevice(const TDevice&) = delete;
  TDevice& operator=(const TDevice&) = delete;

  void Enable(unsigned long request, int bit) { Check(::ioctl(FFd, request, bit), "set up"); }
  void Absolute(int axis, int maximum) {
    uinput_abs_setup setup{};
    setup.code = static_cast<__u16>(axis);
    setup.absinfo.minimum = 0;
    setup.absinfo.maximum = maximum;
    Check(::ioctl(FFd, UI_ABS_SETUP, &setup), "set up");
  }
  void Create() {
    uinput_setup setup{};
    std::strncpy(setup.name, FName.c_str(), UINPUT_MAX_NAME_SIZE - 1);
    setup.id.bustype = BUS_VIRTUAL;
    setup.id.vendor = 0x4B56;  // "KV"
    setup.id.product = 1;
    setup.id.version = 1;
    Check(::ioctl(FFd, UI_DEV_SETUP, &setup), "set up");
    Check(::ioctl(FFd, UI_DEV_CREATE), "create");
    FCreated = true;
  }
  // The events of one frame, then SYN_REPORT.
  void Send(std::initializer_list<input_event> events) {
    std::vector<input_event> frame(events);
    frame.push_back(Event(EV_SYN, SYN_REPORT, 0));
    const auto size = static_cast<ssize_t>(frame.size() * sizeof(input_event));
    (void)!::write(FFd, frame.data(), static_cast<std::size_t>(size));
  }
  static input_event Event(int type, int code, int value) {
    input_event event{};
    event.type = static_cast<__u16>(type);
    event.code = static_cast<__u16>(code);
    event.value = value;
    return event;
  }

 private:
  void Check(int result, const char* what) {
    if (result < 0) {
      throw std::runtime_error("cannot " + std::string(what) + " the uinput device \"" + FName +
                               "\": " + std::strerror(errno));
    }
  }
  std::string FName;
  int FFd = -1;
  bool FCreated = false;
};

// The evdev key of a keysym that is no character: the same key on every layout.
int FixedKeyCode(std::uint32_t keysym) {
  if (keysym >= 0xFFBE && keysym <= 0xFFBE + 9) return KEY_F1 + static_cast<int>(keysym - 0xFFBE);
  if (keysym == 0xFFBE + 10) return KEY_F11;
  if (keysym == 0xFFBE + 11) return KEY_F12;
  if (keysym >= 0xFFBE + 12 && keysym <= 0xFFBE + 23) {
    return KEY_F13 + static_cast<int>(keysym - 0xFFBE - 12);
  }
  // The keypad's digits, whatever Num Lock says (the desktop reads them through it).
  static constexpr int keypad[] = {KEY_KP0, KEY_KP1, KEY_KP2, KEY_KP3, KEY_KP4,
                                   KEY_KP5, KEY_KP6, KEY_KP7, KEY_KP8, KEY_KP9};
  if (keysym >= 0xFFB0 && keysym <= 0xFFB9) return keypad[keysym - 0xFFB0];
  switch (keysym) {
    case 0xFF08:
      return KEY_BACKSPACE;
    case 0xFF09:
      return KEY_TAB;
    case 0xFF0D:
      return KEY_ENTER;
    case 0xFFE1:
      return KEY_LEFTSHIFT;
    case 0xFFE3:
      return KEY_LEFTCTRL;
    case 0xFFE9:
      return KEY_LEFTALT;
    case 0xFF1B:
      return KEY_ESC;
    case ' ':
      return KEY_SPACE;
    case 0xFF51:
      return KEY_LEFT;
    case 0xFF52:
      return KEY_UP;
    case 0xFF53:
      return KEY_RIGHT;
    case 0xFF54:
      return KEY_DOWN;
    case 0xFF55:
      return KEY_PAGEUP;
    case 0xFF56:
      return KEY_PAGEDOWN;
    case 0xFF57:
      return KEY_END;
    case 0xFF50:
      return KEY_HOME;
    case 0xFF63:
      return KEY_INSERT;
    case 0xFFFF:
      return KEY_DELETE;
    case 0xFFE2:
      return KEY_RIGHTSHIFT;
    case 0xFFE4:
      return KEY_RIGHTCTRL;
    case 0xFFEA:
      return KEY_RIGHTALT;  // AltGr where the layout makes it one
    case 0xFFEB:
      return KEY_LEFTMETA;
    case 0xFFEC:
      return KEY_RIGHTMETA;
    case 0xFF67:
      return KEY_COMPOSE;  // the menu key
    case 0xFF13:
      return KEY_PAUSE;
    case 0xFF61:
      return KEY_SYSRQ;  // Print
    case 0xFFE5:
      return KEY_CAPSLOCK;
    case 0xFF7F:
      return KEY_NUMLOCK;
    case 0xFF14:
      return KEY_SCROLLLOCK;
    case 0xFFAA:
      return KEY_KPASTERISK;
    case 0xFFAB:
      return KEY_KPPLUS;
    case 0xFFAD:
      return KEY_KPMINUS;
    case 0xFFAE:
      return KEY_KPDOT;
    case 0xFFAF:
      return KEY_KPSLASH;
    case 0xFF8D:
      return KEY_KPENTER;
    case 0x1008FF12:
      return KEY_MUTE;
    case 0x1008FF11:
      return KEY_VOLUMEDOWN;
    case 0x1008FF13:
      return KEY_VOLUMEUP;
    case 0x1008FF17:
      return KEY_NEXTSONG;
    case 0x1008FF16:
      return KEY_PREVIOUSSONG;
    case 0x1008FF14:
      return KEY_PLAYPAUSE;
    default:
      return 0;
  }
}

std::string CharacterName(std::uint32_t keysym) {
  return keysym >= 0x20 && keysym < 0x7F ? "'" + std::string(1, static_cast<char>(keysym)) + "'"
                                         : "keysym " + std::to_string(keysym);
}

class TUinputInjector : public TInjector {
 public:
  TUinputInjector(const TUinputOptions& options, const TLayoutNames& layout)
      : FKeymap(CreateKeymap(layout)),
        FWidth(options.ScreenWidth),
        FHeight(options.ScreenHeight),
        FKeyboard(options.Device, "Kestrova Virtual Keyboard"),
        FPointer(options.Device, "Kestrova Virtual Pointer"),
        FTablet(options.Device, "Kestrova Virtual Tablet") {
    // Keys only, in the ordinary keyboard range: nothing that looks like a controller.
    FKeyboard.Enable(UI_SET_EVBIT, EV_KEY);
    for (int key = KEY_ESC; key <= KEY_MICMUTE; ++key) FKeyboard.Enable(UI_SET_KEYBIT, key);
    FKeyboard.Create();
    FPointer.Enable(UI_SET_EVBIT, EV_KEY);
    for (int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}) {
      FPointer.Enable(UI_SET_KEYBIT, button);
    }
    FPointer.Enable(UI_SET_EVBIT, EV_REL);
    for (int axis : {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}) {
      FPointer.Enable(UI_SET_RELBIT, axis);
    }
    FPointer.Create();
    // Absolute moves, over the whole desktop, as virtual machines' tablets do.
    FTablet.Enable(UI_SET_EVBIT, EV_KEY);
    for (int button : {BTN_LEFT, BTN_RIGHT}) FTablet.Enable(UI_SET_KEYBIT, button);
    FTablet.Enable(UI_SET_EVBIT, EV_ABS);
    FTablet.Enable(UI_SET_ABSBIT, ABS_X);
    FTablet.Enable(UI_SET_ABSBIT, ABS_Y);
    FTablet.Absolute(ABS_X, 65535);
    FTablet.Absolute(ABS_Y, 65535);
    FTablet.Create();
  }

  const TKeymap& Keymap() const { return FKeymap; }

  // A program cannot read the pointer of a Wayland desktop: moves are relative motion.
  bool PointerReadable() const override { return false; }
  bool GetCursorPos(TPoint&) override { return false; }
  int GetSystemMetrics(int index) override { return FixedScreenMetric(index, FWidth, FHeight); }

 protected:
  // Worker thread and shutdown; the lock orders the frames of the three devices.
  void DoKeybdEvent(std::uint8_t vk, std::uint8_t, std::uint32_t flags, std::uintptr_t) override {
    std::lock_guard lock(FLock);
    const bool up = (flags & KEYEVENTF_KEYUP) != 0;
    if (up) {
      const auto pressed = FPressed.find(vk);
      if (pressed == FPressed.end()) return;  // never pressed here
      const int code = pressed->second;
      FPressed.erase(pressed);
      Key(code, false);
      if (vk == VK_SHIFT) FShiftHeld = false;
      return;
    }
    if (FPressed.contains(vk)) return;  // already down
    const std::uint32_t base = UsKeysymOfKey(vk, flags);
    if (base == NoKeysym)
      throw std::runtime_error("no key for virtual-key code " + std::to_string(vk));
    if (const int fixed = FixedKeyCode(base)) {
      FPressed[vk] = fixed;
      if (vk == VK_SHIFT) FShiftHeld = true;
      Key(fixed, true);
      return;
    }
    // A character: the key that types it on the user's layout, with the modifiers that layout
    // needs for it whatever Shift the command line holds.
    const std::uint32_t keysym = FShiftHeld ? UsShiftedKeysym(base) : base;
    const auto stroke = StrokeFor(FKeymap, keysym, FShiftHeld);
    if (!stroke || (stroke->AltGr && FKeymap.AltGrCode == 0)) {
      throw std::runtime_error("the keyboard layout " + FKeymap.Description + " cannot type " +
                               CharacterName(keysym));
    }
    const bool toggleShift = stroke->Shift != FShiftHeld;
    if (toggleShift) Key(KEY_LEFTSHIFT, stroke->Shift);
    if (stroke->AltGr) Key(FKeymap.AltGrCode, true);
    Key(stroke->Code, true);
    if (stroke->AltGr) Key(FKeymap.AltGrCode, false);
    if (toggleShift) Key(KEY_LEFTSHIFT, FShiftHeld);
    FPressed[vk] = stroke->Code;
  }

  void DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                    std::uintptr_t) override {
    std::lock_guard lock(FLock);
    if (flags & MOUSEEVENTF_MOVE) {
      if (flags & MOUSEEVENTF_ABSOLUTE) {
        FTablet.Send({TDevice::Event(EV_ABS, ABS_X, std::clamp(dx, 0, 65535)),
                      TDevice::Event(EV_ABS, ABS_Y, std::clamp(dy, 0, 65535))});
      } else {
        FPointer.Send({TDevice::Event(EV_REL, REL_X, dx), TDevice::Event(EV_REL, REL_Y, dy)});
      }
    }
    const auto button = [this](int code, bool down) {
      FPointer.Send({TDevice::Event(EV_KEY, code, down ? 1 : 0)});
    };
    if (flags & MOUSEEVENTF_LEFTDOWN) button(BTN_LEFT, true);
    if (flags & MOUSEEVENTF_LEFTUP) button(BTN_LEFT, false);
    if (flags & MOUSEEVENTF_RIGHTDOWN) button(BTN_RIGHT, true);
    if (flags & MOUSEEVENTF_RIGHTUP) button(BTN_RIGHT, false);
    if (flags & MOUSEEVENTF_MIDDLEDOWN) button(BTN_MIDDLE, true);
    if (flags & MOUSEEVENTF_MIDDLEUP) button(BTN_MIDDLE, false);
    if (flags & (MOUSEEVENTF_XDOWN | MOUSEEVENTF_XUP)) {
      button(data == XBUTTON1 ? BTN_SIDE : BTN_EXTRA, (flags & MOUSEEVENTF_XDOWN) != 0);
    }
    // Whole notches, and the high-resolution units (120 a notch) that smooth scrolling reads.
    const auto wheel = [this, data](int notchAxis, int fineAxis) {
      const auto fine = static_cast<std::int32_t>(data);
      FPointer.Send({TDevice::Event(EV_REL, notchAxis, fine / WHEEL_DELTA),
                     TDevice::Event(EV_REL, fineAxis, fine)});
    };
    if (flags & MOUSEEVENTF_WHEEL) wheel(REL_WHEEL, REL_WHEEL_HI_RES);
    if (flags & MOUSEEVENTF_HWHEEL) wheel(REL_HWHEEL, REL_HWHEEL_HI_RES);
  }

 private:
  void Key(int code, bool down) { FKeyboard.Send({TDevice::Event(EV_KEY, code, down ? 1 : 0)}); }

  std::mutex FLock;
  TKeymap FKeymap;
  const int FWidth;
  const int FHeight;
  TDevice FKeyboard;
  TDevice FPointer;
  TDevice FTablet;
  std::map<std::uint8_t, int> FPressed;  // virtual-key code -> the evdev key it pressed
  bool FShiftHeld = false;               // VK_SHIFT is down
};

}  // namespace

std::string UinputProblem(const std::string& device) {
  const int fd = ::open(device.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return "";
  }
  const int error = errno;
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    return device +
           " does not exist: the uinput kernel module is not loaded. Load it with "
           "'sudo modprobe uinput' (installed, Kestrova loads it at boot through "
           "/usr/lib/modules-load.d/kestrova-uinput.conf).";
  }
  if (error == EACCES || error == EPERM) {
    return std::string("no permission to write ") + device + ". Kestrova's udev rule (" + RuleFile +
           ") gives the logged-in user access: run 'sudo udevadm trigger' once, or log in "
           "again; or add yourself to a group that may write " +
           device + ".";
  }
  return "cannot open " + device + ": " + std::strerror(error);
}

TUinputOutput CreateUinputInjector(const TUinputOptions& options) {
  const TLayoutNames layout = ChooseLayout(options.KeyboardLayout);
  auto injector = std::make_unique<TUinputInjector>(options, layout);
  TUinputOutput output;
  output.Layout = injector->Keymap().Description + ", from " + layout.Source;
  output.Injector = std::move(injector);
  return output;
}

}  // namespace kestrova
