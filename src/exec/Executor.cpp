// The executor: one command line, block passes and block termination.

#include "Mapper.h"

#include <cstdint>

#include "exec/inputsynth.h"
#include "mapping/Commands.h"
#include "mapping/Convert.h"

namespace kestrova {

namespace {

// n - 1 on a 32-bit counter that wraps, without undefined behaviour.
int DecrementWrapping(int n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) - 1u);
}

constexpr const char* ButtonWords[] = {"LEFT", "RIGHT", "MIDDLE", "BACK", "FORWARD"};

}  // namespace

void TMapper::ExecuteSingleCommand(const std::string& line) {
  ExecuteSingleCommand(ParseCommandLine(line, FDecimalSeparator));
}

void TMapper::ExecuteSingleCommand(const TParsedLine& line) {
  try {
    for (const TAction& action : line.Actions) {
      if (!RunAction(line, action)) return;
    }
  } catch (const std::exception& error) {
    ReportSkipped(line.Text, error.what());
  }
}

bool TMapper::RunAction(const TParsedLine& line, const TAction& action) {
  switch (action.Kind) {
    case TActionKind::Delay:
      return FSleeper.Sleep(action.Number > 0 ? static_cast<std::uint32_t>(action.Number) : 0);
    case TActionKind::KeyUp:
      ReleaseKey(FInjector, action.Text);
      return true;
    case TActionKind::KeyDown:
      PressKey(FInjector, action.Text);
      return true;
    case TActionKind::MouseMove:
      MouseMove(action.Move);
      return true;
    case TActionKind::MouseButton:
      MouseButton(FInjector, ButtonWords[static_cast<int>(action.Button)],
                  action.Press ? "PRESS" : "RELEASE");
      return true;
    case TActionKind::Wheel:
      MouseWheel(FInjector, action.Number, action.Horizontal);
      return true;
    case TActionKind::BlockPass:
      RunBlockPass(line, action);
      return true;
    case TActionKind::TerminateBlock:
      TerminateBlock(action.Text);
      return true;
    case TActionKind::Layer:
      return true;  // it acted when its list was routed
    case TActionKind::Profile:
      if (FProfileSink) {
        FProfileSink(action.Text);
      } else {
        ReportSkipped(line.Text, "profiles are not switched here");
      }
      return true;
    case TActionKind::Skip:
      ReportSkipped(line.Text, action.Text);
      return false;
  }
  return true;
}

void TMapper::RunBlockPass(const TParsedLine& line, const TAction& pass) {
  const std::string& id = pass.Text;
  const int count = pass.Number;
  const bool repeats = count != 1;

  std::lock_guard lock(FQueueLock);
  // Every nested pass is a level of the worker's stack: queued start lines of many blocks must
  // not be able to exhaust it.
  if (FPassLimits.size() >= MaxBlockNesting) {
    ReportSkipped(line.Text,
                  "blocks nested more than " + std::to_string(MaxBlockNesting) + " deep");
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
  if (repeats) {
    Append(ParseShared(BeginBlockLine(id, std::to_string(DecrementWrapping(count))),
                       FDecimalSeparator));
  }

  while (FSleeper.Sleep(1)) {
    // The outermost pass under way has the nearest limit.
    if (!FCommandQueue.empty() && FTaken >= FPassLimits.front()) break;
    TLinePtr next = TakeHead();
    if (!next || next->Text.empty()) break;
    if (repeats) Append(next);
    if (next->HasEndBlock) break;
    ExecuteSingleCommand(*next);
  }
}

void TMapper::TerminateBlock(const std::string& id) {
  std::lock_guard lock(FQueueLock);
  bool inside = false;
  for (auto& queued : FCommandQueue) {
    if (queued->HasBeginBlock && queued->Word2 == id) inside = true;
    if (queued->HasEndBlock && queued->Word0 == id) {
      queued = NoOpCommandLine();
      inside = false;
    } else if (inside) {
      queued = NoOpCommandLine();
    }
  }
}

void TMapper::ReportSkipped(const std::string& line, const std::string& reason) {
  if (FAddStatusLine) FAddStatusLine("Skipped \"" + Elided(line) + "\": " + reason);
}

}  // namespace kestrova
