#include "SdlJoyService.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kestrova {

namespace {

// Every SDL call of this backend is made under this lock.
std::mutex& SdlLock() {
  static std::mutex lock;
  return lock;
}

constexpr Uint32 Subsystems = SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;

// Starts SDL's controller support; the caller holds SdlLock(). Balanced by QuitSdl().
void InitSdl() {
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(Subsystems) != 0) {
    throw std::runtime_error(std::string("Cannot start SDL's controller support: ") +
                             SDL_GetError());
  }
  // The service reads state, not events: nothing may pile up in SDL's event queue.
  SDL_JoystickEventState(SDL_IGNORE);
  SDL_GameControllerEventState(SDL_IGNORE);
}

void QuitSdl() {
  SDL_QuitSubSystem(Subsystems);
}

std::uint32_t FromSdlAxis(Sint16 value) {
  return static_cast<std::uint32_t>(value + 32768);
}

std::uint32_t PovOfHat(Uint8 hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return JOY_POVCENTERED;
  }
}

Uint8 HatOfPov(std::uint32_t pov) {
  switch (pov) {
    case 0:
      return SDL_HAT_UP;
    case 4500:
      return SDL_HAT_RIGHTUP;
    case 9000:
      return SDL_HAT_RIGHT;
    case 13500:
      return SDL_HAT_RIGHTDOWN;
    case 18000:
      return SDL_HAT_DOWN;
    case 22500:
      return SDL_HAT_LEFTDOWN;
    case 27000:
      return SDL_HAT_LEFT;
    case 31500:
      return SDL_HAT_LEFTUP;
    default:
      return SDL_HAT_CENTERED;
  }
}

constexpr SDL_GameControllerButton PadButtons[] = {SDL_CONTROLLER_BUTTON_A,
                                                   SDL_CONTROLLER_BUTTON_B,
                                                   SDL_CONTROLLER_BUTTON_X,
                                                   SDL_CONTROLLER_BUTTON_Y,
                                                   SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
                                                   SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
                                                   SDL_CONTROLLER_BUTTON_BACK,
                                                   SDL_CONTROLLER_BUTTON_START,
                                                   SDL_CONTROLLER_BUTTON_LEFTSTICK,
                                                   SDL_CONTROLLER_BUTTON_RIGHTSTICK,
                                                   SDL_CONTROLLER_BUTTON_GUIDE,
                                                   SDL_CONTROLLER_BUTTON_MISC1,
                                                   SDL_CONTROLLER_BUTTON_PADDLE1,
                                                   SDL_CONTROLLER_BUTTON_PADDLE2,
                                                   SDL_CONTROLLER_BUTTON_PADDLE3,
                                                   SDL_CONTROLLER_BUTTON_PADDLE4};

// A trigger's 0..32767 as 0..65535.
std::uint32_t FromSdlTrigger(Sint16 value) {
  return static_cast<std::uint32_t>(std::max<int>(0, value)) * 65535u / 32767u;
}

class TSdlJoyService : public TJoyService {
 public:
  TSdlJoyService() {
    std::lock_guard lock(SdlLock());
    InitSdl();
  }

  ~TSdlJoyService() override {
    std::lock_guard lock(SdlLock());
    for (auto& device : FOpen) Close(device);
    QuitSdl();
  }

  std::string DevicePath(std::uint32_t uJoyID) override {
    if (uJoyID >= MaxJoysticks) return {};
    std::lock_guard lock(SdlLock());
    const TDevice* device = Resolve(static_cast<int>(uJoyID));
    return device != nullptr ? device->Path : std::string();
  }

  bool PadLayout(std::uint32_t uJoyID) override {
    if (uJoyID >= MaxJoysticks) return false;
    std::lock_guard lock(SdlLock());
    const TDevice* device = Resolve(static_cast<int>(uJoyID));
    return device != nullptr && device->Controller != nullptr;
  }

