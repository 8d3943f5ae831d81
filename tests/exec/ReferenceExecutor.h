#pragma once
// The executor as it read command lines before they were parsed once: every run of a line scans
// it for each keyword and reads its words afresh, and the queue holds texts. Kept as the oracle
// of the differential test (and fuzzer): the mapper must inject the same calls, give the same
// status lines and leave the same queue. Single-threaded: one turn at a time.

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <list>
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

  void ExecuteCommands(std::string_view eventName, std::string_view kind) {
    const int slot = SlotOfEvent(eventName, kind);
    if (slot < 0) return;
    FQueue.insert(FQueue.end(), Slots[slot].begin(), Slots[slot].end());
    Status.push_back("Executing " + std::string(eventName) + " " + std::string(kind));
  }

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
  std::list<std::string> FQueue;
  std::uint64_t FTaken = 0;
  std::vector<std::uint64_t> FPassLimits;
};

}  // namespace kestrova::testing
