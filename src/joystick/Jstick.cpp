#include "Jstick.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <limits>
#include <stdexcept>

namespace kestrova {

namespace {

// Signed 32-bit arithmetic that wraps like the original's, without undefined behaviour.
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

constexpr std::uint32_t JOYINFOEX::*AxisFields[JoyAxisCount] = {
    &JOYINFOEX::dwXpos, &JOYINFOEX::dwYpos, &JOYINFOEX::dwZpos,
    &JOYINFOEX::dwRpos, &JOYINFOEX::dwUpos, &JOYINFOEX::dwVpos};

TAxisFrame MakeFrame(std::uint32_t min, std::uint32_t max, bool present) {
  TAxisFrame frame;
  frame.Max = max == 0 ? 1 : max;
  frame.Min = min;
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

// Step 3 of conditioning for one axis: the null zone, when on and the axis is present.
std::int32_t NullZoned(std::uint32_t raw, const TAxisFrame& frame, std::uint32_t percent,
                       bool useNullZone, bool alwaysPresent) {
  if (!useNullZone || !(alwaysPresent || frame.Present)) return Wrap(raw);
  const std::uint32_t z = (frame.C * percent) / 100;  // product modulo 2^32
  return ApplyNullZone(Wrap(raw), Wrap(frame.C), Wrap(z), Wrap(frame.Max), Wrap(frame.Min));
}

}  // namespace

int OsThreadPriority(TThreadPriority priority) {
  static constexpr int values[] = {-15, -2, -1, 0, 1, 2, 15};
  return values[priority];
}

int NiceValue(TThreadPriority priority) {
  static constexpr int values[] = {19, 10, 5, 0, -5, -10, -20};
  return values[priority];
}

std::int32_t ApplyNullZone(std::int32_t p, std::int32_t C, std::int32_t Z, std::int32_t Max,
                           std::int32_t Min) {
  if (C == Z) return 1;
  const std::int32_t low = Sub(C, Z);
  if (low < p && p < Add(C, Z)) return C;
  if (p < C) return Div(Mul(p, C), low);
  const std::int32_t d = Div(Mul(Sub(Sub(p, C), Z), Sub(Max, Min)), low);
  return Add(C, d / 2);
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
    for (int axis = 0; axis < JoyAxisCount; ++axis) info.*AxisFields[axis] = frames[axis].C;
  }
  TAxisValues values;
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    const std::int32_t p =
        NullZoned(info.*AxisFields[axis], frames[axis], FNullZone[axis], FUseNullZone, axis <= jaY);
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

// ---------------------------------------------------------------------------------------------

TPollThread::TPollThread(TJstick& owner) : FJstick(owner) {}

TPollThread::~TPollThread() {
  Terminate();
  Join();
}

void TPollThread::Start(TThreadPriority priority) {
  FThread = std::thread([this, priority] { Execute(priority); });
}

void TPollThread::Terminate() {
  FTerminated = true;
  FSleeper.Interrupt();
}

void TPollThread::Join() {
  if (FThread.joinable()) FThread.join();
}

void TPollThread::ApplyPriority(TThreadPriority priority) {
  const int tid = FThreadTid;
  // Best effort: raising a priority needs a privilege the user may not have.
  if (tid != 0) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValue(priority));
}

void TPollThread::Execute(TThreadPriority priority) {
  FThreadTid = static_cast<int>(::syscall(SYS_gettid));
  if (priority != tpNormal) ApplyPriority(priority);
  try {
    Prepare();
    do {
      Pass();
      ++FJstick.FPollPasses;
      FSleeper.Sleep(FJstick.ThreadIntensity());
    } while (!FTerminated);
  } catch (...) {
    // An exception from an event handler ends the body, as the thread's end would.
  }
}

void TPollThread::CaptureBounds() {
  FAxes = FJstick.QueryAxisFrames();
  FHasBounds = true;
}

void TPollThread::Seed(const JOYINFOEX& info) {
  for (int axis = 0; axis < JoyAxisCount; ++axis) FLastAxes[axis] = Wrap(info.*AxisFields[axis]);
  FLastPov = info.dwPOV;
  FLastButtons = 0;
}

void TPollThread::Prepare() {
  JOYINFOEX& info = FJstick.FJoyInfo;
  CaptureBounds();
  FAnswering = FJstick.Service().joyGetPosEx(FJstick.JoystickID() - 1, &info) == JOYERR_NOERROR;
  if (FAnswering) {
    Seed(info);
  } else {
    FHasBounds = false;  // taken from the controller's first answer
  }
}

void TPollThread::Pass() {
  JOYINFOEX& info = FJstick.FJoyInfo;
  const bool answered =
      FJstick.Service().joyGetPosEx(FJstick.JoystickID() - 1, &info) == JOYERR_NOERROR;
  if (!answered) {
    // Nothing is raised while no controller answers. One that stops answering is reported once
    // as at rest, so that whatever it held is released.
    if (!FAnswering) return;
    FAnswering = false;
    for (int axis = 0; axis < JoyAxisCount; ++axis) info.*AxisFields[axis] = FAxes[axis].C;
    info.dwButtons = 0;
    info.dwPOV = JOY_POVCENTERED;
  } else if (!FAnswering) {
    FAnswering = true;
    if (!FHasBounds) {
      CaptureBounds();
      Seed(info);
    }
  }
  Process(info);
}

void TPollThread::Process(JOYINFOEX& info) {
  if (FJstick.MonitorAxis()) {
    std::array<std::int32_t, JoyAxisCount> values;
    const bool useNullZone = FJstick.UseNullZone();
    for (int axis = 0; axis < JoyAxisCount; ++axis) {
      values[axis] = NullZoned(info.*AxisFields[axis], FAxes[axis], FJstick.FNullZone[axis],
                               useNullZone, axis <= jaY);
      info.*AxisFields[axis] = static_cast<std::uint32_t>(values[axis]);
    }
    if (values != FLastAxes) {
      TAxisValues event;
      for (int axis = 0; axis < JoyAxisCount; ++axis) {
        event.Percent[axis] = TJstick::Percentage(values[axis], FAxes[axis]);
        event.Value[axis] = FJstick.MapAxis(static_cast<TJoyAxis>(axis), values[axis], FAxes[axis]);
      }
      const auto& v = event.Value;
      const auto& pc = event.Percent;
      FJstick.DoAxis(this, v[0], v[1], v[2], v[3], v[4], v[5], pc[0], pc[1], pc[2], pc[3], pc[4],
                     pc[5]);
      FLastAxes = values;
    }
  }
  if (FJstick.MonitorButtons()) {
    const std::uint32_t buttons = info.dwButtons;
    for (int i = 0; i < 32; ++i) {
      const std::uint32_t bit = 1u << i;
      if ((buttons & bit) && !(FLastButtons & bit)) {
        FLastButtons |= bit;
        FJstick.DoButton(this, i + 1, true);
      } else if (!(buttons & bit) && (FLastButtons & bit)) {
        FLastButtons &= ~bit;
        FJstick.DoButton(this, i + 1, false);
      }
    }
  }
  if (FJstick.MonitorPov() && info.dwPOV != FLastPov) {
    FLastPov = info.dwPOV;
    FJstick.DoPov(this, static_cast<int>(info.dwPOV));
  }
}

}  // namespace kestrova