  std::uint32_t joyGetDevCapsA(std::uintptr_t uJoyID, JOYCAPSA* pjc, std::uint32_t cbjc) override {
    if (pjc == nullptr || cbjc < sizeof(JOYCAPSA) || uJoyID >= MaxJoysticks) return JOYERR_PARMS;
    std::lock_guard lock(SdlLock());
    TDevice* device = Resolve(static_cast<int>(uJoyID));
    if (device == nullptr) return JOYERR_PARMS;
    JOYCAPSA caps{};
    const char* name = device->Controller ? SDL_GameControllerName(device->Controller)
                                          : SDL_JoystickName(device->Joystick);
    std::strncpy(caps.szPname, name ? name : "", sizeof caps.szPname - 1);
    caps.wMid = SDL_JoystickGetVendor(device->Joystick);
    caps.wPid = SDL_JoystickGetProduct(device->Joystick);
    caps.wXmax = caps.wYmax = caps.wZmax = caps.wRmax = caps.wUmax = caps.wVmax = 65535;
    caps.wPeriodMin = 1;
    caps.wPeriodMax = 1000;
    caps.wMaxAxes = 6;
    caps.wMaxButtons = 32;
    if (device->Controller) {
      caps.wNumAxes = 5;  // and the triggers on their own
      caps.wNumButtons = std::size(PadButtons);
      caps.wCaps = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    } else {
      const int axes = std::clamp(SDL_JoystickNumAxes(device->Joystick), 0, 6);
      caps.wNumAxes = axes;
      caps.wNumButtons = std::clamp(SDL_JoystickNumButtons(device->Joystick), 0, 32);
      if (axes > 2) caps.wCaps |= JOYCAPS_HASZ;
      if (axes > 3) caps.wCaps |= JOYCAPS_HASR;
      if (axes > 4) caps.wCaps |= JOYCAPS_HASU;
      if (axes > 5) caps.wCaps |= JOYCAPS_HASV;
      if (SDL_JoystickNumHats(device->Joystick) > 0) caps.wCaps |= JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    }
    *pjc = caps;
    return JOYERR_NOERROR;
  }

