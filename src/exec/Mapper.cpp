#include "Mapper.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
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
  std::string line;
  while (!FTerminated) {
    if (!FOwner.WaitAndTakeLine(FTerminated, line)) break;
    if (!line.empty()) FOwner.ExecuteSingleCommand(line);
    if (!FOwner.FSleeper.Sleep(1)) break;
  }
}

TMapper::TMapper(TInjector& injector, TSleeper& sleeper, TStatusSink addStatusLine)
    : FInjector(injector),
      FSleeper(sleeper),
      FAddStatusLine(std::move(addStatusLine)),
      FTraceDirectory(std::filesystem::temp_directory_path()) {}

TMapper::~TMapper() { Shutdown(); }

void TMapper::Start() {
  if (FExecThread || FShutDown) return;
  FExecThread = std::make_unique<TExecThread>(*this);
}

void TMapper::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // Interrupting the sleeper ends a DELAY or a block pass under way; terminating wakes an idle
  // worker. Both return within a line's worth of injection.
  FSleeper.Interrupt();
  if (FExecThread) {
    FExecThread->Terminate();
    FExecThread->Join();
    FExecThread.reset();
  }
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

void TMapper::Append(std::string line) { FCommandQueue.push_back(std::move(line)); }

void TMapper::ExecuteSingleCommand(const std::string& line) {
  try {
    if (Contains(line, "DELAY")) {
      const int ms = StrToInt(GetCmdParam(line, 0));
      if (!FSleeper.Sleep(ms > 0 ? static_cast<std::uint32_t>(ms) : 0)) return;
    }
    if (Contains(line, "KEY UP")) ReleaseKey(FInjector, KeyOf(line));
    if (Contains(line, "KEY DOWN")) PressKey(FInjector, KeyOf(line));
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
  if (repeats) {
    Append("BEGBLOCK " + id + " RPT " + std::to_string(DecrementWrapping(count)));
    FPassMarks.push_back(FTaken + FCommandQueue.size() - 1);
  }
  struct TMarkGuard {
    std::vector<std::uint64_t>& marks;
    bool active;
    ~TMarkGuard() {
      if (active) marks.pop_back();
    }
  } markGuard{FPassMarks, repeats};

  while (FSleeper.Sleep(1)) {
    // A block whose ENDBLOCK is missing would take its own re-queued start line and nest without
    // end: a pass also ends where the next pass of this or an enclosing block begins.
    if (!FCommandQueue.empty() &&
        std::find(FPassMarks.begin(), FPassMarks.end(), FTaken) != FPassMarks.end()) {
      break;
    }
    std::string next = TakeHead();
    if (next.empty()) break;
    if (repeats) Append(next);
    if (Contains(next, "ENDBLOCK")) break;
    ExecuteSingleCommand(next);
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

std::string TMapper::GetNextBlockId() {
  std::lock_guard lock(FQueueLock);
  return kestrova::GetNextBlockId(FCommandLists, FBlockIds);
}

int TMapper::ScreenWidth() { return ScreenWidthOf(FInjector); }
int TMapper::ScreenHeight() { return ScreenHeightOf(FInjector); }

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
