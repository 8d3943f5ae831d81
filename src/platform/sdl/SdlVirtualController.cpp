// A controller made in software with SDL's virtual joysticks.

#include <cstdio>
#include <string>

#include "SdlJoyService.h"
#include "SdlShared.h"

namespace kestrova {

namespace {

using namespace sdl;

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
    // SDL maps a virtual pad's buttons but its touchpad's click: given here, as a real pad has it.
    if (desc.GameController) {
      if (char* mapping = SDL_GameControllerMappingForDeviceIndex(index)) {
        std::string withTouchpad = mapping;
        SDL_free(mapping);
        if (withTouchpad.find("touchpad:") == std::string::npos) {
          if (!withTouchpad.empty() && withTouchpad.back() != ',') withTouchpad += ',';
          // The name's checksum in the id: without it the mapping would be another device's.
          const SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(index);
          char crc[16];
          std::snprintf(crc, sizeof crc, "crc:%04x,", guid.data[2] | (guid.data[3] << 8));
          if (withTouchpad.find("crc:") == std::string::npos) withTouchpad += crc;
          withTouchpad += "touchpad:b" + std::to_string(SDL_CONTROLLER_BUTTON_TOUCHPAD) + ",";
          SDL_GameControllerAddMapping(withTouchpad.c_str());
        }
      }
    }
    FInstance = SDL_JoystickGetDeviceInstanceID(index);
    FJoystick = SDL_JoystickOpen(index);
    if (FJoystick == nullptr) {
      const std::string error = SDL_GetError();
      SDL_JoystickDetachVirtual(index);
      QuitSdl();
      throw std::runtime_error("Cannot open the virtual controller: " + error);
    }
    if (desc.Sensors) VirtualsWithSensors().insert(FInstance);
    FAxes = desc.GameController ? SDL_CONTROLLER_AXIS_MAX : desc.Axes;
    for (int axis = 0; axis < FAxes; ++axis) {
      const bool trigger = desc.GameController && (axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT ||
                                                   axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
      SDL_JoystickSetVirtualAxis(FJoystick, axis, trigger ? SDL_JOYSTICK_AXIS_MIN : -1);
    }
  }

  ~TSdlVirtualController() override {
    std::lock_guard lock(SdlLock());
    PushedSamples().erase(FInstance);
    VirtualsWithSensors().erase(FInstance);
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

  void PushSample(const TPadSample& sample) override {
    std::lock_guard lock(SdlLock());
    std::vector<TPadSample>& pushed = PushedSamples()[FInstance];
    if (pushed.size() >= TJoyService::MaxPadSamples) pushed.erase(pushed.begin());
    pushed.push_back(sample);
    if (pushed.back().TimeUs == 0) pushed.back().TimeUs = NowUs();
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

std::unique_ptr<TVirtualController> AttachSdlVirtualController(const TVirtualControllerDesc& desc) {
  return std::make_unique<TSdlVirtualController>(desc);
}

}  // namespace kestrova
