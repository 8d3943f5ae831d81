#include "Mapper.h"

#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "exec/inputsynth.h"
#include "mapping/Convert.h"

namespace kestrova {

namespace {

// A line that cannot run; the message says why.
class ESkipLine : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string KeyOf(const std::string& line) {
  std::string key = GetCmdParam(line, 0);
  if (key.empty()) throw ESkipLine("no key name");
  return key;
}

// n - 1 as the 32-bit counter of the original wraps, without undefined behaviour.
int DecrementWrapping(int n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) - 1u);
}

}  // namespace

TExecThread::TExecThread(TMapper& owner) : FOwner(owner), FThread([this] { Execute(); }) {}

TExecThread::~TExecThread() {
  Terminate();
  Join();
}

void TExecThread::Terminate() {
  FTerminated = true;
  FOwner.WakeWorker();
}

void TExecThread::Join() {
  if (FThread.joinable()) FThread.join();
}

void TExecThread::Execute() {
  // The pause after each line is 1 ms: a tight timer slack keeps it from stretching.
  ::prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  std::string line;
  while (!FTerminated) {
    if (!FOwner.WaitAndTakeLine(FTerminated, line)) break;
    if (!line.empty()) FOwner.ExecuteSingleCommand(line);
    if (!FOwner.FSleeper.Sleep(1)) break;
  }
}

TMapper::TMapper(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
                 TStatusSink addStatusLine)
    : Jstick1(joysticks),
      FInjector(injector),
      FSleeper(sleeper),
      FAddStatusLine(std::move(addStatusLine)),
      FTraceDirectory(std::filesystem::temp_directory_path()) {
  Jstick1.Name = "Jstick1";
  Jstick1.OnAxis = [this](TObject* sender, int x, int y, int z, int r, int u, int v, float pcX,
                          float pcY, float pcZ, float pcR, float pcU, float pcV) {
    Jstick1Axis(sender, x, y, z, r, u, v, pcX, pcY, pcZ, pcR, pcU, pcV);
  };
  Jstick1.OnButton = [this](TObject* sender, int id, bool down) {
    Jstick1Button(sender, id, down);
  };
  Jstick1.OnPov = [this](TObject* sender, int pov) { Jstick1Pov(sender, pov); };
}

TMapper::~TMapper() {
  Shutdown();
}

void TMapper::Start() {
  if (FExecThread || FShutDown) return;
  FExecThread = std::make_unique<TExecThread>(*this);
  RemoveTraceFiles();
  Jstick1.SetEnablePolling(true);
}

void TMapper::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // Interrupting the sleeper ends a DELAY or a block pass under way; terminating wakes an idle
  // worker. Both return within a line's worth of injection.
  FSleeper.Interrupt();
  if (FExecThread) FExecThread->Terminate();
  Jstick1.SetEnablePolling(false);
  if (FExecThread) {
    FExecThread->Join();
    FExecThread.reset();
  }
  Jstick1.WaitForPollThread();
  {
    std::lock_guard lock(FQueueLock);
    FCommandQueue.clear();
  }
  FInjector.ReleaseHeld();
}

void TMapper::ExecuteCommands(std::string_view eventName, std::string_view kind) {
  const int slot = SlotOfEvent(eventName, kind);
  if (slot < 0) return;
  if (FAddStatusLine) {
    FAddStatusLine("Executing " + std::string(eventName) + " " + std::string(kind));
  }
  {
    std::lock_guard lock(FQueueLock);
    const auto& lines = FCommandLists[slot];
    FCommandQueue.insert(FCommandQueue.end(), lines.begin(), lines.end());
  }
  FQueueChanged.notify_all();
}

bool TMapper::WaitAndTakeLine(const std::atomic<bool>& terminated, std::string& line) {
  std::unique_lock lock(FQueueLock);
  FQueueChanged.wait(lock, [&] { return terminated.load() || !FCommandQueue.empty(); });
  if (terminated) return false;
  line = TakeHead();
  return true;
}

