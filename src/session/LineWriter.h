#pragma once
// Lines to a descriptor (standard output or error) from a thread of its own, so that no caller
// ever waits for the reader: a terminal stopped with Ctrl-S, or a pipe whose reader stops
// reading, holds neither the worker nor the poll thread nor the stop path. Lines wait in a
// bounded queue; when it is full, new lines are dropped and the reader is told how many. Any
// thread may write.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/UniqueFd.h"

namespace kestrova {

class TLineWriter {
 public:
  // fd stays open (it is not the writer's); maxQueued: bytes waiting at most. dropNotice(n) is
  // the line written in place of n dropped lines.
  TLineWriter(int fd, std::function<std::string(std::size_t)> dropNotice,
              std::size_t maxQueued = 1 << 20);
  ~TLineWriter();  // Finish with a short stall limit
  TLineWriter(const TLineWriter&) = delete;
  TLineWriter& operator=(const TLineWriter&) = delete;

  // Queues a line (with its newline). False when it was dropped: the queue is full, the reader
  // has gone, or the writer has finished.
  bool Write(std::string line);
  // Called once, from the writer's thread, when the descriptor refuses further writes (the
  // reader went away, a full disk).
  void SetOnClosed(std::function<void()> onClosed);
  bool Closed() const;
  // Writes what is queued for as long as the reader takes it, gives up the rest once the reader
  // has taken nothing for stallLimit, and ends the thread. Later lines are dropped.
  void Finish(std::chrono::milliseconds stallLimit);

 private:
  void Run();
  // Writes line from offset on; false when the descriptor refused it for good. Waits for the
  // descriptor to take bytes, or for FWake.
  bool WriteOut(const std::string& line, std::size_t& offset);

  const int FFd;
  TUniqueFd FOwnFd;  // a description of the same file or pipe of its own, non-blocking
  int FOutFd;        // what is written to: FOwnFd, or FFd where no own description can be had
  bool FSocket = false;
  TUniqueFd FWake;  // an eventfd: readable when Finish wants the thread's attention
  const std::function<std::string(std::size_t)> FDropNotice;
  const std::size_t FMaxQueued;

  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::string> FQueue;
  std::size_t FQueuedBytes = 0;
  std::size_t FDropped = 0;
  std::size_t FWritten = 0;  // lines written, for Finish's stall measure
  bool FBusy = false;        // a line is taken off the queue and not yet written
  bool FFinishing = false;
  bool FAbandon = false;
  bool FClosed = false;
  std::function<void()> FOnClosed;
  std::thread FThread;
};

}  // namespace kestrova
