#pragma once
// The executor as it read command lines before they were parsed once: every run of a line scans
// it for each keyword and reads its words afresh, and the queue holds texts; and routing as it
// named events and directions by their texts. Kept as the oracle of the differential tests (and
// the fuzzer): the mapper must inject the same calls, give the same status lines and leave the
// same queue; and as the "before" of the benchmarks. Single-threaded: one turn at a time.

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "exec/inputsynth.h"
#include "joystick/Jstick.h"
#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "mapping/Slots.h"
#include "platform/Sleeper.h"

namespace kestrova::testing {

class TReferenceExecutor {
 public:
  static constexpr std::size_t MaxBlockNesting = 64;

  TReferenceExecutor(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
                     char decimalSeparator)
      : FInjector(injector),
        FJstick(joysticks),
        FSleeper(sleeper),
        FDecimalSeparator(decimalSeparator) {}

  std::vector<std::string> Status;
  std::array<std::vector<std::string>, SlotCount> Slots;

  // Status lines are kept only while KeepStatus is set (benchmarks drop them).
  bool KeepStatus = true;

  void ExecuteCommands(std::string_view eventName, std::string_view kind) {
    const int slot = SlotOfEvent(eventName, kind);
    if (slot < 0) return;
    const std::string status = "Executing " + std::string(eventName) + " " + std::string(kind);
    std::list<std::string> batch(Slots[slot].begin(), Slots[slot].end());
    std::lock_guard lock(FLock);
    FQueue.splice(FQueue.end(), batch);
    if (KeepStatus) Status.push_back(status);
  }

  // Routing by texts; the tolerances are the defaults but for those given.
  std::array<int, 7> Tolerances{300, 300, 300, 300, 300, 300, 300};
  bool HasU = true;
  bool HasV = true;

  void Axis(int X, int Y, int Z, int R, int U, int V) {
    RouteAxis(X + 1LL, Tolerances[0], FXState, "Left", "Stick Left", "Right", "Stick Right");
    RouteAxis(Y + 1LL, Tolerances[1], FYState, "Up", "Stick Up", "Down", "Stick Down");
    RouteAxis(Z, Tolerances[2], FZState, "ZLeft", "Z Left", "ZRight", "Z Right");
    RouteAxis(R, Tolerances[3], FRState, "RotLeft", "Rot. Left", "RotRight", "Rot. Right");
    if (HasU) RouteAxis(U, Tolerances[4], FUState, "ULeft", "U Left", "URight", "U Right");
    if (HasV) RouteAxis(V, Tolerances[5], FVState, "VLeft", "V Left", "VRight", "V Right");
  }

  void Button(int ButtonID, bool ButtonDown) {
    if (!FShiftDown && ButtonID == ShiftButton && ButtonDown) FShiftDown = true;
    if (FShiftDown && ButtonID == ShiftButton && !ButtonDown) FShiftDown = false;
    if (ButtonID != ShiftButton && ButtonID <= LastMappedButton) {
      const std::string name =
          (FShiftDown ? "Shift Button " : "Button ") + std::to_string(ButtonID);
      ExecuteCommands(name, ButtonDown ? "PRESS" : "RELEASE");
    }
  }

