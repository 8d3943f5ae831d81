#include "PollThread.h"

#include "joystick/AxisConditioning.h"
#include "platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace kestrova {

int NiceValue(TThreadPriority priority) {
  static constexpr int values[] = {19, 10, 5, 0, -5, -10, -20};
  return values[priority];
}

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
  const long tid = FThreadTid;
  // Best effort: raising a priority needs a privilege the user may not have.
  if (tid != 0) (void)SetThreadNice(tid, NiceValue(priority));
}

void TPollThread::Execute(TThreadPriority priority) {
  FThreadTid = CurrentThreadId();
  if (priority != tpNormal) ApplyPriority(priority);
  try {
    Prepare();
    // Passes on a fixed grid of the interval: a pass's own time and the timer's slack do not add
    // up from one to the next. A pass that ends after its slot skips to the next one of the grid.
    auto deadline = std::chrono::steady_clock::now();
    bool early = false;  // the last sleep ended before the grid's deadline, for a timer
    do {
      Pass();
      ++FJstick.FPollPasses;
      FTimerDueMs = FJstick.FRoutingTimers ? FJstick.FRoutingTimers->AfterPass() : -1;
      TWakeSource* wake = FJstick.WakeSource();
      // While the pointer moves from the readings, no input need come: read on the grid of the
      // motion's period, or the interval where that is shorter. While a timer of the routing is
      // armed, read on the grid too, and at the timer.
      const std::uint32_t motionMs = FMotionWantedMs;
      if (wake == nullptr || FSleeper.Interrupted() || motionMs > 0 || FTimerDueMs >= 0) {
        std::chrono::milliseconds interval(FJstick.ThreadIntensity());
        if (motionMs > 0 && interval.count() > 0 && motionMs < interval.count()) {
          interval = std::chrono::milliseconds(motionMs);
        }
        if (interval.count() == 0) {
          FSleeper.Sleep(0);
          continue;
        }
        if (!early) deadline += interval;
        const auto now = std::chrono::steady_clock::now();
        if (deadline <= now) deadline += ((now - deadline) / interval + 1) * interval;
        const auto timer = now + std::chrono::milliseconds(FTimerDueMs);
        early = FTimerDueMs >= 0 && timer < deadline;
        FSleeper.SleepUntil(early ? timer : deadline);
      } else {
        wake->Wait(static_cast<std::uint32_t>(FJstick.JoystickID() - 1), FSleeper.WakeFd(),
                   FJstick.ThreadIntensity(), FAnswering);
      }
    } while (!FTerminated);
  } catch (...) {
    // An exception from an event handler ends the body, as the thread's end would.
  }
}

void TPollThread::CaptureBounds() {
  FAxes = FJstick.QueryAxisFrames();
  const auto id = static_cast<std::uint32_t>(FJstick.JoystickID() - 1);
  FPadLayout = FJstick.Service().PadLayout(id);
  FFeatures = FJstick.Service().PadFeatures(id);
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    FJstick.FAxisPresent[axis] = axis <= jaY || FAxes[axis].Present;
  }
  FHasBounds = true;
}

void TPollThread::Seed(const JOYINFOEX& info) {
  for (int axis = 0; axis < JoyAxisCount; ++axis)
    FLastAxes[axis] = static_cast<std::int32_t>(info.*AxisFields[axis]);
  FLastPov = info.dwPOV;
  FLastButtons = 0;
  FLastTriggers = {TriggerValue(LeftTrigger(info)), TriggerValue(RightTrigger(info))};
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
  FJstick.DoConnection(this, FAnswering);
}

