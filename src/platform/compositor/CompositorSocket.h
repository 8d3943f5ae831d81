#pragma once
// A compositor's local socket, as sway's and Hyprland's sources use it: connected, non-blocking,
// and refused unless the process at the other end runs as this user (the compositor of this
// session does; a socket of another user's is no compositor of ours).

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/UniqueFd.h"

namespace kestrova {

class ECompositorSocket : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Connects to the socket at path; the descriptor is non-blocking. Throws ECompositorSocket
// with what went wrong ("cannot connect to /run/user/1000/sway-ipc.sock: No such file or
// directory", "... is served by user 0, not this user").
TUniqueFd ConnectCompositorSocket(const std::string& path);

// Writes all of data, waiting up to timeout; false when it cannot.
bool WriteAllWithin(int fd, const std::string& data, std::chrono::milliseconds timeout);

// What the descriptor has to read now, appended to buffer, at most limit bytes in all. Returns
// false at the end of the stream or on an error (the peer went away).
bool ReadAvailable(int fd, std::string& buffer, std::size_t limit);

// Of the entries of folder, the one whose socket was written last (a restarted compositor's), or
// "". socketOf gives an entry's socket (the entry itself, or one inside it), or nothing for an
// entry that is not a compositor's.
std::string NewestCompositorEntry(
    const std::filesystem::path& folder,
    const std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)>&
        socketOf);

// Waits up to timeout for the descriptor to be readable; false when it is not by then.
bool WaitReadable(int fd, std::chrono::milliseconds timeout);

}  // namespace kestrova
