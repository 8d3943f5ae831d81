#pragma once
// One running Kestrova per user and controller, told from outside over a local socket: load a
// profile (a game launcher switching profiles), show the window, quit. Requests are one line:
//
//   LOAD <tab> 0|1 (force) <tab> ABSOLUTE-PATH      SHOW      QUIT [<tab> 1 (force)]
//
// The path is carried byte for byte: '%', controls, blanks and bytes over 126 as %XX.
//
// and so are replies: "OK <tab> text" or "ERROR <tab> text", after which the connection ends;
// "WAIT <tab> text" before them says that the instance works on it (a large profile loading). The
// socket lives in a folder only its user may enter ($XDG_RUNTIME_DIR/kestrova, else
// /tmp/kestrova-UID, mode 0700). No Qt here: the command line uses it without a display.

#include <optional>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace kestrova {

// Requests longer than this are refused unread.
constexpr std::size_t MaxInstanceRequest = 8192;

// The socket of the instance for a controller; creates its folder (0700) when missing. Throws
// std::runtime_error when the folder cannot be made safe (another user's, or not a folder).
std::string InstanceSocketPath(int joystickId);

// The claim to be the running instance for a controller: a lock (flock) on a file beside the
// socket, held while the descriptor is open. Only one process holds it at a time, so that of
// starts at any spacing exactly one becomes the instance and the others hand over to it. An
// invalid descriptor when another process holds it; throws std::runtime_error when the folder
// cannot be made safe or the file cannot be opened.
TUniqueFd ClaimInstance(int joystickId);

struct TInstanceRequest {
  enum TKind { Load, Show, Quit } Kind = Show;
  bool Force = false;
  std::string Path;
};

// The request of one line (without its newline); nothing for anything malformed (a bad %XX, a
// path that is not absolute or holds a NUL).
std::optional<TInstanceRequest> ParseInstanceRequest(std::string_view line);
std::string FormatInstanceRequest(const TInstanceRequest& request);

struct TInstanceReply {
  bool Ok = false;
  std::string Text;
};
std::string FormatInstanceReply(const TInstanceReply& reply);
// "WAIT\tworking on it\n".
std::string FormatInstanceProgress();
// How long a caller waits for the outcome once the instance said WAIT.
constexpr int InstanceWorkTimeoutMs = 120000;

// True when an instance listens at socketPath now.
bool InstanceListening(const std::string& socketPath);

// Sends a request to the instance at socketPath and waits (up to timeoutMs) for its reply.
// Nothing when no instance listens there (no socket, or one left by an instance that died).
// Throws std::runtime_error when an instance answers wrongly or not in time.
std::optional<TInstanceReply> SendInstanceRequest(const std::string& socketPath,
                                                  const TInstanceRequest& request,
                                                  int timeoutMs = 10000);

}  // namespace kestrova
