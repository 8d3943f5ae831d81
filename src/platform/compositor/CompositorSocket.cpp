#include "platform/compositor/CompositorSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kestrova {

TUniqueFd ConnectCompositorSocket(const std::string& path) {
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    throw ECompositorSocket("no usable socket path: '" + path + "'");
  }
  TUniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid())
    throw ECompositorSocket(std::string("cannot make a socket: ") + std::strerror(errno));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw ECompositorSocket("cannot connect to " + path + ": " + std::strerror(errno));
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) {
    throw ECompositorSocket("cannot tell who serves " + path + ": " + std::strerror(errno));
  }
  if (peer.uid != ::geteuid()) {
    throw ECompositorSocket(path + " is served by user " + std::to_string(peer.uid) +
                            ", not this user: no compositor of this session");
  }
  ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) | O_NONBLOCK);
  return fd;
}

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd wait{fd, POLLIN, 0};
  for (;;) {
    const int ready = ::poll(&wait, 1, static_cast<int>(timeout.count()));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

bool WriteAllWithin(int fd, const std::string& data, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd wait{fd, POLLOUT, 0};
    ::poll(&wait, 1, static_cast<int>(left.count()));
  }
  return true;
}

bool ReadAvailable(int fd, std::string& buffer, std::size_t limit) {
  char chunk[65536];
  while (buffer.size() < limit) {
    const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, limit - buffer.size()));
    if (got > 0) {
      buffer.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
  return true;
}

std::string NewestCompositorEntry(
    const std::filesystem::path& folder,
    const std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)>&
        socketOf) {
  std::error_code error;
  std::string newest;
  std::filesystem::file_time_type newestTime{};
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::optional<std::filesystem::path> socket = socketOf(entry.path());
    if (!socket) continue;
    const auto time = std::filesystem::last_write_time(*socket, error);
    if (!error && (newest.empty() || time > newestTime)) {
      newest = entry.path().string();
      newestTime = time;
    }
  }
  return newest;
}

}  // namespace kestrova
