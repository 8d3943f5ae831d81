#pragma once
// The application in front as sway tells it (and i3, whose IPC sway speaks): the socket of
// $SWAYSOCK (or $I3SOCK), its window events, and its tree for what is in front at the start.
// Native Wayland windows name their application id, XWayland ones their class and instance.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

// Messages larger than this end the connection: no compositor sends them.
constexpr std::size_t MaxSwayMessageBytes = 16u << 20;

// Subscribes to window events on the socket at path and asks for the tree: its first report is
// what is in front. Dispatch() (when Fd() is readable) reads what came and reports the last focus
// of it once. When sway closes the socket or sends what no compositor sends, OnLost says why;
// Reconnect() tries the path again, then the newest sway socket of this user beside it. Throws
// ECompositorSocket when the socket cannot be reached.
std::unique_ptr<TActiveWindowSource> CreateSwayActiveWindowSource(const std::string& path,
                                                                  TActiveWindowHandlers handlers);

// Asks sway at path once for the window in front. Nothing when path is empty; throws
// std::runtime_error when sway does not answer within timeout.
std::optional<TActiveWindow> ReadSwayActiveWindow(const std::string& path,
                                                  std::chrono::milliseconds timeout);

// The window in front of a tree sway sent (get_tree's reply), as TActiveWindow; Found false when
// no window has the focus. Throws std::runtime_error for a text that is no tree.
TActiveWindow FocusedInSwayTree(const std::string& json);

extern const char* const SwaySourceName;

}  // namespace kestrova