  void Pov(int PovValue) {
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

  void ClearQueue() { FQueue.clear(); }

  bool RunNextQueuedLine() {
    if (FQueue.empty()) return false;
    const std::string line = TakeHead();
    if (!line.empty()) ExecuteSingleCommand(line);
    return true;
  }

  std::vector<std::string> QueuedLines() const { return {FQueue.begin(), FQueue.end()}; }

  void ExecuteSingleCommand(const std::string& line) {
    try {
      if (Contains(line, DelayKeyword)) {
        const int ms = StrToInt(GetCmdParam(line, 0));
        if (!FSleeper.Sleep(ms > 0 ? static_cast<std::uint32_t>(ms) : 0)) return;
      }
      if (Contains(line, KeyUpKeyword)) ReleaseKey(FInjector, KeyOf(line));
      if (Contains(line, KeyDownKeyword)) PressKey(FInjector, KeyOf(line));
      if (Contains(line, MouseMoveKeyword)) MouseMove(line);
      if (Contains(line, RightMouseDownLine)) MouseButton(FInjector, "RIGHT", "PRESS");
      if (Contains(line, RightMouseUpLine)) MouseButton(FInjector, "RIGHT", "RELEASE");
      if (Contains(line, LeftMouseDownLine)) MouseButton(FInjector, "LEFT", "PRESS");
      if (Contains(line, LeftMouseUpLine)) MouseButton(FInjector, "LEFT", "RELEASE");
      ExtendedMouseLine(line);
      if (Contains(line, RepeatKeyword)) RunBlockPass(line);
      if (Contains(line, TerminateBlockKeyword)) TerminateBlock(line);
    } catch (const std::exception& error) {
      Status.push_back("Skipped \"" + Elided(line) + "\": " + error.what());
    }
  }

 private:
  static std::string KeyOf(const std::string& line) {
    std::string key = GetCmdParam(line, 0);
    if (key.empty()) throw std::runtime_error("no key name");
    return key;
  }

  void ExtendedMouseLine(const std::string& line) {
    static constexpr struct {
      std::string_view Line;
      const char* Button;
      const char* Action;
    } buttons[] = {
        {MiddleMouseDownLine, "MIDDLE", "PRESS"},   {MiddleMouseUpLine, "MIDDLE", "RELEASE"},
        {BackMouseDownLine, "BACK", "PRESS"},       {BackMouseUpLine, "BACK", "RELEASE"},
        {ForwardMouseDownLine, "FORWARD", "PRESS"}, {ForwardMouseUpLine, "FORWARD", "RELEASE"}};
    for (const auto& button : buttons) {
      if (line == button.Line) MouseButton(FInjector, button.Button, button.Action);
    }
    for (const bool horizontal : {false, true}) {
      const auto notches = SoleArgument(line, horizontal ? MouseHWheelKeyword : MouseWheelKeyword);
      if (!notches.empty()) MouseWheel(FInjector, StrToInt(notches), horizontal);
    }
  }

  int AxisMultiply(const std::string& axisCode, double value) {
    const TAxisValues axes = FJstick.ReadPosition();
    const int axis = MouseMoveAxisIndex(axisCode);
    const long double factor = axis >= 0 ? axes.Value[axis] + 1.0L : 1.0L;
    const long double result = std::nearbyint(value * factor);
    return static_cast<int>(std::clamp<long double>(result, INT32_MIN, INT32_MAX));
  }

  void MouseMove(const std::string& line) {
    const std::string mode = GetCmdParam(line, 5);
    const std::string bounds = GetCmdParam(line, 4);
    const double stepX = StrToFloat(GetCmdParam(line, 3), FDecimalSeparator);
    const double stepY = StrToFloat(GetCmdParam(line, 2), FDecimalSeparator);
    long long x = AxisMultiply(GetCmdParam(line, 1), stepX);
    long long y = AxisMultiply(GetCmdParam(line, 0), stepY);
    if (bounds == MouseMoveBounded && mode != MouseMoveAbsolute && FInjector.PointerReadable()) {
      if (CursorX(FInjector) + x <= 0) x = -CursorX(FInjector);
      if (ScreenWidthOf(FInjector) <= CursorX(FInjector) + x)
        x = ScreenWidthOf(FInjector) - CursorX(FInjector) - 1LL;
      if (CursorY(FInjector) + y <= 0) y = -CursorY(FInjector);
      if (ScreenHeightOf(FInjector) <= CursorY(FInjector) + y)
        y = ScreenHeightOf(FInjector) - CursorY(FInjector) - 1LL;
    }
    const auto clamp32 = [](long long value) {
      return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
    };
    if (mode == MouseMoveAbsolute) {
      MoveMouseAbsolute(FInjector, clamp32(x), clamp32(y));
    } else {
      MoveMouseRelative(FInjector, clamp32(x), clamp32(y));
    }
  }

  void RunBlockPass(const std::string& line) {
    const std::string id = GetCmdParam(line, 2);
    const int count = StrToInt(GetCmdParam(line, 0));
    const bool repeats = count != 1;
    if (FPassLimits.size() >= MaxBlockNesting) {
      Status.push_back("Skipped \"" + Elided(line) + "\": blocks nested more than " +
                       std::to_string(MaxBlockNesting) + " deep");
      return;
    }
    FPassLimits.push_back(FTaken + FQueue.size());
    if (repeats) {
      const int next = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) - 1u);
      FQueue.push_back(BeginBlockLine(id, std::to_string(next)));
    }
    while (FSleeper.Sleep(1)) {
      if (!FQueue.empty() && FTaken >= FPassLimits.front()) break;
      std::string next = TakeHead();
      if (next.empty()) break;
      if (repeats) FQueue.push_back(next);
      if (Contains(next, EndBlockKeyword)) break;
      ExecuteSingleCommand(next);
    }
    FPassLimits.pop_back();
  }

  void TerminateBlock(const std::string& line) {
    const std::string id = GetCmdParam(line, 0);
    bool inside = false;
    for (auto& queued : FQueue) {
      if (Contains(queued, BeginBlockKeyword) && GetCmdParam(queued, 2) == id) inside = true;
      if (Contains(queued, EndBlockKeyword) && GetCmdParam(queued, 0) == id) {
        queued = NoOpLine;
        inside = false;
      } else if (inside) {
        queued = NoOpLine;
      }
    }
  }

  void RouteAxis(long long value, long long tolerance, std::string& state,
                 const char* negativeState, const char* negativeEvent, const char* positiveState,
                 const char* positiveEvent) {
    if (value < -tolerance && state != negativeState) {
      if (state == positiveState) ExecuteCommands(positiveEvent, "RELEASE");
      state = negativeState;
      ExecuteCommands(negativeEvent, "PRESS");
    }
    if (value > tolerance && state != positiveState) {
      if (state == negativeState) ExecuteCommands(negativeEvent, "RELEASE");
      state = positiveState;
      ExecuteCommands(positiveEvent, "PRESS");
    }
    if (-tolerance <= value && value <= tolerance && state != "Center") {
      if (state == negativeState) ExecuteCommands(negativeEvent, "RELEASE");
      if (state == positiveState) ExecuteCommands(positiveEvent, "RELEASE");
      state = "Center";
    }
  }

  std::string TakeHead() {
    if (FQueue.empty()) return {};
    std::string line = std::move(FQueue.front());
    FQueue.pop_front();
    ++FTaken;
    return line;
  }

  TInjector& FInjector;
  TJstick FJstick;
  TSleeper& FSleeper;
  char FDecimalSeparator;
  std::recursive_mutex FLock;  // taken as the mapper takes its queue lock when it queues
  std::list<std::string> FQueue;
  std::uint64_t FTaken = 0;
  std::string FXState = "Center";
  std::string FYState = "Center";
  std::string FZState = "Center";
  std::string FRState = "Center";
  std::string FUState = "Center";
  std::string FVState = "Center";
  std::string FPovState = "Center";
  bool FShiftDown = false;
  std::vector<std::uint64_t> FPassLimits;
};

}  // namespace kestrova::testing
