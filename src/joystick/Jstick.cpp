#include "Jstick.h"

#include <stdexcept>

#include "joystick/AxisConditioning.h"
#include "joystick/PollThread.h"

namespace kestrova {

namespace {

// Signed 32-bit arithmetic that wraps, without undefined behaviour.
std::int32_t Wrap(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}
std::int32_t Add(std::int32_t a, std::int32_t b) {
  return Wrap(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t Sub(std::int32_t a, std::int32_t b) {
  return Wrap(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t Mul(std::int32_t a, std::int32_t b) {
  return Wrap(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
std::int32_t Div(std::int32_t a, std::int32_t b) {
  if (b == -1) return Sub(0, a);  // INT_MIN / -1 wraps to INT_MIN
  return a / b;                   // truncates toward zero; b is never 0 here
}

TAxisFrame MakeFrame(std::uint32_t min, std::uint32_t max, bool present) {
  TAxisFrame frame;
  if (min > 0 && max > min) {
    // Bounds that do not start at 0 are moved to 0: the centre of min .. max is then C, as it is
    // for 0-based bounds (taken as they are, min .. max would centre on (max - min) / 2).
    frame.Offset = min;
    frame.Max = max - min;
    frame.Min = 0;
  } else {
    frame.Max = max == 0 ? 1 : max;
    frame.Min = min;
  }
  frame.C = (frame.Max - frame.Min) >> 1;
  frame.Present = present;
  return frame;
}

std::array<TAxisFrame, JoyAxisCount> FramesOf(const JOYCAPSA& caps) {
  return {MakeFrame(caps.wXmin, caps.wXmax, true),
          MakeFrame(caps.wYmin, caps.wYmax, true),
          MakeFrame(caps.wZmin, caps.wZmax, caps.wCaps & JOYCAPS_HASZ),
          MakeFrame(caps.wRmin, caps.wRmax, caps.wCaps & JOYCAPS_HASR),
          MakeFrame(caps.wUmin, caps.wUmax, caps.wCaps & JOYCAPS_HASU),
          MakeFrame(caps.wVmin, caps.wVmax, caps.wCaps & JOYCAPS_HASV)};
}

// Bounds for a controller that does not answer: the span SDL reports, every axis present.
std::array<TAxisFrame, JoyAxisCount> NominalFrames() {
  std::array<TAxisFrame, JoyAxisCount> frames;
  frames.fill(MakeFrame(0, 65535, true));
  return frames;
}

}  // namespace

std::int32_t ApplyNullZone(std::int32_t p, std::int32_t C, std::int32_t Z, std::int32_t Max,
                           std::int32_t Min) {
  if (C == Z) return 1;
  const std::int32_t low = Sub(C, Z);
  if (low < p && p < Add(C, Z)) return C;
  if (p < C) return Div(Mul(p, C), low);
  const std::int32_t d = Div(Mul(Sub(Sub(p, C), Z), Sub(Max, Min)), low);
  return Add(C, d / 2);
}

std::int32_t NullZonedAxis(std::uint32_t raw, const TAxisFrame& frame, std::uint32_t percent,
                           bool useNullZone, bool alwaysPresent) {
  const std::uint32_t shifted = raw > frame.Offset ? raw - frame.Offset : 0;
  if (!useNullZone || !(alwaysPresent || frame.Present)) return Wrap(shifted);
  const std::uint32_t z = (frame.C * percent) / 100;  // product modulo 2^32
  return ApplyNullZone(Wrap(shifted), Wrap(frame.C), Wrap(z), Wrap(frame.Max), Wrap(frame.Min));
}

// ---------------------------------------------------------------------------------------------

TJstick::TJstick(TJoyService& service) : FService(service) {
  FJoyInfo.dwSize = sizeof(JOYINFOEX);
  FJoyInfo.dwFlags = JOY_RETURNALL;
}

TJstick::~TJstick() {
  SetEnablePolling(false);
  WaitForPollThread();
}

void TJstick::SetEnablePolling(bool enable) {
  if (Designing()) {
    FEnablePolling = false;
    return;
  }
  if (enable == FEnablePolling) return;
  if (enable) {
    WaitForPollThread();
    FPollPasses = 0;
    FPollThread = std::make_unique<TPollThread>(*this);
    FPollThread->Start(FThreadPriority);
  } else if (FPollThread) {
    FPollThread->Terminate();
  }
  FEnablePolling = enable;
}

void TJstick::WaitForPollThread() {
  if (!FPollThread) return;
  if (FPollThread->OnPollThread()) {
    throw std::logic_error("the poll thread cannot wait for itself");
  }
  FPollThread->Terminate();
  FPollThread->Join();
  FPollThread.reset();
}

void TJstick::SetReadingObserver(TReadingObserver* observer) {
  std::lock_guard lock(FObserverLock);
  FObserver = observer;
  FObserved = observer != nullptr;
}

void TJstick::SetThreadPriority(TThreadPriority priority) {
  FThreadPriority = priority;
  if (FEnablePolling && FPollThread) FPollThread->ApplyPriority(priority);
}

std::uint32_t TJstick::CapsField(std::uint32_t JOYCAPSA::*field) {
  std::lock_guard lock(FCapsLock);
  FService.joyGetDevCapsA(FJoystickID - 1, &FJoyCaps, sizeof FJoyCaps);
  return FJoyCaps.*field;
}

std::array<TAxisFrame, JoyAxisCount> TJstick::QueryAxisFrames() {
  JOYCAPSA caps{};
  if (FService.joyGetDevCapsA(FJoystickID - 1, &caps, sizeof caps) != JOYERR_NOERROR) {
    return NominalFrames();
  }
  {
    std::lock_guard lock(FCapsLock);
    FJoyCaps = caps;
  }
  return FramesOf(caps);
}

std::int32_t TJstick::MapAxis(TJoyAxis axis, std::int32_t p, const TAxisFrame& frame) const {
  const std::uint32_t range = FRange[axis];
  if (!FUseRange) return FNormalizeAxis ? Sub(p, Wrap(frame.C)) : p;
  const std::uint32_t scaled = (static_cast<std::uint32_t>(p) * range) / frame.Max;
  return FNormalizeAxis ? Wrap(scaled - range / 2) : Wrap(scaled);
}

float TJstick::Percentage(std::int32_t p, const TAxisFrame& frame) {
  const std::uint32_t product = static_cast<std::uint32_t>(p) * 100u;
  return static_cast<float>(static_cast<long double>(product) / frame.Max);
}

TAxisValues TJstick::ReadPosition() {
  const auto frames = QueryAxisFrames();
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  if (FService.joyGetPosEx(FJoystickID - 1, &info) != JOYERR_NOERROR) {
    for (int axis = 0; axis < JoyAxisCount; ++axis) {
      info.*AxisFields[axis] = frames[axis].Offset + frames[axis].C;
    }
  }
  TAxisValues values;
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    const std::int32_t p = NullZonedAxis(info.*AxisFields[axis], frames[axis], FNullZone[axis],
                                         FUseNullZone, axis <= jaY);
    values.Value[axis] = MapAxis(static_cast<TJoyAxis>(axis), p, frames[axis]);
    values.Percent[axis] = Percentage(p, frames[axis]);
  }
  return values;
}

void TJstick::ReadPosition(int& X, int& Y, int& Z, int& R, int& U, int& V, float& pcX, float& pcY,
                           float& pcZ, float& pcR, float& pcU, float& pcV) {
  const TAxisValues values = ReadPosition();
  X = values.Value[jaX];
  Y = values.Value[jaY];
  Z = values.Value[jaZ];
  R = values.Value[jaR];
  U = values.Value[jaU];
  V = values.Value[jaV];
  pcX = values.Percent[jaX];
  pcY = values.Percent[jaY];
  pcZ = values.Percent[jaZ];
  pcR = values.Percent[jaR];
  pcU = values.Percent[jaU];
  pcV = values.Percent[jaV];
}

void TJstick::DoAxis(TObject* Sender, int X, int Y, int Z, int R, int U, int V, float pcX,
                     float pcY, float pcZ, float pcR, float pcU, float pcV) {
  if (OnAxis) OnAxis(Sender, X, Y, Z, R, U, V, pcX, pcY, pcZ, pcR, pcU, pcV);
}

void TJstick::DoButton(TObject* Sender, int ButtonID, bool ButtonDown) {
  if (OnButton) OnButton(Sender, ButtonID, ButtonDown);
}

void TJstick::DoPov(TObject* Sender, int PovValue) {
  if (OnPov) OnPov(Sender, PovValue);
}

}  // namespace kestrova