void TPollThread::Pass() {
  JOYINFOEX& info = FJstick.FJoyInfo;
  const bool answered =
      FJstick.Service().joyGetPosExSteps(FJstick.JoystickID() - 1, FSteps) == JOYERR_NOERROR &&
      !FSteps.empty();
  if (answered) {
    FJstick.Service().TakePadSamples(FJstick.JoystickID() - 1, FSamples);
  } else {
    FSamples.clear();
    FSensors = TJoyReading{};
  }
  FollowSamples();
  // Motion first: a move never waits for what the events queue.
  if (TMotionSink* sink = FJstick.FMotionSink.load(std::memory_order_acquire)) {
    TMotionReading reading;
    reading.Answering = answered;
    reading.PadLayout = FPadLayout;
    if (answered) reading.Raw = FSteps.back();
    reading.At = std::chrono::steady_clock::now();
    reading.Samples = &FSamples;
    reading.Features = &FFeatures;
    reading.JoystickID = FJstick.JoystickID();
    FMotionWantedMs = sink->OnMotionReading(reading);
  } else {
    FMotionWantedMs = 0;
  }
  if (answered) {
    // The states the controller passed through since the last pass, each routed as a reading
    // of its own: a tap shorter than a pass is a press and a release.
    // A viewer sees each of them too.
    const bool observed = FJstick.FObserved.load(std::memory_order_relaxed);
    for (std::size_t step = 0; step + 1 < FSteps.size(); ++step) {
      const JOYINFOEX raw = FSteps[step];
      PassRouted(FSteps[step], true);
      if (observed) Report(raw, true);
    }
    info = FSteps.back();
  }
  if (FJstick.FObserved.load(std::memory_order_relaxed)) {
    const JOYINFOEX raw = info;
    PassRouted(info, answered);
    Report(raw, answered);
    return;
  }
  PassRouted(info, answered);
}

void TPollThread::FollowSamples() {
  FSensors.HasGyro = FSensors.HasGyro || FFeatures.Gyro;
  for (const TPadSample& sample : FSamples) {
    switch (sample.Kind) {
      case TPadSample::Gyro:
        FSensors.HasGyro = true;
        std::copy(std::begin(sample.Values), std::end(sample.Values), FSensors.Gyro.begin());
        break;
      case TPadSample::Accel:
        std::copy(std::begin(sample.Values), std::end(sample.Values), FSensors.Accel.begin());
        break;
      default:
        if (sample.Finger != 0) break;
        FSensors.Touching = sample.Kind != TPadSample::TouchUp;
        FSensors.TouchX = sample.Values[0];
        FSensors.TouchY = sample.Values[1];
    }
  }
}

void TPollThread::Report(const JOYINFOEX& raw, bool answered) {
  TJoyReading reading = FSensors;
  reading.Answering = answered;
  reading.Raw = raw;
  if (!answered) {
    for (int axis = 0; axis < JoyAxisCount; ++axis) {
      reading.Raw.*AxisFields[axis] = FAxes[axis].Offset + FAxes[axis].C;
    }
    reading.Raw.dwButtons = 0;
    reading.Raw.dwPOV = JOY_POVCENTERED;
    reading.Raw.dwReserved1 = reading.Raw.dwReserved2 = 0;
  }
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    reading.Value[axis] =
        FJstick.MapAxis(static_cast<TJoyAxis>(axis), FLastAxes[axis], FAxes[axis]);
    reading.Present[axis] = FAxes[axis].Present;
  }
  std::lock_guard lock(FJstick.FObserverLock);
  if (FJstick.FObserver) FJstick.FObserver->OnReading(reading);
}

void TPollThread::PassRouted(JOYINFOEX& info, bool answered) {
  if (!answered) {
    // Nothing is raised while no controller answers. One that stops answering is reported once
    // as at rest, so that whatever it held is released.
    if (!FAnswering) return;
    FAnswering = false;
    for (int axis = 0; axis < JoyAxisCount; ++axis) {
      info.*AxisFields[axis] = FAxes[axis].Offset + FAxes[axis].C;
    }
    info.dwButtons = 0;
    info.dwPOV = JOY_POVCENTERED;
    info.dwReserved1 = info.dwReserved2 = 0;
    Process(info);
    FJstick.DoConnection(this, false);
    return;
  }
  if (!FAnswering) {
    FAnswering = true;
    if (!FHasBounds) {
      CaptureBounds();
      Seed(info);
    }
    FJstick.DoConnection(this, true);
  }
  Process(info);
}

void TPollThread::Process(JOYINFOEX& info) {
  if (FJstick.MonitorAxis()) {
    std::array<std::int32_t, JoyAxisCount> values;
    const bool useNullZone = FJstick.UseNullZone();
    for (int axis = 0; axis < JoyAxisCount; ++axis) {
      values[axis] = NullZonedAxis(info.*AxisFields[axis], FAxes[axis], FJstick.FNullZone[axis],
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
    const std::array<int, 2> triggers = {TriggerValue(LeftTrigger(info)),
                                         TriggerValue(RightTrigger(info))};
    if (triggers != FLastTriggers) {
      FLastTriggers = triggers;
      FJstick.DoTrigger(this, triggers[0], triggers[1]);
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
