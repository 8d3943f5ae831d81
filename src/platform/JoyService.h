#pragma once
// The joystick service: controllers addressed by number (0 = the first), read through
// joyGetDevCapsA and joyGetPosEx with the Windows records, codes and flags. Backends: SDL2
// (sdl/) and, for tests only, a scripted one.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

constexpr std::uint32_t JOYERR_NOERROR = 0;
constexpr std::uint32_t JOYERR_PARMS = 165;
constexpr std::uint32_t JOYERR_UNPLUGGED = 167;

constexpr std::uint32_t JOY_RETURNX = 0x01;
constexpr std::uint32_t JOY_RETURNY = 0x02;
constexpr std::uint32_t JOY_RETURNZ = 0x04;
constexpr std::uint32_t JOY_RETURNR = 0x08;
constexpr std::uint32_t JOY_RETURNU = 0x10;
constexpr std::uint32_t JOY_RETURNV = 0x20;
constexpr std::uint32_t JOY_RETURNPOV = 0x40;
constexpr std::uint32_t JOY_RETURNBUTTONS = 0x80;
constexpr std::uint32_t JOY_RETURNALL = 0xFF;

constexpr std::uint32_t JOYCAPS_HASZ = 0x01;
constexpr std::uint32_t JOYCAPS_HASR = 0x02;
constexpr std::uint32_t JOYCAPS_HASU = 0x04;
constexpr std::uint32_t JOYCAPS_HASV = 0x08;
constexpr std::uint32_t JOYCAPS_HASPOV = 0x10;
constexpr std::uint32_t JOYCAPS_POV4DIR = 0x20;

constexpr std::uint32_t JOY_POVCENTERED = 65535;
constexpr int MaxJoysticks = 16;

struct JOYCAPSA {
  std::uint16_t wMid;
  std::uint16_t wPid;
  char szPname[32];
  std::uint32_t wXmin, wXmax, wYmin, wYmax, wZmin, wZmax;
  std::uint32_t wNumButtons;
  std::uint32_t wPeriodMin, wPeriodMax;
  std::uint32_t wRmin, wRmax, wUmin, wUmax, wVmin, wVmax;
  std::uint32_t wCaps;
  std::uint32_t wMaxAxes, wNumAxes, wMaxButtons;
  char szRegKey[32];
  char szOEMVxD[260];
};

struct JOYINFOEX {
  std::uint32_t dwSize;
  std::uint32_t dwFlags;
  std::uint32_t dwXpos, dwYpos, dwZpos, dwRpos, dwUpos, dwVpos;
  std::uint32_t dwButtons;
  std::uint32_t dwButtonNumber;
  std::uint32_t dwPOV;
  std::uint32_t dwReserved1, dwReserved2;
};
static_assert(sizeof(JOYINFOEX) == 52);

// In the pad layout the two reserved words carry each trigger on its own, 0 (let go) .. 65535
// (pulled); every other controller leaves them 0.
inline std::uint32_t LeftTrigger(const JOYINFOEX& info) {
  return info.dwReserved1;
}
inline std::uint32_t RightTrigger(const JOYINFOEX& info) {
  return info.dwReserved2;
}

// One sample of a pad's motion sensors or touchpad, in the pad's own axes (held in front of the
// player: X right, Y up, Z towards the player).
struct TPadSample {
  enum TKind : std::uint8_t { Gyro, Accel, TouchDown, TouchMotion, TouchUp };
  TKind Kind = Gyro;
  // When it was taken, in microseconds: the pad's own clock where it tells one (the gyro), else
  // the time it arrived on the monotonic clock. Only differences count.
  std::uint64_t TimeUs = 0;
  // Gyro: degrees a second about X (pitch: the far edge up), Y (yaw: turned left) and Z (roll:
  // tilted left). Accel: metres a second squared along X, Y and Z (at rest, 9.8 upwards). Touch:
  // X and Y across and down the touchpad, 0..1.
  float Values[3] = {0, 0, 0};
  int Finger = 0;  // touch only
};

// What a pad has besides its sticks and buttons.
struct TPadFeatures {
  std::string Key;  // names this very controller from run to run (its GUID and serial), or ""
  bool Gyro = false;
  bool Accel = false;
  bool Touchpad = false;
  // A pad known to have motion sensors whose sensors cannot be read (no access to its hidraw
  // node, or they would not switch on): what to do, for one status line; else "".
  std::string SensorProblem;
};

