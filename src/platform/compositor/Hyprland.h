#pragma once
// The application in front as Hyprland tells it: the lines of its event socket
// ("activewindow>>CLASS,TITLE", "activewindowv2>>ADDRESS") and, for the class, the initial class
// and the process, its request socket ("j/activewindow"). Both are in
// $XDG_RUNTIME_DIR/hypr/$HYPRLAND_INSTANCE_SIGNATURE/ (in /tmp/hypr/ for older Hyprlands).

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

// A line longer than this is no event: it is dropped, and said once.
constexpr std::size_t MaxHyprlandLineBytes = 64u << 10;

// The folder of the instance's sockets: the first of runtimeDir/hypr/signature and
// /tmp/hypr/signature that has the event socket; "" when signature is empty or none has.
std::string HyprlandSocketFolder(const std::string& runtimeDir, const std::string& signature);

// Reads the event socket of folder; asks the request socket for what is in front now (its first
// report) and after each batch of focus events, of which it reports the last once. When Hyprland
// closes the socket, OnLost says why; Reconnect() tries the folder again, then the newest
// instance beside it. Throws ECompositorSocket when the event socket cannot be reached.
std::unique_ptr<TActiveWindowSource> CreateHyprlandActiveWindowSource(
    const std::string& folder, TActiveWindowHandlers handlers);

// Asks the request socket of folder once. Nothing when folder is empty; throws
// std::runtime_error when Hyprland does not answer within timeout.
std::optional<TActiveWindow> ReadHyprlandActiveWindow(const std::string& folder,
                                                      std::chrono::milliseconds timeout);

extern const char* const HyprlandSourceName;

}  // namespace kestrova
