#include "SdlJoyService.h"
#include "SdlSensors.h"
#include "SdlShared.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kestrova {

namespace {

using namespace sdl;

class TSdlJoyService : public TJoyService {
 public:
  TSdlJoyService() {
    std::lock_guard lock(SdlLock());
    InitSdl();
    // Each change SDL reads from a device's stream becomes an event, taken off SDL's queue after
    // every update (Update below): a press and release between two reads are both seen.
    SDL_JoystickEventState(SDL_ENABLE);
    SDL_GameControllerEventState(SDL_ENABLE);
  }

  ~TSdlJoyService() override {
    std::lock_guard lock(SdlLock());
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    for (auto& device : FOpen) Close(device);
    QuitSdl();
  }

  std::uint32_t joyGetPosExSteps(std::uint32_t uJoyID, std::vector<JOYINFOEX>& steps) override {
    if (uJoyID >= MaxJoysticks) return JOYERR_PARMS;
    std::lock_guard lock(SdlLock());
    Update();
    // Just after an update, whatever came, went or changed has been told: while nothing was, the
    // device resolved last is still the one and its state the one read last (the poll thread asks
    // a hundred times a second). Both are asked afresh every SdlFullReadEvery calls all the same,
    // for what SDL changes without telling (it takes an axis's first value as its rest silently).
    const int number = static_cast<int>(uJoyID);
    const bool afresh = FDevicesChanged || ++FQuietCalls >= SdlFullReadEvery;
    TDevice* device = afresh ? nullptr : Resolved(number);
    if (device == nullptr) {
      FDevicesChanged = false;
      FQuietCalls = 0;
      device = Resolve(number);
      if (device == nullptr) return JOYERR_UNPLUGGED;
      device->Kept.Changed = true;
    }
    TKept& kept = device->Kept;
    const JOYINFOEX previous = kept.Stepped;
    if (kept.Changed) {
      ReadState(*device, kept.Stepped);
      kept.Changed = false;
    }
    if (!kept.HasStepped || kept.Edges.empty()) {
      steps.assign(1, kept.Stepped);
    } else {
      steps = StepsThrough(previous, kept.Edges, kept.Stepped);
    }
    kept.HasStepped = true;
    kept.Edges.clear();
    return JOYERR_NOERROR;
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

  void TakePadSamples(std::uint32_t uJoyID, std::vector<TPadSample>& samples) override {
    samples.clear();
    if (uJoyID >= MaxJoysticks) return;
    std::lock_guard lock(SdlLock());
    // Just after joyGetPosExSteps: the device it resolved, without asking SDL again.
    TDevice* device = Resolved(static_cast<int>(uJoyID));
    if (device == nullptr) device = Resolve(static_cast<int>(uJoyID));
    if (device != nullptr) samples.swap(device->Kept.Samples);
  }

  TPadFeatures PadFeatures(std::uint32_t uJoyID) override {
    if (uJoyID >= MaxJoysticks) return {};
    std::lock_guard lock(SdlLock());
    const TDevice* device = Resolve(static_cast<int>(uJoyID));
    if (device == nullptr) return {};
    return FeaturesOf(device->Controller, device->Joystick,
                      VirtualsWithSensors().contains(device->Instance));
  }

  std::uint32_t joyGetPosEx(std::uint32_t uJoyID, JOYINFOEX* pji) override {
    if (pji == nullptr || uJoyID >= MaxJoysticks) return JOYERR_PARMS;
    std::lock_guard lock(SdlLock());
    Update();
    TDevice* device = Resolve(static_cast<int>(uJoyID));
    if (device == nullptr) return JOYERR_UNPLUGGED;
    ReadState(*device, *pji);
    return JOYERR_NOERROR;
  }

 private:
  // Per open device, for joyGetPosExSteps: the edges SDL told of and it has not taken, whether SDL
  // told of any change since it read the state, and the state its steps last ended at.
  struct TKept {
    std::vector<TInputEdge> Edges;
    std::vector<TPadSample> Samples;  // sensors and touchpad, for TakePadSamples
    bool Changed = true;
    bool HasStepped = false;
    JOYINFOEX Stepped{};
  };

  struct TDevice {
    SDL_JoystickID Instance;
    SDL_Joystick* Joystick;
    SDL_GameController* Controller;  // null for a plain joystick
    std::string Path;                // its device node; "" for a virtual one
    TKept Kept;
  };

  // SDL's update of every device, and what it told kept per device until joyGetPosExSteps takes
  // it (at most MaxEdges: one who never takes them does not pile them up). The whole queue is
  // taken: what is no controller's is dropped, so that nothing piles up in it. The caller holds
  // SdlLock().
  static constexpr std::size_t MaxEdges = 256;
  void Update() {
    SDL_JoystickUpdate();
    SDL_Event events[32];
    int count = 0;
    do {
      count = SDL_PeepEvents(events, 32, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
      for (int i = 0; i < count; ++i) Keep(events[i]);
    } while (count == 32);
    // What was pushed for a controller made in software joins its queue as SDL's events do.
    for (auto& [instance, pushed] : PushedSamples()) {
      for (const TPadSample& sample : pushed) KeepSample(instance, sample);
      pushed.clear();
    }
  }

  void KeepSample(SDL_JoystickID instance, const TPadSample& sample) {
    TKept* kept = KeptOf(instance);
    if (kept == nullptr) return;
    if (kept->Samples.size() >= MaxPadSamples) kept->Samples.erase(kept->Samples.begin());
    kept->Samples.push_back(sample);
  }

  void Keep(const SDL_Event& event) {
    SDL_JoystickID instance = -1;
    TPadSample sample;
    if (SampleOf(event, instance, sample)) return KeepSample(instance, sample);
    switch (event.type) {
      case SDL_JOYDEVICEADDED:
      case SDL_JOYDEVICEREMOVED:
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
      case SDL_CONTROLLERDEVICEREMAPPED:
        FDevicesChanged = true;
        for (auto& device : FOpen) device.Kept.Changed = true;
        return;
      case SDL_JOYAXISMOTION:
        if (TKept* kept = KeptOf(event.jaxis.which)) kept->Changed = true;
        return;
      case SDL_CONTROLLERAXISMOTION:
        if (TKept* kept = KeptOf(event.caxis.which)) kept->Changed = true;
        return;
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP:
      case SDL_JOYHATMOTION:
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
        KeepEdge(event);
        return;
      default:
        return;
    }
  }

  // A button or hat change: the device's state changed, and the edge is kept for the steps.
  void KeepEdge(const SDL_Event& event) {
    // jbutton, jhat and cbutton all begin with the type, timestamp and instance.
    TKept* kept = KeptOf(event.jbutton.which);
    if (kept == nullptr) return;
    kept->Changed = true;
    TInputEdge edge{TInputEdge::Button, 0, 0};
    switch (event.type) {
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP:
        // A pad's own buttons are taken from its controller events, in the pad layout.
        if (IsPad(event.jbutton.which)) return;
        edge = {TInputEdge::Button, event.jbutton.button, event.jbutton.state == SDL_PRESSED};
        break;
      case SDL_JOYHATMOTION:
        if (event.jhat.hat != 0 || IsPad(event.jhat.which)) return;
        edge = {TInputEdge::Hat, 0, PovOfHat(event.jhat.value)};
        break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP: {
        const bool down = event.cbutton.state == SDL_PRESSED;
        const auto button = static_cast<SDL_GameControllerButton>(event.cbutton.button);
        const int direction = button == SDL_CONTROLLER_BUTTON_DPAD_UP      ? SDL_HAT_UP
                              : button == SDL_CONTROLLER_BUTTON_DPAD_RIGHT ? SDL_HAT_RIGHT
                              : button == SDL_CONTROLLER_BUTTON_DPAD_DOWN  ? SDL_HAT_DOWN
                              : button == SDL_CONTROLLER_BUTTON_DPAD_LEFT  ? SDL_HAT_LEFT
                                                                           : 0;
        if (direction != 0) {
          edge = {TInputEdge::HatDirection, direction, down};
          break;
        }
        const auto at = std::find(std::begin(PadButtons), std::end(PadButtons), button);
        if (at == std::end(PadButtons)) return;
        edge = {TInputEdge::Button, static_cast<int>(at - std::begin(PadButtons)), down};
        break;
      }
      default:
        return;
    }
    if (kept->Edges.size() >= MaxEdges) kept->Edges.erase(kept->Edges.begin());
    kept->Edges.push_back(edge);
  }

  // What is kept of an open device; null for one this service has not opened.
  TKept* KeptOf(SDL_JoystickID instance) {
    for (auto& device : FOpen) {
      if (device.Instance == instance) return &device.Kept;
    }
    return nullptr;
  }

  // Whether an instance is open as a game controller (read in the pad layout).
  bool IsPad(SDL_JoystickID instance) const {
    return std::any_of(FOpen.begin(), FOpen.end(), [instance](const TDevice& device) {
      return device.Instance == instance && device.Controller != nullptr;
    });
  }

  static void ReadState(const TDevice& device, JOYINFOEX& info) {
    sdl::ReadState(device.Controller, device.Joystick, info);
  }

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
  // Devices that went away are closed on the way. The number last resolved is resolved again from
  // SDL's instance ids alone while the devices up to it are those it was resolved among (the
  // poll thread asks a hundred times a second; names are asked only when they change).
  TDevice* Resolve(int number) {
    if (TDevice* device = Resolved(number);
        device != nullptr && StillListed() && SDL_JoystickGetAttached(device->Joystick)) {
      return device;
    }
    FResolvedNumber = -1;
    TDevice* device = ResolveAfresh(number);
    if (device != nullptr) {
      const int index = DeviceIndexOf(number);
      FResolvedUpTo.clear();
      for (int i = 0; i <= index; ++i) FResolvedUpTo.push_back(SDL_JoystickGetDeviceInstanceID(i));
      if (!FResolvedUpTo.empty() && FResolvedUpTo.back() == device->Instance) {
        FResolvedNumber = number;
      }
    }
    return device;
  }

  // The open device a controller number was resolved to last; null when it was not.
  TDevice* Resolved(int number) {
    if (number != FResolvedNumber) return nullptr;
    for (auto& device : FOpen) {
      if (device.Instance == FResolvedUpTo.back()) return &device;
    }
    return nullptr;
  }

  // Whether SDL's devices up to the one last resolved are still the same ones, in the same order.
  bool StillListed() const {
    if (static_cast<int>(FResolvedUpTo.size()) > SDL_NumJoysticks()) return false;
    for (std::size_t i = 0; i < FResolvedUpTo.size(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(static_cast<int>(i)) != FResolvedUpTo[i]) return false;
    }
    return true;
  }

  TDevice* ResolveAfresh(int number) {
    std::erase_if(FOpen, [this](TDevice& device) {
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
    TDevice device{instance, nullptr, nullptr, {}, {}};
    if (SDL_IsGameController(index)) {
      device.Controller = SDL_GameControllerOpen(index);
      if (device.Controller) {
        device.Joystick = SDL_GameControllerGetJoystick(device.Controller);
        EnableSensors(device.Controller);
      }
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
  bool FDevicesChanged = true;  // SDL told of a device that came, went or was remapped
  int FQuietCalls = 0;          // calls of joyGetPosExSteps since all was asked afresh
  int FResolvedNumber = -1;
  std::vector<SDL_JoystickID> FResolvedUpTo;  // SDL's instance ids up to the resolved device
};

}  // namespace

std::unique_ptr<TJoyService> CreateSdlJoyService() {
  return std::make_unique<TSdlJoyService>();
}

}  // namespace kestrova