  std::uint32_t joyGetPosEx(std::uint32_t uJoyID, JOYINFOEX* pji) override {
    if (pji == nullptr || uJoyID >= MaxJoysticks) return JOYERR_PARMS;
    std::lock_guard lock(SdlLock());
    SDL_JoystickUpdate();
    TDevice* device = Resolve(static_cast<int>(uJoyID));
    if (device == nullptr) return JOYERR_UNPLUGGED;
    std::uint32_t axes[6] = {32767, 32767, 32767, 32767, 32767, 32767};
    std::uint32_t buttons = 0;
    std::uint32_t pov = JOY_POVCENTERED;
    pji->dwReserved1 = pji->dwReserved2 = 0;
    if (SDL_GameController* pad = device->Controller) {
      axes[0] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX));
      axes[1] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
      // Both triggers on one axis: left towards 65535, right towards 0, 32767 when both rest.
      const int left =
          std::max<int>(0, SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
      const int right =
          std::max<int>(0, SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
      axes[2] =
          static_cast<std::uint32_t>(std::clamp(32767 + left * 32768 / 32767 - right, 0, 65535));
      pji->dwReserved1 =
          FromSdlTrigger(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
      pji->dwReserved2 =
          FromSdlTrigger(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
      axes[3] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY));
      axes[4] = FromSdlAxis(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX));
      for (std::size_t i = 0; i < std::size(PadButtons); ++i) {
        if (SDL_GameControllerGetButton(pad, PadButtons[i])) buttons |= 1u << i;
      }
      Uint8 hat = SDL_HAT_CENTERED;
      if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP)) hat |= SDL_HAT_UP;
      if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) hat |= SDL_HAT_DOWN;
      if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) hat |= SDL_HAT_LEFT;
      if (SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) hat |= SDL_HAT_RIGHT;
      pov = PovOfHat(hat);
    } else {
      SDL_Joystick* stick = device->Joystick;
      const int count = std::min(SDL_JoystickNumAxes(stick), 6);
      for (int i = 0; i < count; ++i) axes[i] = FromSdlAxis(SDL_JoystickGetAxis(stick, i));
      const int buttonCount = std::min(SDL_JoystickNumButtons(stick), 32);
      for (int i = 0; i < buttonCount; ++i) {
        if (SDL_JoystickGetButton(stick, i)) buttons |= 1u << i;
      }
      if (SDL_JoystickNumHats(stick) > 0) pov = PovOfHat(SDL_JoystickGetHat(stick, 0));
    }
    pji->dwXpos = axes[0];
    pji->dwYpos = axes[1];
    pji->dwZpos = axes[2];
    pji->dwRpos = axes[3];
    pji->dwUpos = axes[4];
    pji->dwVpos = axes[5];
    pji->dwButtons = buttons;
    pji->dwButtonNumber = static_cast<std::uint32_t>(__builtin_popcount(buttons));
    pji->dwPOV = pov;
    return JOYERR_NOERROR;
  }

 private:
  struct TDevice {
    SDL_JoystickID Instance;
    SDL_Joystick* Joystick;
    SDL_GameController* Controller;  // null for a plain joystick
    std::string Path;                // its device node; "" for a virtual one
  };

  static void Close(TDevice& device) {
    if (device.Controller) {
      SDL_GameControllerClose(device.Controller);
    } else {
      SDL_JoystickClose(device.Joystick);
    }
  }

  // SDL's device index of controller number: the devices in SDL's order, less the keyboard and
  // mice of Kestrova's own uinput output, should SDL ever list them (its virtual controller,
  // made in SDL, stays). -1 when there is no such controller.
  static int DeviceIndexOf(int number) {
    static constexpr std::string_view ownDevices = "Kestrova Virtual";
    for (int index = 0, count = SDL_NumJoysticks(); index < count; ++index) {
      const char* name = SDL_JoystickNameForIndex(index);
      if (name != nullptr && std::string_view(name).starts_with(ownDevices) &&
          !SDL_JoystickIsVirtual(index)) {
        continue;
      }
      if (number-- == 0) return index;
    }
    return -1;
  }

  // The open device of a controller number now, opened on first use; null when there is none.
  // Devices that went away are closed on the way.
  TDevice* Resolve(int number) {
    std::erase_if(FOpen, [](TDevice& device) {
      if (SDL_JoystickGetAttached(device.Joystick)) return false;
      Close(device);
      return true;
    });
    const int index = DeviceIndexOf(number);
    if (index < 0) return nullptr;
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(index);
    if (instance < 0) return nullptr;
    for (auto& device : FOpen) {
      if (device.Instance == instance) return &device;
    }
    TDevice device{instance, nullptr, nullptr, {}};
    if (SDL_IsGameController(index)) {
      device.Controller = SDL_GameControllerOpen(index);
      if (device.Controller) device.Joystick = SDL_GameControllerGetJoystick(device.Controller);
    }
    if (!device.Joystick) {
      device.Controller = nullptr;
      device.Joystick = SDL_JoystickOpen(index);
    }
    if (!device.Joystick) return nullptr;
    // Asked once, and never of a virtual controller: SDL answers that with an error, whose text
    // it keeps per thread (and the poll thread is no SDL thread to clean it up).
    if (!SDL_JoystickIsVirtual(index)) {
      const char* path = SDL_JoystickPath(device.Joystick);
      device.Path = path != nullptr ? path : "";
    }
    FOpen.push_back(device);
    return &FOpen.back();
  }

  std::vector<TDevice> FOpen;
};

