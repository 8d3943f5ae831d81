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
  std::string line;
  while (!FTerminated) {
    if (!FOwner.WaitAndTakeLine(FTerminated, line)) break;
    if (!line.empty()) FOwner.ExecuteSingleCommand(line);
    if (!FOwner.FSleeper.Sleep(1)) break;
  }
}

void TMapper::ExecuteCommands(std::string_view eventName, std::string_view kind) {
  const int slot = SlotOfEvent(eventName, kind);
  if (slot < 0) return;
  const std::string status = "Executing " + std::string(eventName) + " " + std::string(kind);
  // The lines are copied outside the lock and linked in under it: a long slot never holds up a
  // block pass, the poll thread or shutdown.
  TSlotLines lines;
  {
    std::lock_guard lock(FQueueLock);
    lines = FCommandLists[slot];
  }
  std::list<std::string> batch(lines->begin(), lines->end());
  bool full = false;
  {
    std::lock_guard lock(FQueueLock);
    full = FCommandQueue.size() + batch.size() > MaxQueuedLines;
    if (!full) {
      FCommandQueue.splice(FCommandQueue.end(), batch);
      // The worker is woken before the status line goes out, so that its wake-up does not wait
      // behind the status line's reader; it takes the line only once the lock is free, so the
      // status line still comes before whatever the event's lines do.
      FQueueChanged.notify_all();
      if (FAddStatusLine) FAddStatusLine(status);
    }
  }
  if (full && FAddStatusLine) {
    FAddStatusLine(status);
    FAddStatusLine("Queue full: dropped " + std::string(eventName) + " " + std::string(kind) +
                   " (" + std::to_string(batch.size()) + " lines; at most " +
                   std::to_string(MaxQueuedLines) + " may wait)");
  }
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

std::vector<std::string> TMapper::QueuedLines() const {
  std::lock_guard lock(FQueueLock);
  return {FCommandQueue.begin(), FCommandQueue.end()};
}

std::size_t TMapper::QueueLength() const {
  std::lock_guard lock(FQueueLock);
  return FCommandQueue.size();
}

}  // namespace kestrova
