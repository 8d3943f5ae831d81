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

namespace {

// "Executing <event> PRESS" and "... RELEASE" for every slot, made once.
const std::array<std::string, SlotCount>& StatusLines() {
  static const std::array<std::string, SlotCount> lines = [] {
    std::array<std::string, SlotCount> made;
    for (int slot = 0; slot < SlotCount; ++slot) {
      made[slot] = "Executing " + std::string(EventNames[slot / 2]) +
                   (slot % 2 == 0 ? " PRESS" : " RELEASE");
    }
    return made;
  }();
  return lines;
}

}  // namespace

void TMapper::ExecuteCommands(std::string_view eventName, std::string_view kind) {
  const int event = EventIndexOfName(eventName);
  if (event >= 0) QueueEvent(event, kind == "RELEASE");
}

void TMapper::QueueEvent(int event, bool release) {
  const int slot = PressSlotOfEvent(event) + (release ? 1 : 0);
  const std::string& status = StatusLines()[slot];
  if (FSlotEmpty[slot]) {
    if (FAddStatusLine) FAddStatusLine(status);
    return;
  }
  bool full = false;
  std::size_t count = 0;
  {
    // The slot's lines are shared, not copied: linking them in is short whatever they hold, so
    // a long slot never holds up a block pass, the poll thread or shutdown.
    std::lock_guard lock(FQueueLock);
    const TSlotLines& lines = FCommandLists[slot];
    count = lines->size();
    full = FCommandQueue.size() + count > MaxQueuedLines;
    if (!full) {
      FCommandQueue.insert(FCommandQueue.end(), lines->begin(), lines->end());
      // The worker is woken before the status line goes out, so that its wake-up does not wait
      // behind the status line's reader; it takes the line only once the lock is free, so the
      // status line still comes before whatever the event's lines do.
      FQueueChanged.notify_all();
      if (FAddStatusLine) FAddStatusLine(status);
    }
  }
  if (full && FAddStatusLine) {
    FAddStatusLine(status);
    FAddStatusLine("Queue full: dropped " + status.substr(std::string_view("Executing ").size()) +
                   " (" + std::to_string(count) + " lines; at most " +
                   std::to_string(MaxQueuedLines) + " may wait)");
  }
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
