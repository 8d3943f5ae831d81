#pragma once
// TMapper owns the mapping and execution state: the slot table, the queue of pending command
// lines with its lock, and the worker thread that runs them through the injector.
//
// Threads: ExecuteCommands runs on the poll thread; the worker (TExecThread) runs every command
// line; the editor reads and writes slots on the GUI thread. FQueueLock guards the queue and the
// slot table. A block pass holds it for the whole pass, so queuing waits for the pass to end.

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

#include "mapping/Slots.h"
#include "platform/Injector.h"
#include "platform/Sleeper.h"

namespace kestrova {

class TMapper;

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

class TMapper {
 public:
  // Receives each status line ("Executing Stick Left PRESS", skipped-line reports). Called on the
  // poll thread and on the worker, possibly at the same time: the sink does its own ordering.
  using TStatusSink = std::function<void(const std::string&)>;

  // The injector and the sleeper must outlive the mapper. The sleeper paces the worker and
  // carries its delays; the mapper interrupts it at shutdown.
  TMapper(TInjector& injector, TSleeper& sleeper, TStatusSink addStatusLine);
  ~TMapper();
  TMapper(const TMapper&) = delete;
  TMapper& operator=(const TMapper&) = delete;

  // Starts the worker. Nothing is executed before.
  void Start();
  // Stops the worker (within a few milliseconds, whatever it runs), joins it, drops the queued
  // lines and releases every key and mouse button still held. Idempotent; the destructor calls it.
  void Shutdown();

  // Queues the lines of the slot of an event name and kind ("PRESS" / "RELEASE").
  void ExecuteCommands(std::string_view eventName, std::string_view kind);
  // Runs one command line: every keyword it contains acts, in a fixed order. A line with a bad
  // number or an empty key name is skipped and reported; it never throws.
  void ExecuteSingleCommand(const std::string& line);
  // One worker turn without its pause: takes the head line, if any, and runs it. Returns false
  // when the queue was empty. For callers that drive the queue themselves (tests).
  bool RunNextQueuedLine();

  // Slot table access under the queue lock; any thread.
  std::vector<std::string> Slot(int slot) const;
  void SetSlot(int slot, std::vector<std::string> lines);
  TSlotTable Slots() const;
  void SetSlots(const TSlotTable& slots);

  std::vector<std::string> QueuedLines() const;

  // The next free block id; refills BlockIds(). Throws EConvertError for a malformed id.
  std::string GetNextBlockId();
  const std::vector<std::string>& BlockIds() const { return FBlockIds; }

  int ScreenWidth();
  int ScreenHeight();

  // Diagnostic trace: appends "<thread id>: <text>" to threads.txt in the trace directory,
  // moving it to threads2.txt when it has grown past 1,000,000 bytes.
  void ThreadGate(const std::string& text);
  void RemoveTraceFiles();
  void SetTraceDirectory(std::filesystem::path directory);

  TInjector& Injector() { return FInjector; }

 private:
  friend class TExecThread;

  // Worker side: waits while the queue is empty; false once terminated.
  bool WaitAndTakeLine(const std::atomic<bool>& terminated, std::string& line);
  void WakeWorker();
  std::string TakeHead();  // caller holds FQueueLock
  void Append(std::string line);
  void RunBlockPass(const std::string& line);
  void TerminateBlock(const std::string& line);
  void ReportSkipped(const std::string& line, const std::string& reason);

  TInjector& FInjector;
  TSleeper& FSleeper;
  TStatusSink FAddStatusLine;

  mutable std::recursive_mutex FQueueLock;
  std::condition_variable_any FQueueChanged;
  TSlotTable FCommandLists;
  std::deque<std::string> FCommandQueue;
  // Lines taken off the head so far: the line at queue index i has position FTaken + i.
  std::uint64_t FTaken = 0;
  // Positions of the re-queued start lines of the block passes under way (innermost last).
  std::vector<std::uint64_t> FPassMarks;
  std::vector<std::string> FBlockIds;

  std::filesystem::path FTraceDirectory;
  std::unique_ptr<TExecThread> FExecThread;
  bool FShutDown = false;
};

}  // namespace kestrova
