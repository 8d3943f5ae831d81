#pragma once
// TJstick: one game controller read through the joystick service. It conditions the six axes
// (X, Y, Z, R, U, V) with a null zone and a range, offers a direct read (ReadPosition), and while
// EnablePolling is on its poll thread raises OnAxis, OnButton and OnPov for every change.
//
// Threads: properties are written on the owner's thread and read by the poll thread on every
// pass (each is one atomic word). Events are raised on the poll thread. ReadPosition and the
// capability queries may run on any thread, alongside a pass: they use records of their own.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "joystick/Classes.h"
#include "platform/JoyService.h"
#include "platform/Sleeper.h"
#include "platform/WakeSource.h"

namespace kestrova {

enum TJoyAxis { jaX, jaY, jaZ, jaR, jaU, jaV };
constexpr int JoyAxisCount = 6;

using TAxisEvent =
    std::function<void(TObject* Sender, int X, int Y, int Z, int R, int U, int V, float pcX,
                       float pcY, float pcZ, float pcR, float pcU, float pcV)>;
using TButtonEvent = std::function<void(TObject* Sender, int ButtonID, bool ButtonDown)>;
using TPovEvent = std::function<void(TObject* Sender, int PovValue)>;
// Each trigger of a pad on its own, 0 (let go) .. 1000 (pulled).
using TTriggerEvent = std::function<void(TObject* Sender, int Left, int Right)>;

// A trigger's raw 0..65535 on the 0..1000 scale of the tolerances.
constexpr int TriggerValue(std::uint32_t raw) {
  return static_cast<int>((static_cast<std::uint64_t>(raw > 65535 ? 65535 : raw) * 1000) / 65535);
}

// The null zone on a raw value p, with centre C, half-width Z and the axis bounds, in signed
// 32-bit arithmetic that wraps; maps 0 .. C - Z onto 0 .. C and C + Z .. Max onto C .. ~Max.
std::int32_t ApplyNullZone(std::int32_t p, std::int32_t C, std::int32_t Z, std::int32_t Max,
                           std::int32_t Min);

// One axis' bounds as conditioning uses them: Max (1 when reported 0), Min, C = (Max - Min) div 2.
struct TAxisFrame {
  std::uint32_t Max = 1;
  std::uint32_t Min = 0;
  std::uint32_t C = 0;
  // A controller's reported minimum, taken off each raw value first: its axis then spans 0 ..
  // Max like any other, and C is its centre. 0 for the usual 0-based bounds.
  std::uint32_t Offset = 0;
  bool Present = true;
};

// The six values and percentages of an axis event.
struct TAxisValues {
  std::array<std::int32_t, JoyAxisCount> Value{};
  std::array<float, JoyAxisCount> Percent{};
};

class TPollThread;

// What one poll pass read, for a viewer: the controller's raw record (axes 0..65535 as reported,
// buttons, hat) and the axis values the routing sees (after the null zone and range).
struct TJoyReading {
  bool Answering = false;
  JOYINFOEX Raw{};
  std::array<std::int32_t, JoyAxisCount> Value{};
  std::array<bool, JoyAxisCount> Present{};
  // A pad's motion sensors and touchpad, as their latest samples left them.
  bool HasGyro = false;
  std::array<float, 3> Gyro{};   // degrees a second (pitch, yaw, roll)
  std::array<float, 3> Accel{};  // metres a second squared
  bool Touching = false;         // the first finger
  float TouchX = 0;
  float TouchY = 0;
};

// Receives every pass's reading on the poll thread while it is set.
class TReadingObserver {
 public:
  virtual ~TReadingObserver() = default;
  virtual void OnReading(const TJoyReading& reading) = 0;
};

// What one pass read, for continuous motion: the controller's raw record (axes 0..65535) and
// when it was read.
struct TMotionReading {
  bool Answering = false;
  bool PadLayout = false;  // the controller is read in the pad layout
  JOYINFOEX Raw{};
  std::chrono::steady_clock::time_point At;
  // The pad's sensor and touchpad samples since the last reading, and what it has (as taken when
  // it began to answer); null for none.
  const std::vector<TPadSample>* Samples = nullptr;
  const TPadFeatures* Features = nullptr;
  int JoystickID = 1;
};

// Moves the pointer from the readings themselves (a stick as a mouse), beside the events: called
// on the poll thread with every pass's reading, before the pass raises its events. Returns the
// milliseconds within which it wants the next reading, 0 when it is at rest.
// What the routing waits for besides the controller (the timers of press types): called on the
// poll thread after every pass. It fires what is due and returns the milliseconds until its next
// timer, -1 for none; the poll thread reads again by then whatever else it waits for.
class TRoutingTimers {
 public:
  virtual ~TRoutingTimers() = default;
  virtual std::int64_t AfterPass() = 0;
};

class TMotionSink {
 public:
  virtual ~TMotionSink() = default;
  virtual std::uint32_t OnMotionReading(const TMotionReading& reading) = 0;
};

class TJstick : public TComponent {
 public:
  explicit TJstick(TJoyService& service);
  ~TJstick() override;  // stops polling and joins the poll thread
  TJstick(const TJstick&) = delete;
  TJstick& operator=(const TJstick&) = delete;