// Thread-safe: the poll thread and the worker read controllers at the same time.
class TJoyService {
 public:
  virtual ~TJoyService() = default;
  // JOYERR_PARMS for a number outside 0..15 or without a controller; fills *pjc on success.
  virtual std::uint32_t joyGetDevCapsA(std::uintptr_t uJoyID, JOYCAPSA* pjc,
                                       std::uint32_t cbjc) = 0;
  // JOYERR_UNPLUGGED when no controller answers at that number; fills *pji on success.
  virtual std::uint32_t joyGetPosEx(std::uint32_t uJoyID, JOYINFOEX* pji) = 0;
  // Whether the controller at a number is read in the usual pad layout (X/Y left stick, Z the
  // triggers, R/U right stick, A B X Y ..., each trigger also on its own). False for plain
  // joysticks and unknown numbers.
  virtual bool PadLayout(std::uint32_t /*uJoyID*/) { return false; }
  // The states the controller at a number passed through since the previous call, oldest first,
  // the last being its state now (as joyGetPosEx gives it): a press and release that both fall
  // between two calls are two states. Where the controller reports no stream of changes, its
  // state now alone. For one reader (the poll thread); joyGetPosEx calls meanwhile lose nothing.
  virtual std::uint32_t joyGetPosExSteps(std::uint32_t uJoyID, std::vector<JOYINFOEX>& steps) {
    steps.resize(1);
    return joyGetPosEx(uJoyID, steps.data());
  }
  // The device node the controller at a number is read from ("/dev/input/event5"), or "" when it
  // has none (a virtual controller, other platforms) or there is no controller there.
  virtual std::string DevicePath(std::uint32_t /*uJoyID*/) { return {}; }
  // The motion sensor and touchpad samples of the controller at a number since the previous call,
  // oldest first (at most MaxPadSamples: the oldest go first). For one reader (the poll thread),
  // after joyGetPosExSteps.
  virtual void TakePadSamples(std::uint32_t /*uJoyID*/, std::vector<TPadSample>& samples) {
    samples.clear();
  }
  virtual TPadFeatures PadFeatures(std::uint32_t /*uJoyID*/) { return {}; }
  static constexpr std::size_t MaxPadSamples = 1024;
};

// One change in a controller's stream of changes: a button (0-based) going down or up, the hat
// going to a position (hundredths of a degree), or one direction of a hat made of four buttons
// (a pad's d-pad) going down or up.
struct TInputEdge {
  enum TKind { Button, Hat, HatDirection };
  TKind Kind;
  int Index;            // the button; for HatDirection 1 up, 2 right, 4 down, 8 left
  std::uint32_t Value;  // 1 down, 0 up; for Hat the position
};

// The states a controller passed through from previous to current: previous with each edge
// applied in turn (axes and triggers as in current), then current. A state equal to the one
// before it is left out.
std::vector<JOYINFOEX> StepsThrough(const JOYINFOEX& previous, const std::vector<TInputEdge>& edges,
                                    const JOYINFOEX& current);

// A controller summary for listings.
struct TControllerInfo {
  int JoystickID;  // 1-based
  std::string Name;
  int Axes;
  int Buttons;
  int Hats;
  bool PadLayout;
};

// "Controller 2: Wireless Pad (pad layout)": the status line of a controller that answers.
std::string ControllerLine(const TControllerInfo& controller);
// The status line when the controller at a number does not answer: none found at start, or
// unplugged later.
std::string NoControllerLine(int joystickId, bool unplugged);

// The controllers that answer now, in number order.
std::vector<TControllerInfo> ListControllers(TJoyService& service);

// A controller made in software, read through the service like a real one.
class TVirtualController {
 public:
  virtual ~TVirtualController() = default;
  // axis 0..5 = X Y Z R U V, 0..65535; a pad addressed in read order (TVirtualControllerDesc)
  // also has 6 = left trigger, 7 = right trigger.
  virtual void SetAxis(int axis, std::uint16_t raw) = 0;
  virtual void SetButton(int buttonId, bool down) = 0;  // 1-based
  virtual void SetPov(std::uint32_t pov) = 0;           // hundredths of a degree, 65535 centred
  // A motion sensor or touchpad sample, read by the service as a pad's own (a pad made in
  // software has no sensors of its own). TimeUs of 0: the time it arrives.
  virtual void PushSample(const TPadSample& /*sample*/) {}
};

}  // namespace kestrova
