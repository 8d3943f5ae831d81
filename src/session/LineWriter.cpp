#include "session/LineWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace kestrova {

namespace {

// A write of at most this many bytes to a pipe that poll calls writable does not block.
constexpr std::size_t ChunkBytes = PIPE_BUF;

}  // namespace

TLineWriter::TLineWriter(int fd, std::function<std::string(std::size_t)> dropNotice,
                         std::size_t maxQueued)
    : FFd(fd),
      FOutFd(fd),
      FWake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      FDropNotice(std::move(dropNotice)),
      FMaxQueued(maxQueued) {
  struct stat info {};
  if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
    if (S_ISSOCK(info.st_mode)) {
      FSocket = true;  // send with MSG_DONTWAIT
    } else {
      // A pipe or a terminal opened anew is a description of its own: O_NONBLOCK on it leaves
      // the shell's and other processes' descriptions as they are.
      const std::string self = "/proc/self/fd/" + std::to_string(fd);
      FOwnFd.Reset(::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
      if (FOwnFd.Valid()) FOutFd = FOwnFd.Get();
    }
  }
  FThread = std::thread([this] { Run(); });
}

TLineWriter::~TLineWriter() {
  Finish(std::chrono::milliseconds(50));
}

bool TLineWriter::Write(std::string line) {
  {
    std::lock_guard lock(FLock);
    if (FClosed || FFinishing) return false;
    if (FQueuedBytes + line.size() > FMaxQueued) {
      ++FDropped;
      return false;
    }
    // The count of dropped lines stands where they would have been.
    if (FDropped > 0 && FDropNotice) {
      std::string notice = FDropNotice(FDropped);
      FQueuedBytes += notice.size();
      FQueue.push_back(std::move(notice));
    }
    FDropped = 0;
    FQueuedBytes += line.size();
    FQueue.push_back(std::move(line));
  }
  FChanged.notify_one();
  return true;
}

void TLineWriter::SetOnClosed(std::function<void()> onClosed) {
  std::lock_guard lock(FLock);
  FOnClosed = std::move(onClosed);
}

bool TLineWriter::Closed() const {
  std::lock_guard lock(FLock);
  return FClosed;
}

void TLineWriter::Finish(std::chrono::milliseconds stallLimit) {
  {
    std::unique_lock lock(FLock);
    if (!FThread.joinable()) return;
    FFinishing = true;
    FChanged.notify_one();
    // Waits while the reader takes lines; gives up once it has taken none for stallLimit.
    std::size_t written = FWritten;
    const auto idle = [this] { return (FQueue.empty() && !FBusy) || FClosed; };
    while (!idle()) {
      if (!FChanged.wait_for(lock, stallLimit, [&] { return idle() || FWritten != written; })) {
        break;
      }
      written = FWritten;
    }
    FAbandon = true;
  }
  FChanged.notify_one();
  const std::uint64_t one = 1;
  (void)!::write(FWake.Get(), &one, sizeof one);
  FThread.join();
}

void TLineWriter::Run() {
  // Signals are the main thread's business (the stop signals arrive at its descriptor).
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  std::unique_lock lock(FLock);
  while (true) {
    FChanged.wait(lock, [this] { return FAbandon || FClosed || !FQueue.empty() || FFinishing; });
    if (FAbandon || FClosed) return;
    std::string line;
    if (!FQueue.empty()) {
      line = std::move(FQueue.front());
      FQueue.pop_front();
      FQueuedBytes -= line.size();
    } else if (FDropped > 0 && FDropNotice) {  // the last lines were dropped: said at the end
      line = FDropNotice(FDropped);
      FDropped = 0;
    } else {
      return;  // finishing, and all is written
    }
    FBusy = true;
    lock.unlock();
    std::size_t offset = 0;
    const bool ok = WriteOut(line, offset);
    lock.lock();
    FBusy = false;
    if (ok) {
      ++FWritten;
      FChanged.notify_all();
      continue;
    }
    if (offset < line.size() && FAbandon) return;  // given up while the reader stalled
    FClosed = true;
    FChanged.notify_all();
    std::function<void()> onClosed = std::move(FOnClosed);
    lock.unlock();
    if (onClosed) onClosed();
    return;
  }
}

bool TLineWriter::WriteOut(const std::string& line, std::size_t& offset) {
  while (offset < line.size()) {
    const std::size_t chunk = std::min(ChunkBytes, line.size() - offset);
    const ssize_t n = FSocket
                          ? ::send(FOutFd, line.data() + offset, chunk, MSG_DONTWAIT | MSG_NOSIGNAL)
                          : ::write(FOutFd, line.data() + offset, chunk);
    if (n > 0) {
      offset += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    // Full: wait until the reader takes some, or until Finish gives up.
    pollfd fds[2] = {{FOutFd, POLLOUT, 0}, {FWake.Get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) {
      std::lock_guard lock(FLock);
      if (FAbandon) return false;
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) return false;
  }
  return true;
}

}  // namespace kestrova