  // Assign before polling starts; they are called on the poll thread.
  TAxisEvent OnAxis;
  TButtonEvent OnButton;
  TPovEvent OnPov;
  // Raised with the axis events (MonitorAxis) when either trigger's value changes.
  TTriggerEvent OnTrigger;
  // Whether the controller answers: once when polling starts, then at every change (plugged in,
  // unplugged), after the at-rest events of a controller that went away. Poll thread.
  std::function<void(TObject* Sender, bool Answering)> OnConnection;

  bool EnablePolling() const { return FEnablePolling; }
  // True starts the poll thread (after joining one that ended); False tells it to end after its
  // pass and returns without waiting. Forced False while designing. Not from the poll thread.
  void SetEnablePolling(bool enable);
  // Joins a poll thread that was told to end. Not from the poll thread.
  void WaitForPollThread();

  int JoystickID() const { return FJoystickID; }
  void SetJoystickID(int id) { FJoystickID = (id >= 1 && id <= MaxJoysticks) ? id : 1; }
  bool MonitorAxis() const { return FMonitorAxis; }
  void SetMonitorAxis(bool on) { FMonitorAxis = on; }
  bool MonitorButtons() const { return FMonitorButtons; }
  void SetMonitorButtons(bool on) { FMonitorButtons = on; }
  bool MonitorPov() const { return FMonitorPov; }
  void SetMonitorPov(bool on) { FMonitorPov = on; }
  // Milliseconds the poll thread sleeps after each pass.
  std::uint32_t ThreadIntensity() const { return FThreadIntensity; }
  void SetThreadIntensity(std::uint32_t ms) { FThreadIntensity = ms; }
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority priority);

  // Percent of the half-span; 1..99 are stored, anything else stores 10.
  std::uint32_t NullZone(TJoyAxis axis) const { return FNullZone[axis]; }
  void SetNullZone(TJoyAxis axis, std::uint32_t percent) {
    FNullZone[axis] = (percent >= 1 && percent <= 99) ? percent : 10;
  }
  std::uint32_t Range(TJoyAxis axis) const { return FRange[axis]; }
  void SetRange(TJoyAxis axis, std::uint32_t range) { FRange[axis] = range; }

