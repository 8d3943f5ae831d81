#pragma once
// TMapper owns the mapping and execution state: the controller (Jstick1) and the routing of its
// events, the slot table, the queue of pending command lines with its lock, and the worker thread
// that runs them through the injector.
//
// Threads: the routing handlers and ExecuteCommands run on the poll thread; the worker
// (TExecThread) runs every command line; the editor reads and writes slots and tolerances on the
// GUI thread. FQueueLock guards the queue and the slot table. A block pass holds it for the whole
// pass, so queuing waits for the pass to end. The direction states and FShiftDown belong to the
// poll thread; the tolerances are single atomic words. The lists of layers and press types sit
// beside the slot table, under the same lock; the press router (layers, press types) belongs to
// the poll thread, which takes its configuration, made on every change of the lists, under
// FConfigLock.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "exec/PressRouter.h"
#include "joystick/Jstick.h"
#include "mapping/CommandLine.h"
#include "mapping/Layers.h"
#include "mapping/Profile.h"
#include "mapping/Slots.h"
#include "platform/Injector.h"
#include "platform/Sleeper.h"

namespace kestrova {

class TMapper;

// "Executing <event> PRESS" or "... RELEASE": the status line of a slot of the slot table.
const std::string& StatusLineOfSlot(int slot);

// Where the trace goes by default: $XDG_RUNTIME_DIR, else the temporary folder.
std::filesystem::path DefaultTraceDirectory();

// The worker: takes one line at a time off the queue, runs it outside the lock and pauses 1 ms.
// Idle, it waits on the queue instead of polling it. Started by its constructor; the destructor
// terminates and joins it.
class TExecThread {
 public:
  explicit TExecThread(TMapper& owner);
  ~TExecThread();
  TExecThread(const TExecThread&) = delete;
  TExecThread& operator=(const TExecThread&) = delete;

  void Terminate();  // any thread; the worker finishes its line and ends
  void Join();

 private:
  void Execute();

  TMapper& FOwner;
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};

class TMapper : private TRoutingTimers {
 public:
  // A block pass inside this many others is skipped and reported.
  static constexpr std::size_t MaxBlockNesting = 64;
  // Queueing a slot that would make more lines wait than this drops the slot, with a status line.
  static constexpr std::size_t MaxQueuedLines = 1000000;

  // Receives each status line ("Executing Stick Left PRESS", skipped-line reports). Called on the
  // poll thread and on the worker, possibly at the same time: the sink does its own ordering.
  using TStatusSink = std::function<void(const std::string&)>;

  // The injector, the joystick service and the sleeper must outlive the mapper. The sleeper
  // paces the worker and carries its delays; the mapper interrupts it at shutdown.
  TMapper(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
          TStatusSink addStatusLine);
  ~TMapper();
  TMapper(const TMapper&) = delete;
  TMapper& operator=(const TMapper&) = delete;

  // Replaces the status sink; only before Start (the threads read it without a lock).
  void SetStatusSink(TStatusSink addStatusLine) { FAddStatusLine = std::move(addStatusLine); }
  // Receives the file of each PROFILE line the worker runs (on the worker: it must not wait for
  // the worker). Without one, such a line is skipped with a status line. Only before Start.
  using TProfileSink = std::function<void(const std::string& file)>;
  void SetProfileSink(TProfileSink sink) { FProfileSink = std::move(sink); }
  // The clock of press types' timers, in milliseconds (the monotonic clock unless set, for
  // tests that drive routing by hand). Only before Start.
  void SetClock(std::function<std::int64_t()> nowMs) { FNowMs = std::move(nowMs); }

  // Starts the worker, removes the trace files and, last, switches polling on. Nothing is
  // executed before.
  void Start();
  // Stops polling and the worker (within a few milliseconds, whatever runs), joins both, drops
  // the queued lines and releases every key and mouse button still held. Idempotent; the
  // destructor calls it.
  void Shutdown();

  // For a profile switch: ends what runs (a DELAY, a block pass), drops the queued lines and
  // releases every key and button held, while polling goes on; the worker then takes new lines
  // again. Owner's thread (not the worker, not the poll thread); nothing after Shutdown.
  void DropQueueAndRelease();

  // Routing: controller changes to event names and kinds, on the poll thread.
  void Jstick1Axis(TObject* Sender, int X, int Y, int Z, int R, int U, int V, float pcX, float pcY,
                   float pcZ, float pcR, float pcU, float pcV);
  void Jstick1Button(TObject* Sender, int ButtonID, bool ButtonDown);
  void Jstick1Pov(TObject* Sender, int PovValue);
  // The triggers on their own, 0 (let go) .. 1000 (pulled); 0 on a plain joystick.
  void Jstick1Trigger(TObject* Sender, int Left, int Right);