void TMapper::WakeWorker() {
  // Taking the lock orders the wake-up after the worker's predicate check.
  { std::lock_guard lock(FQueueLock); }
  FQueueChanged.notify_all();
}

bool TMapper::RunNextQueuedLine() {
  std::string line;
  {
    std::lock_guard lock(FQueueLock);
    if (FCommandQueue.empty()) return false;
    line = TakeHead();
  }
  if (!line.empty()) ExecuteSingleCommand(line);
  return true;
}

std::string TMapper::TakeHead() {
  if (FCommandQueue.empty()) return {};
  std::string line = std::move(FCommandQueue.front());
  FCommandQueue.pop_front();
  ++FTaken;
  return line;
}

void TMapper::Append(std::string line) {
  FCommandQueue.push_back(std::move(line));
}

void TMapper::ExecuteSingleCommand(const std::string& line) {
  try {
    if (Contains(line, "DELAY")) {
      const int ms = StrToInt(GetCmdParam(line, 0));
      if (!FSleeper.Sleep(ms > 0 ? static_cast<std::uint32_t>(ms) : 0)) return;
    }
    if (Contains(line, "KEY UP")) ReleaseKey(FInjector, KeyOf(line));
    if (Contains(line, "KEY DOWN")) PressKey(FInjector, KeyOf(line));
    if (Contains(line, "MOUSE MOVE")) MouseMove(line);
    if (Contains(line, "RIGHT MOUSE DOWN")) MouseButton(FInjector, "RIGHT", "PRESS");
    if (Contains(line, "RIGHT MOUSE UP")) MouseButton(FInjector, "RIGHT", "RELEASE");
    if (Contains(line, "LEFT MOUSE DOWN")) MouseButton(FInjector, "LEFT", "PRESS");
    if (Contains(line, "LEFT MOUSE UP")) MouseButton(FInjector, "LEFT", "RELEASE");
    if (Contains(line, "RPT")) RunBlockPass(line);
    if (Contains(line, "TRMBLOCK")) TerminateBlock(line);
  } catch (const std::exception& error) {
    ReportSkipped(line, error.what());
  }
}

void TMapper::RunBlockPass(const std::string& line) {
  const std::string id = GetCmdParam(line, 2);
  const int count = StrToInt(GetCmdParam(line, 0));
  const bool repeats = count != 1;

  std::lock_guard lock(FQueueLock);
  // Every nested pass is a level of the worker's stack: queued start lines of many blocks must
  // not be able to exhaust it.
  if (FPassLimits.size() >= MaxBlockNesting) {
    ReportSkipped(line, "blocks nested more than " + std::to_string(MaxBlockNesting) + " deep");
    return;
  }
  // A pass takes only lines that were queued when it began: a block whose ENDBLOCK is missing
  // would otherwise take its own re-queued start line, or lines that nested passes keep
  // appending, and never end. Well-formed blocks end at their ENDBLOCK before that point, and
  // the re-queued start line of a repeating block is exactly that point.
  FPassLimits.push_back(FTaken + FCommandQueue.size());
  struct TLimitGuard {
    std::vector<std::uint64_t>& limits;
    ~TLimitGuard() { limits.pop_back(); }
  } limitGuard{FPassLimits};
  if (repeats) Append("BEGBLOCK " + id + " RPT " + std::to_string(DecrementWrapping(count)));

  while (FSleeper.Sleep(1)) {
    // The outermost pass under way has the nearest limit.
    if (!FCommandQueue.empty() && FTaken >= FPassLimits.front()) break;
    std::string next = TakeHead();
    if (next.empty()) break;
    if (repeats) Append(next);
    if (Contains(next, "ENDBLOCK")) break;
    ExecuteSingleCommand(next);
  }
}