  std::uint32_t NullZoneX() const { return NullZone(jaX); }
  std::uint32_t NullZoneY() const { return NullZone(jaY); }
  std::uint32_t NullZoneZ() const { return NullZone(jaZ); }
  std::uint32_t NullZoneR() const { return NullZone(jaR); }
  std::uint32_t NullZoneU() const { return NullZone(jaU); }
  std::uint32_t NullZoneV() const { return NullZone(jaV); }
  void SetNullZoneX(std::uint32_t v) { SetNullZone(jaX, v); }
  void SetNullZoneY(std::uint32_t v) { SetNullZone(jaY, v); }
  void SetNullZoneZ(std::uint32_t v) { SetNullZone(jaZ, v); }
  void SetNullZoneR(std::uint32_t v) { SetNullZone(jaR, v); }
  void SetNullZoneU(std::uint32_t v) { SetNullZone(jaU, v); }
  void SetNullZoneV(std::uint32_t v) { SetNullZone(jaV, v); }
  std::uint32_t RangeX() const { return Range(jaX); }
  std::uint32_t RangeY() const { return Range(jaY); }
  std::uint32_t RangeZ() const { return Range(jaZ); }
  std::uint32_t RangeR() const { return Range(jaR); }
  std::uint32_t RangeU() const { return Range(jaU); }
  std::uint32_t RangeV() const { return Range(jaV); }
  void SetRangeX(std::uint32_t v) { SetRange(jaX, v); }
  void SetRangeY(std::uint32_t v) { SetRange(jaY, v); }
  void SetRangeZ(std::uint32_t v) { SetRange(jaZ, v); }
  void SetRangeR(std::uint32_t v) { SetRange(jaR, v); }
  void SetRangeU(std::uint32_t v) { SetRange(jaU, v); }
  void SetRangeV(std::uint32_t v) { SetRange(jaV, v); }

  bool NormalizeAxis() const { return FNormalizeAxis; }
  void SetNormalizeAxis(bool on) { FNormalizeAxis = on; }
  bool UseRange() const { return FUseRange; }
  void SetUseRange(bool on) { FUseRange = on; }
  bool UseNullZone() const { return FUseNullZone; }
  void SetUseNullZone(bool on) { FUseNullZone = on; }

  // Capability queries: each asks the service afresh (result code not examined).
  std::uint32_t XMin() { return CapsField(&JOYCAPSA::wXmin); }
  std::uint32_t XMax() { return CapsField(&JOYCAPSA::wXmax); }
  std::uint32_t YMin() { return CapsField(&JOYCAPSA::wYmin); }
  std::uint32_t YMax() { return CapsField(&JOYCAPSA::wYmax); }
  std::uint32_t ZMin() { return CapsField(&JOYCAPSA::wZmin); }
  std::uint32_t ZMax() { return CapsField(&JOYCAPSA::wZmax); }
  std::uint32_t RMin() { return CapsField(&JOYCAPSA::wRmin); }
  std::uint32_t RMax() { return CapsField(&JOYCAPSA::wRmax); }
  std::uint32_t UMin() { return CapsField(&JOYCAPSA::wUmin); }
  std::uint32_t UMax() { return CapsField(&JOYCAPSA::wUmax); }
  std::uint32_t VMin() { return CapsField(&JOYCAPSA::wVmin); }
  std::uint32_t VMax() { return CapsField(&JOYCAPSA::wVmax); }
  bool HasZ() { return CapsField(&JOYCAPSA::wCaps) & JOYCAPS_HASZ; }
  bool HasR() { return CapsField(&JOYCAPSA::wCaps) & JOYCAPS_HASR; }
  bool HasU() { return CapsField(&JOYCAPSA::wCaps) & JOYCAPS_HASU; }
  bool HasV() { return CapsField(&JOYCAPSA::wCaps) & JOYCAPS_HASV; }

  // Reads the controller now and conditions it as an axis event would. A controller that does
  // not answer reads as at rest on 0..65535 (with the defaults -1 and 49.99924). Any thread.
  void ReadPosition(int& X, int& Y, int& Z, int& R, int& U, int& V, float& pcX, float& pcY,
                    float& pcZ, float& pcR, float& pcU, float& pcV);
  TAxisValues ReadPosition();

  // The axis bounds now; bounds of a controller that does not answer are 0..65535.
  std::array<TAxisFrame, JoyAxisCount> QueryAxisFrames();
  // The range mapping and the percentage of a null-zoned value, with the current properties.
  std::int32_t MapAxis(TJoyAxis axis, std::int32_t p, const TAxisFrame& frame) const;
  static float Percentage(std::int32_t p, const TAxisFrame& frame);

  TJoyService& Service() { return FService; }