  // Tolerances, 0..1000 from the editor (a profile may carry others); index in profile order
  // (X Y Z R U V, then the triggers'). Any thread.
  int Tolerance(int index) const { return FTolerances[index]; }
  void SetTolerance(int index, int tolerance) { FTolerances[index] = tolerance; }
  TTolerances Tolerances() const;
  void SetTolerances(const TTolerances& tolerances);
  int XTol() const { return FTolerances[0]; }
  int YTol() const { return FTolerances[1]; }
  int ZTol() const { return FTolerances[2]; }
  int RTol() const { return FTolerances[3]; }
  void SetXTol(int tolerance) { FTolerances[0] = tolerance; }
  void SetYTol(int tolerance) { FTolerances[1] = tolerance; }
  void SetZTol(int tolerance) { FTolerances[2] = tolerance; }
  void SetRTol(int tolerance) { FTolerances[3] = tolerance; }

  // value x (axis + 1) for "X", "Y", "Z", "R", "U", "V" with the controller read now, the value
  // itself for any other code; nearest integer, halves to even. Worker thread.
  int AxisMultiply(const std::string& axisCode, double value);
  // The same by axis index (0 X .. 5 V; -1 none). The controller is read either way.
  int AxisMultiply(int axis, double value);
  // The six axes of the last read made for a mouse move.
  std::array<int, JoyAxisCount> MouseMoveAxes() const { return FMouseMoveAxes; }

  // The decimal separator of mouse-move steps (the user's locale); set before Start. The slot
  // table's lines are read again with it.
  void SetDecimalSeparator(char separator);
  char DecimalSeparator() const { return FDecimalSeparator; }

  TJstick Jstick1;

  // Queues the lines of the slot of an event name and kind ("PRESS" / "RELEASE"); an unknown
  // name queues nothing.
  void ExecuteCommands(std::string_view eventName, std::string_view kind);
  // The same by event index (0..EventCount-1): what routing calls. With layers or press types in
  // use, the press router decides what runs; sibling is the event of the same control with the
  // shift button in its other state (-1 for none).
  void QueueEvent(int event, bool release, int sibling = -1);
  // Fires the press types' timers due now; poll thread (the poll thread calls it after each pass).
  void TickPressTimers();
  // The layer the next press routes in (0 without layers); poll thread, or when it stands still.
  int Layer() const { return FRouter.Layer(); }
  // After a switch of profile from the pad: what is held now was pressed in the old profile, so
  // its release runs nothing of the new one. Any thread; the poll thread takes it at its next
  // event.
  void ForgetHeldEvents() { FForgetHeld = true; }
  // Runs one command line: every keyword it contains acts, in a fixed order. A line with a bad
  // number or an empty key name is skipped and reported; it never throws.
  void ExecuteSingleCommand(const std::string& line);
  void ExecuteSingleCommand(const TParsedLine& line);
  // One worker turn without its pause: takes the head line, if any, and runs it. Returns false
  // when the queue was empty. For callers that drive the queue themselves (tests).
  bool RunNextQueuedLine();

  // Slot table access under the queue lock; any thread. A slot is any list's id (Layers.h): the
  // slot table's own, or a list of a layer or press type.
  std::vector<std::string> Slot(int slot) const;
  bool SlotEmpty(int slot) const;  // without copying the lines
  void SetSlot(int slot, std::vector<std::string> lines);
  TSlotTable Slots() const;         // layer 0's Press and Release lists
  void SetSlots(TSlotTable slots);  // taken over: a large profile is not copied
  // Every list beyond the slot table, and the press settings; replaced whole.
  TExtraLists ExtraLists() const;
  void SetExtraLists(const TExtraLists& extras);
  void SetPressParams(const TPressParams& params);

  std::vector<std::string> QueuedLines() const;
  std::size_t QueueLength() const;

  // The next free block id; refills BlockIds(). Throws EConvertError for a malformed id.
  std::string GetNextBlockId();
  const std::vector<std::string>& BlockIds() const { return FBlockIds; }

  int ScreenWidth();
  int ScreenHeight();

  // Diagnostic trace: appends "<thread id>: <text>" to kestrova-threads.txt in the trace
  // directory, moving it to kestrova-threads2.txt when it has grown past 1,000,000 bytes. The
  // names are Kestrova's own, so that start-up removes no other program's files.
  static constexpr const char* TraceFileName = "kestrova-threads.txt";
  static constexpr const char* PreviousTraceFileName = "kestrova-threads2.txt";
  void ThreadGate(const std::string& text);
  void RemoveTraceFiles();
  void SetTraceDirectory(std::filesystem::path directory);