void TMapper::MouseMove(const std::string& line) {
  const std::string mode = GetCmdParam(line, 5);
  const std::string bounds = GetCmdParam(line, 4);
  const double stepX = StrToFloat(GetCmdParam(line, 3), FDecimalSeparator);
  const double stepY = StrToFloat(GetCmdParam(line, 2), FDecimalSeparator);
  long long x = AxisMultiply(GetCmdParam(line, 1), stepX);
  long long y = AxisMultiply(GetCmdParam(line, 0), stepY);
  if (bounds == "B" && mode != "A") {
    // The cursor is read afresh for every comparison.
    if (CursorX(FInjector) + x <= 0) x = -CursorX(FInjector);
    if (ScreenWidth() <= CursorX(FInjector) + x) x = ScreenWidth() - CursorX(FInjector) - 1LL;
    if (CursorY(FInjector) + y <= 0) y = -CursorY(FInjector);
    if (ScreenHeight() <= CursorY(FInjector) + y) y = ScreenHeight() - CursorY(FInjector) - 1LL;
  }
  const auto clamp32 = [](long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
  };
  if (mode == "A") {
    MoveMouseAbsolute(FInjector, clamp32(x), clamp32(y));
  } else {
    MoveMouseRelative(FInjector, clamp32(x), clamp32(y));
  }
}

int TMapper::AxisMultiply(const std::string& axisCode, double value) {
  const TAxisValues axes = Jstick1.ReadPosition();
  std::copy(axes.Value.begin(), axes.Value.end(), FMouseMoveAxes.begin());
  long double factor = 1;
  if (axisCode == "X") factor = axes.Value[jaX] + 1.0L;
  if (axisCode == "Y") factor = axes.Value[jaY] + 1.0L;
  if (axisCode == "Z") factor = axes.Value[jaZ] + 1.0L;
  if (axisCode == "R") factor = axes.Value[jaR] + 1.0L;
  const long double result = std::nearbyint(value * factor);
  return static_cast<int>(std::clamp<long double>(result, INT32_MIN, INT32_MAX));
}

void TMapper::RouteAxis(long long value, long long tolerance, std::string& state,
                        const char* negativeState, const char* negativeEvent,
                        const char* positiveState, const char* positiveEvent) {
  if (value < -tolerance && state != negativeState) {
    state = negativeState;
    ExecuteCommands(negativeEvent, "PRESS");
  }
  if (value > tolerance && state != positiveState) {
    state = positiveState;
    ExecuteCommands(positiveEvent, "PRESS");
  }
  if (-tolerance <= value && value <= tolerance && state != "Center") {
    if (state == negativeState) ExecuteCommands(negativeEvent, "RELEASE");
    if (state == positiveState) ExecuteCommands(positiveEvent, "RELEASE");
    state = "Center";
  }
}

void TMapper::Jstick1Axis(TObject*, int X, int Y, int Z, int R, int, int, float, float, float,
                          float, float, float) {
  RouteAxis(X + 1LL, FXTol, FXState, "Left", "Stick Left", "Right", "Stick Right");
  RouteAxis(Y + 1LL, FYTol, FYState, "Up", "Stick Up", "Down", "Stick Down");
  RouteAxis(Z, FZTol, FZState, "ZLeft", "Z Left", "ZRight", "Z Right");
  RouteAxis(R, FRTol, FRState, "RotLeft", "Rot. Left", "RotRight", "Rot. Right");
}

void TMapper::Jstick1Button(TObject*, int ButtonID, bool ButtonDown) {
  if (!FShiftDown && ButtonID == 9 && ButtonDown) FShiftDown = true;
  if (FShiftDown && ButtonID == 9 && !ButtonDown) FShiftDown = false;
  if (ButtonID < 9) {
    const std::string name = (FShiftDown ? "Shift Button " : "Button ") + std::to_string(ButtonID);
    ExecuteCommands(name, ButtonDown ? "PRESS" : "RELEASE");
  }
}

