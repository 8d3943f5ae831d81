// The executor: one command line, block passes and block termination.

#include "Mapper.h"

#include <cstdint>
#include <stdexcept>

#include "exec/inputsynth.h"
#include "mapping/Commands.h"
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

// n - 1 on a 32-bit counter that wraps, without undefined behaviour.
int DecrementWrapping(int n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) - 1u);
}

}  // namespace

void TMapper::ExecuteSingleCommand(const std::string& line) {
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
    ExecuteExtendedMouseLine(line);
    if (Contains(line, RepeatKeyword)) RunBlockPass(line);
    if (Contains(line, TerminateBlockKeyword)) TerminateBlock(line);
  } catch (const std::exception& error) {
    ReportSkipped(line, error.what());
  }
}

void TMapper::ExecuteExtendedMouseLine(const std::string& line) {
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
  if (repeats) Append(BeginBlockLine(id, std::to_string(DecrementWrapping(count))));

  while (FSleeper.Sleep(1)) {
    // The outermost pass under way has the nearest limit.
    if (!FCommandQueue.empty() && FTaken >= FPassLimits.front()) break;
    std::string next = TakeHead();
    if (next.empty()) break;
    if (repeats) Append(next);
    if (Contains(next, EndBlockKeyword)) break;
    ExecuteSingleCommand(next);
  }
}

void TMapper::TerminateBlock(const std::string& line) {
  const std::string id = GetCmdParam(line, 0);
  std::lock_guard lock(FQueueLock);
  bool inside = false;
  for (auto& queued : FCommandQueue) {
    if (Contains(queued, BeginBlockKeyword) && GetCmdParam(queued, 2) == id) inside = true;
    if (Contains(queued, EndBlockKeyword) && GetCmdParam(queued, 0) == id) {
      queued = NoOpLine;
      inside = false;
    } else if (inside) {
      queued = NoOpLine;
    }
  }
}

void TMapper::ReportSkipped(const std::string& line, const std::string& reason) {
  if (FAddStatusLine) FAddStatusLine("Skipped \"" + Elided(line) + "\": " + reason);
}

}  // namespace kestrova