  TInjector& Injector() { return FInjector; }

 private:
  friend class TExecThread;

  // Where an axis stands against its tolerance: centre, beyond its negative or positive side.
  enum class TAxisState : std::uint8_t { Center, Negative, Positive };

  // Worker side: waits while the queue is empty; false once terminated.
  bool WaitAndTakeLine(const std::atomic<bool>& terminated, TLinePtr& line);
  void WakeWorker();
  TLinePtr TakeHead();  // caller holds FQueueLock; null for an empty queue
  void Append(TLinePtr line);
  // false when the line ends here (an interrupted DELAY).
  bool RunAction(const TParsedLine& line, const TAction& action);
  void RunBlockPass(const TParsedLine& line, const TAction& pass);
  void MouseMove(const TMouseMoveAction& move);
  // One axis' three tests; reports through QueueEvent.
  void RouteAxis(long long value, long long tolerance, TAxisState& state, int negativeEvent,
                 int positiveEvent);
  void RouteTrigger(int value, int tolerance, bool& pulled, int event);
  void TerminateBlock(const std::string& id);
  void ReportSkipped(const std::string& line, const std::string& reason);
  // Queues the lines of a list (a dense index) with the status line; the plain lists say it
  // even when they have no lines, the others only when they have.
  void QueueList(int dense, const std::string& status);
  void RunRoutedList(int layer, TPressType type, int event, bool release);
  // Makes the press router's configuration from the lists; caller holds FQueueLock.
  void RebuildPressConfig();
  void TakeForget();  // poll thread: takes up ForgetHeldEvents
  std::int64_t AfterPass() override;

  TInjector& FInjector;
  TSleeper& FSleeper;
  TStatusSink FAddStatusLine;

  mutable std::recursive_mutex FQueueLock;
  std::condition_variable_any FQueueChanged;
  // A slot's lines are replaced, never changed in place, so that queueing can copy them without
  // the lock.
  using TSlotLines = std::shared_ptr<const std::vector<TLinePtr>>;
  TSlotLines ParseSlot(std::vector<std::string> lines) const;
  // Every list, by DenseIndex: the slot table's slots first.
  std::array<TSlotLines, DenseListCount> FCommandLists;
  // Whether each list is empty, written with it under the lock: routing an event of an empty
  // slot queues nothing and so never waits for the lock (a block pass may hold it through its
  // DELAY), and the poll thread goes on reading (and moving the pointer).
  std::array<std::atomic<bool>, DenseListCount> FSlotEmpty;
  TPressParams FPressParams;  // under FQueueLock

  // The press router's configuration: made under FQueueLock, handed over under FConfigLock.
  std::mutex FConfigLock;
  std::shared_ptr<const TPressConfig> FPressConfig;
  std::atomic<std::uint64_t> FConfigGeneration{1};
  std::atomic<bool> FPressActive{false};
  std::uint64_t FRouterGeneration = 0;  // poll thread: the configuration the router has
  TPressRouter FRouter;
  std::function<std::int64_t()> FNowMs;
  // Poll thread: the events held (1), and those held across a switch of profile (2), whose
  // release runs nothing.
  std::array<std::uint8_t, EventCount> FHeld{};
  std::atomic<bool> FForgetHeld{false};
  TProfileSink FProfileSink;
  std::deque<TLinePtr> FCommandQueue;
  // Lines taken off the head so far: the line at queue index i has position FTaken + i.
  std::uint64_t FTaken = 0;
  // For each block pass under way (innermost last), the position of the first line it may not
  // take: the end of the queue when it began.
  std::vector<std::uint64_t> FPassLimits;
  std::vector<std::string> FBlockIds;

  std::array<std::atomic<int>, ToleranceCount> FTolerances{300, 300, 300, 300, 300, 300, 300};
  TAxisState FXState = TAxisState::Center;
  TAxisState FYState = TAxisState::Center;
  TAxisState FZState = TAxisState::Center;
  TAxisState FRState = TAxisState::Center;
  TAxisState FUState = TAxisState::Center;
  TAxisState FVState = TAxisState::Center;
  bool FLeftTriggerPulled = false;
  bool FRightTriggerPulled = false;
  int FPovState = -1;  // the hat's direction (0 North .. 7 NW, clockwise), -1 at the centre
  bool FShiftDown = false;
  std::array<int, JoyAxisCount> FMouseMoveAxes{};
  char FDecimalSeparator = '.';

  std::filesystem::path FTraceDirectory;
  std::unique_ptr<TExecThread> FExecThread;
  bool FShutDown = false;
};

}  // namespace kestrova