void TMapper::Jstick1Pov(TObject*, int PovValue) {
  static constexpr struct {
    int value;
    const char* state;
  } directions[] = {{0, "North"},     {4500, "NE"},  {9000, "East"},  {13500, "SE"},
                    {18000, "South"}, {22500, "SW"}, {27000, "West"}, {31500, "NW"}};
  const std::string previous = FPovState;
  bool moved = false;
  for (const auto& direction : directions) {
    if (direction.value == PovValue && FPovState != direction.state) {
      FPovState = direction.state;
      moved = true;
    }
  }
  if (moved) {
    if (previous != "Center") ExecuteCommands("POV " + previous, "RELEASE");
    ExecuteCommands("POV " + FPovState, "PRESS");
  }
  if (PovValue == 65535 && FPovState != "Center") {
    ExecuteCommands("POV " + FPovState, "RELEASE");
    FPovState = "Center";
    ExecuteCommands("POV Center", "PRESS");
    ExecuteCommands("POV Center", "RELEASE");
  }
}

void TMapper::TerminateBlock(const std::string& line) {
  const std::string id = GetCmdParam(line, 0);
  std::lock_guard lock(FQueueLock);
  bool inside = false;
  for (auto& queued : FCommandQueue) {
    if (Contains(queued, "BEGBLOCK") && GetCmdParam(queued, 2) == id) inside = true;
    if (Contains(queued, "ENDBLOCK") && GetCmdParam(queued, 0) == id) {
      queued = "NOOP";
      inside = false;
    } else if (inside) {
      queued = "NOOP";
    }
  }
}

void TMapper::ReportSkipped(const std::string& line, const std::string& reason) {
  if (FAddStatusLine) FAddStatusLine("Skipped \"" + line + "\": " + reason);
}

std::vector<std::string> TMapper::Slot(int slot) const {
  std::lock_guard lock(FQueueLock);
  return FCommandLists.at(slot);
}

void TMapper::SetSlot(int slot, std::vector<std::string> lines) {
  std::lock_guard lock(FQueueLock);
  FCommandLists.at(slot) = std::move(lines);
}

TSlotTable TMapper::Slots() const {
  std::lock_guard lock(FQueueLock);
  return FCommandLists;
}

void TMapper::SetSlots(const TSlotTable& slots) {
  std::lock_guard lock(FQueueLock);
  FCommandLists = slots;
}

std::vector<std::string> TMapper::QueuedLines() const {
  std::lock_guard lock(FQueueLock);
  return {FCommandQueue.begin(), FCommandQueue.end()};
}

std::size_t TMapper::QueueLength() const {
  std::lock_guard lock(FQueueLock);
  return FCommandQueue.size();
}

std::string TMapper::GetNextBlockId() {
  std::lock_guard lock(FQueueLock);
  return kestrova::GetNextBlockId(FCommandLists, FBlockIds);
}

int TMapper::ScreenWidth() {
  return ScreenWidthOf(FInjector);
}
int TMapper::ScreenHeight() {
  return ScreenHeightOf(FInjector);
}

void TMapper::SetTraceDirectory(std::filesystem::path directory) {
  std::lock_guard lock(FQueueLock);
  FTraceDirectory = std::move(directory);
}

void TMapper::RemoveTraceFiles() {
  std::lock_guard lock(FQueueLock);
  std::error_code ignored;
  std::filesystem::remove(FTraceDirectory / "threads.txt", ignored);
  std::filesystem::remove(FTraceDirectory / "threads2.txt", ignored);
}

void TMapper::ThreadGate(const std::string& text) {
  std::lock_guard lock(FQueueLock);
  const auto current = FTraceDirectory / "threads.txt";
  const auto previous = FTraceDirectory / "threads2.txt";
  std::error_code error;
  const auto size = std::filesystem::file_size(current, error);
  auto mode = std::ios::app;
  if (!error && size > 1000000) {
    std::filesystem::remove(previous, error);
    std::filesystem::rename(current, previous, error);
    mode = std::ios::trunc;
  }
  std::ofstream trace(current, std::ios::out | mode);
  trace << static_cast<long>(::syscall(SYS_gettid)) << ": " << text << "\n";
}

}  // namespace kestrova