class TSdlVirtualController : public TVirtualController {
 public:
  explicit TSdlVirtualController(const TVirtualControllerDesc& desc)
      : FName(desc.Name), FReadOrder(desc.GameController && desc.ReadOrder) {
    std::lock_guard lock(SdlLock());
    InitSdl();
    SDL_VirtualJoystickDesc sdlDesc;
    SDL_zero(sdlDesc);
    sdlDesc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    sdlDesc.name = FName.c_str();
    if (desc.GameController) {
      sdlDesc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
      sdlDesc.naxes = SDL_CONTROLLER_AXIS_MAX;
      sdlDesc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
      sdlDesc.button_mask = (1u << sdlDesc.nbuttons) - 1;
      sdlDesc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    } else {
      sdlDesc.type = SDL_JOYSTICK_TYPE_UNKNOWN;
      sdlDesc.naxes = static_cast<Uint16>(desc.Axes);
      sdlDesc.nbuttons = static_cast<Uint16>(desc.Buttons);
      sdlDesc.nhats = static_cast<Uint16>(desc.Hats);
    }
    const int index = SDL_JoystickAttachVirtualEx(&sdlDesc);
    if (index < 0) {
      const std::string error = SDL_GetError();
      QuitSdl();
      throw std::runtime_error("Cannot create the virtual controller: " + error);
    }
    FInstance = SDL_JoystickGetDeviceInstanceID(index);
    FJoystick = SDL_JoystickOpen(index);
    if (FJoystick == nullptr) {
      const std::string error = SDL_GetError();
      SDL_JoystickDetachVirtual(index);
      QuitSdl();
      throw std::runtime_error("Cannot open the virtual controller: " + error);
    }
    FAxes = desc.GameController ? SDL_CONTROLLER_AXIS_MAX : desc.Axes;
    for (int axis = 0; axis < FAxes; ++axis) {
      const bool trigger = desc.GameController && (axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT ||
                                                   axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
      SDL_JoystickSetVirtualAxis(FJoystick, axis, trigger ? SDL_JOYSTICK_AXIS_MIN : -1);
    }
  }

  ~TSdlVirtualController() override {
    std::lock_guard lock(SdlLock());
    SDL_JoystickClose(FJoystick);
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
      if (SDL_JoystickGetDeviceInstanceID(index) == FInstance) {
        SDL_JoystickDetachVirtual(index);
        break;
      }
    }
    QuitSdl();
  }

  void SetAxis(int axis, std::uint16_t raw) override {
    std::lock_guard lock(SdlLock());
    if (!FReadOrder) return SetSdlAxis(axis, raw);
    switch (axis) {
      case 0:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_LEFTX, raw);
      case 1:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_LEFTY, raw);
      case 2:  // both triggers on one axis, as the pad layout reads them
        SetSdlAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, raw > 32767 ? (raw - 32767) * 2 - 1 : 0);
        return SetSdlAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, raw < 32767 ? (32767 - raw) * 2 : 0);
      case 3:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_RIGHTY, raw);
      case 4:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_RIGHTX, raw);
      case 6:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, raw);
      case 7:
        return SetSdlAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, raw);
      default:  // a pad has no V axis
        return;
    }
  }

  void SetButton(int buttonId, bool down) override {
    std::lock_guard lock(SdlLock());
    int button = buttonId - 1;
    if (FReadOrder) {
      if (buttonId < 1 || buttonId > static_cast<int>(std::size(PadButtons))) return;
      button = PadButtons[buttonId - 1];
    }
    SDL_JoystickSetVirtualButton(FJoystick, button, down ? SDL_PRESSED : SDL_RELEASED);
  }

  void SetPov(std::uint32_t pov) override {
    std::lock_guard lock(SdlLock());
    if (!FReadOrder) {
      SDL_JoystickSetVirtualHat(FJoystick, 0, HatOfPov(pov));
      return;
    }
    const Uint8 hat = HatOfPov(pov);
    const auto set = [this, hat](SDL_GameControllerButton button, Uint8 direction) {
      SDL_JoystickSetVirtualButton(FJoystick, button,
                                   (hat & direction) ? SDL_PRESSED : SDL_RELEASED);
    };
    set(SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_HAT_UP);
    set(SDL_CONTROLLER_BUTTON_DPAD_DOWN, SDL_HAT_DOWN);
    set(SDL_CONTROLLER_BUTTON_DPAD_LEFT, SDL_HAT_LEFT);
    set(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_HAT_RIGHT);
  }

 private:
  // The caller holds SdlLock().
  void SetSdlAxis(int axis, int raw) {
    SDL_JoystickSetVirtualAxis(FJoystick, axis, static_cast<Sint16>(raw - 32768));
  }

  std::string FName;
  bool FReadOrder;
  SDL_JoystickID FInstance = -1;
  SDL_Joystick* FJoystick = nullptr;
  int FAxes = 0;
};

}  // namespace

std::unique_ptr<TJoyService> CreateSdlJoyService() {
  return std::make_unique<TSdlJoyService>();
}

std::unique_ptr<TVirtualController> AttachSdlVirtualController(const TVirtualControllerDesc& desc) {
  return std::make_unique<TSdlVirtualController>(desc);
}

}  // namespace kestrova
