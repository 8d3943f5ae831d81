// The command queue and its worker thread.

#include "Mapper.h"

#include "platform/Thread.h"

namespace kestrova {

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
  SetTimerSlackUs(1);
  TLinePtr line;
  while (!FTerminated) {
    if (!FOwner.WaitAndTakeLine(FTerminated, line)) break;
    if (!line->Text.empty()) FOwner.ExecuteSingleCommand(*line);
    line.reset();
    if (!FOwner.FSleeper.Sleep(1)) break;
  }
}

const std::string& StatusLineOfSlot(int slot) {
  // "Executing <event> PRESS" and "... RELEASE" for every slot, made once.
  static const std::array<std::string, SlotCount> lines = [] {
    std::array<std::string, SlotCount> made;
    for (int slot = 0; slot < SlotCount; ++slot) {
      made[slot] = "Executing " + std::string(EventNames[slot / 2]) +
                   (slot % 2 == 0 ? " PRESS" : " RELEASE");
    }
    return made;
  }();
  return lines[slot];
}

void TMapper::ExecuteCommands(std::string_view eventName, std::string_view kind) {
  const int event = EventIndexOfName(eventName);
  if (event >= 0) QueueEvent(event, kind == "RELEASE");
}

void TMapper::TakeForget() {
  // What was held when the profile was switched from the pad lets go without running anything.
  if (FForgetHeld.load(std::memory_order_relaxed) && FForgetHeld.exchange(false)) {
    for (std::uint8_t& held : FHeld) held = held != 0 ? 2 : 0;
    FRouter.Forget();
  }
}

void TMapper::QueueEvent(int event, bool release, int sibling) {
  TakeForget();
  if (release && FHeld[event] == 2) {
    FHeld[event] = 0;
    return;
  }
  FHeld[event] = release ? 0 : 1;
  if (FPressActive.load(std::memory_order_relaxed)) {
    if (FRouterGeneration != FConfigGeneration.load()) {
      std::lock_guard lock(FConfigLock);
      FRouter.SetConfig(FPressConfig);
      FRouterGeneration = FConfigGeneration.load();
    }
    FRouter.Event(event, release, FNowMs(), sibling);
    return;
  }
  const int slot = PressSlotOfEvent(event) + (release ? 1 : 0);
  QueueList(slot, StatusLineOfSlot(slot));
}

bool TMapper::WaitAndTakeLine(const std::atomic<bool>& terminated, TLinePtr& line) {
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
  TLinePtr line;
  {
    std::lock_guard lock(FQueueLock);
    if (FCommandQueue.empty()) return false;
    line = TakeHead();
  }
  if (!line->Text.empty()) ExecuteSingleCommand(*line);
  return true;
}

TLinePtr TMapper::TakeHead() {
  if (FCommandQueue.empty()) return {};
  TLinePtr line = std::move(FCommandQueue.front());
  FCommandQueue.pop_front();
  ++FTaken;
  return line;
}

void TMapper::Append(TLinePtr line) {
  FCommandQueue.push_back(std::move(line));
}

std::vector<std::string> TMapper::QueuedLines() const {
  std::lock_guard lock(FQueueLock);
  std::vector<std::string> texts;
  texts.reserve(FCommandQueue.size());
  for (const TLinePtr& line : FCommandQueue) texts.push_back(line->Text);
  return texts;
}

std::size_t TMapper::QueueLength() const {
  std::lock_guard lock(FQueueLock);
  return FCommandQueue.size();
}

}  // namespace kestrova