  // What wakes the poll thread between passes: the controller's input (a wake source), or, with
  // none, ThreadIntensity's interval. Set before polling starts; it must outlive polling.
  void SetWakeSource(TWakeSource* source) { FWakeSource = source; }
  TWakeSource* WakeSource() const { return FWakeSource; }

  // What moves the pointer from the readings, or none. While it wants readings, the poll thread
  // reads at least as often as it asks, without waiting for input. Set while polling is off; it
  // must outlive polling.
  void SetMotionSink(TMotionSink* sink) { FMotionSink = sink; }
  TMotionSink* MotionSink() const { return FMotionSink; }
  // The routing's timers, or none. Set while polling is off; it must outlive polling.
  void SetRoutingTimers(TRoutingTimers* timers) { FRoutingTimers = timers; }

  // Sets the viewer of the poll thread's readings, or none (nullptr). When it returns, the poll
  // thread no longer calls the previous one. Unset, a pass costs one atomic load more. Not from
  // the poll thread.
  void SetReadingObserver(TReadingObserver* observer);

  // Whether the controller has the axis, as the poll thread last took its bounds (X and Y
  // always). Meant for the poll thread's handlers; any thread may ask.
  bool AxisPresent(TJoyAxis axis) const { return FAxisPresent[axis]; }
  // The poll thread sets these as it takes the bounds; one who raises events without it (a
  // replayed recording, a test) says which axes the controller has.
  void SetAxisPresent(TJoyAxis axis, bool present) { FAxisPresent[axis] = present; }

  // Passes the current poll thread has completed (0 until its first pass has run). Any thread.
  std::uint64_t PollPasses() const { return FPollPasses; }

 protected:
  // Call the assigned handler, if any, with exactly these arguments.
  virtual void DoAxis(TObject* Sender, int X, int Y, int Z, int R, int U, int V, float pcX,
                      float pcY, float pcZ, float pcR, float pcU, float pcV);
  virtual void DoButton(TObject* Sender, int ButtonID, bool ButtonDown);
  virtual void DoPov(TObject* Sender, int PovValue);
  void DoTrigger(TObject* Sender, int Left, int Right) {
    if (OnTrigger) OnTrigger(Sender, Left, Right);
  }
  void DoConnection(TObject* Sender, bool answering) {
    if (OnConnection) OnConnection(Sender, answering);
  }

 private:
  friend class TPollThread;

  std::uint32_t CapsField(std::uint32_t JOYCAPSA::*field);

  TJoyService& FService;
  std::mutex FCapsLock;  // guards FJoyCaps
  JOYCAPSA FJoyCaps{};
  JOYINFOEX FJoyInfo{};  // the poll thread's record
  std::unique_ptr<TPollThread> FPollThread;
  std::atomic<std::uint64_t> FPollPasses{0};
  std::array<std::atomic<bool>, JoyAxisCount> FAxisPresent{true, true, false, false, false, false};
  std::atomic<bool> FObserved{false};
  std::atomic<TWakeSource*> FWakeSource{nullptr};
  std::atomic<TMotionSink*> FMotionSink{nullptr};
  TRoutingTimers* FRoutingTimers = nullptr;
  std::mutex FObserverLock;  // guards FObserver, and holds it alive while it is called
  TReadingObserver* FObserver = nullptr;

  bool FEnablePolling = false;
  std::atomic<int> FJoystickID{1};
  std::atomic<bool> FMonitorAxis{true};
  std::atomic<bool> FMonitorButtons{true};
  std::atomic<bool> FMonitorPov{true};
  std::atomic<std::uint32_t> FThreadIntensity{10};
  std::atomic<TThreadPriority> FThreadPriority{tpNormal};
  std::array<std::atomic<std::uint32_t>, JoyAxisCount> FNullZone{10, 10, 10, 10, 10, 10};
  std::array<std::atomic<std::uint32_t>, JoyAxisCount> FRange{1000, 1000, 1000, 1000, 1000, 1000};
  std::atomic<bool> FNormalizeAxis{true};
  std::atomic<bool> FUseRange{true};
  std::atomic<bool> FUseNullZone{true};
};

}  // namespace kestrova
