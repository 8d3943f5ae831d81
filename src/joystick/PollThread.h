#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "joystick/Jstick.h"
#include "platform/Sleeper.h"

namespace kestrova {

// The Linux nice value (19 .. -20) the poll thread takes for a priority.
int NiceValue(TThreadPriority priority);

// The poll thread of a TJstick. Each pass reads the controller and raises at most one axis
// event, then at most one trigger event, then button events by ascending id, then at most one hat
// event, and sleeps ThreadIntensity ms. Prepare and Pass are the body in steps, for tests that
// drive it.
class TPollThread : public TObject {
 public:
  explicit TPollThread(TJstick& owner);
  ~TPollThread() override;  // terminates and joins

  void Start(TThreadPriority priority);
  void Terminate();  // the pass under way finishes; the sleep ends at once
  void Join();
  bool OnPollThread() const { return std::this_thread::get_id() == FThread.get_id(); }
  void ApplyPriority(TThreadPriority priority);

  // Start of the body: bounds, axis presence and the seed read.
  void Prepare();
  // One pass without its sleep.
  void Pass();
  // The milliseconds within which the motion sink wants the next pass; 0 while it is at rest.
  std::uint32_t MotionWantedMs() const { return FMotionWantedMs; }

 private:
  void Execute(TThreadPriority priority);
  void CaptureBounds();
  void Seed(const JOYINFOEX& info);
  void Process(JOYINFOEX& info);
  // The pass after the read: answering state, events.
  void PassRouted(JOYINFOEX& info, bool answered);
  // Hands a viewer what the pass read.
  void Report(const JOYINFOEX& raw, bool answered);
  // The pass's sensor and touchpad samples into what the viewer sees.
  void FollowSamples();

  TJstick& FJstick;
  std::atomic<bool> FTerminated{false};
  std::atomic<long> FThreadTid{0};
  TRealSleeper FSleeper;

  // Body state, touched only by the body.
  bool FAnswering = false;
  bool FHasBounds = false;
  bool FPadLayout = false;
  TPadFeatures FFeatures;
  std::vector<TPadSample> FSamples;  // the pass's, kept for their capacity
  // What the samples so far left of the sensors and the touchpad, for the viewer.
  TJoyReading FSensors;
  std::uint32_t FMotionWantedMs = 0;
  std::int64_t FTimerDueMs = -1;  // the routing's next timer, from the last pass; -1 for none
  std::array<TAxisFrame, JoyAxisCount> FAxes{};
  std::array<std::int32_t, JoyAxisCount> FLastAxes{};
  std::uint32_t FLastPov = JOY_POVCENTERED;
  std::uint32_t FLastButtons = 0;
  std::array<int, 2> FLastTriggers{};
  std::vector<JOYINFOEX> FSteps;  // what the service read in a pass, kept for its capacity

  std::thread FThread;  // last: started after everything above exists
};

}  // namespace kestrova
