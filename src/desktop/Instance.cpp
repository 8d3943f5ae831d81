#include "desktop/Instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "platform/Environment.h"
#include "platform/UniqueFd.h"

namespace kestrova {

std::string InstanceSocketPath(int joystickId) {
  return KestrovaRuntimeFolder() + "/instance-" + std::to_string(joystickId) + ".socket";
}

TUniqueFd ClaimInstance(int joystickId) {
  const std::string path =
      KestrovaRuntimeFolder() + "/instance-" + std::to_string(joystickId) + ".lock";
  // O_NOFOLLOW: a link planted in the folder is refused, never followed.
  TUniqueFd lock(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!lock.Valid()) {
    throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  }
  while (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return TUniqueFd();
    if (errno != EINTR)
      throw std::runtime_error("cannot lock " + path + ": " + std::strerror(errno));
  }
  return lock;
}

std::optional<TInstanceRequest> ParseInstanceRequest(std::string_view line) {
  if (line.size() > MaxInstanceRequest) return std::nullopt;
  if (line == "SHOW") return TInstanceRequest{TInstanceRequest::Show, false, ""};
  if (line == "QUIT") return TInstanceRequest{TInstanceRequest::Quit, false, ""};
  if (line == "QUIT\t1") return TInstanceRequest{TInstanceRequest::Quit, true, ""};
  constexpr std::string_view load = "LOAD\t";
  if (!line.starts_with(load)) return std::nullopt;
  line.remove_prefix(load.size());
  if (line.size() < 3 || (line[0] != '0' && line[0] != '1') || line[1] != '\t') return std::nullopt;
  TInstanceRequest request{TInstanceRequest::Load, line[0] == '1', {}};
  const std::string_view encoded = line.substr(2);
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      request.Path += encoded[i];
      continue;
    }
    const auto digit = [](char c) {
      return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (i + 2 >= encoded.size()) return std::nullopt;  // "%" or "%X" at the end
    const int high = digit(encoded[i + 1]);
    const int low = digit(encoded[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    request.Path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (!request.Path.starts_with("/") || request.Path.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return request;
}

std::string FormatInstanceRequest(const TInstanceRequest& request) {
  switch (request.Kind) {
    case TInstanceRequest::Load: {
      std::string line = std::string("LOAD\t") + (request.Force ? "1" : "0") + "\t";
      for (const char c : request.Path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte < 127 && c != '%') {
          line += c;
        } else {
          constexpr char hex[] = "0123456789ABCDEF";
          line += {'%', hex[byte >> 4], hex[byte & 15]};
        }
      }
      return line + "\n";
    }
    case TInstanceRequest::Quit:
      return request.Force ? "QUIT\t1\n" : "QUIT\n";
    case TInstanceRequest::Show:
      break;
  }
  return "SHOW\n";
}

std::string FormatInstanceReply(const TInstanceReply& reply) {
  std::string text = reply.Text;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return (reply.Ok ? "OK\t" : "ERROR\t") + text + "\n";
}

std::string FormatInstanceProgress() {
  return "WAIT\tworking on it\n";
}

namespace {

// Connects to socketPath: true when it connected, false when nobody listens there.
bool Connect(int fd, const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    throw std::runtime_error("the socket path " + socketPath + " is too long");
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno == ENOENT || errno == ECONNREFUSED) return false;  // none, or a dead one's
  throw std::runtime_error("cannot reach the running Kestrova: " +
                           std::string(std::strerror(errno)));
}

}  // namespace

bool InstanceListening(const std::string& socketPath) {
  const TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return socket.Valid() && Connect(socket.Get(), socketPath);
}

std::optional<TInstanceReply> SendInstanceRequest(const std::string& socketPath,
                                                  const TInstanceRequest& request, int timeoutMs) {
  const TUniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) throw std::runtime_error("cannot make a socket");
  if (!Connect(socket.Get(), socketPath)) return std::nullopt;
  const std::string line = FormatInstanceRequest(request);
  if (::send(socket.Get(), line.data(), line.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(line.size())) {
    throw std::runtime_error("the running Kestrova did not take the request");
  }
  std::string reply;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    // "WAIT" lines: the instance works on it; the outcome follows within the longer time.
    while (reply.starts_with("WAIT\t") && reply.find('\n') != std::string::npos) {
      reply.erase(0, reply.find('\n') + 1);
      deadline =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(InstanceWorkTimeoutMs);
    }
    if (reply.find('\n') != std::string::npos) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd fd{socket.Get(), POLLIN, 0};
    if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) {
      throw std::runtime_error("the running Kestrova did not answer");
    }
    char buffer[1024];
    const ssize_t n = ::recv(socket.Get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
    if (reply.size() > MaxInstanceRequest) break;
  }
  const auto tab = reply.find('\t');
  const auto end = reply.find('\n');
  if (tab == std::string::npos || end == std::string::npos || tab > end) {
    throw std::runtime_error("the running Kestrova answered something else");
  }
  const std::string status = reply.substr(0, tab);
  if (status != "OK" && status != "ERROR") {
    throw std::runtime_error("the running Kestrova answered something else");
  }
  return TInstanceReply{status == "OK", reply.substr(tab + 1, end - tab - 1)};
}

}  // namespace kestrova
