#pragma once
// The application in front as GNOME Shell tells it, on Wayland and X11 sessions alike, through
// Kestrova's own extension (data/gnome-shell/kestrova-focus@example.org): on GNOME Shell's
// connection to the session bus, /org/kestrova/Focus answers GetFocus() and signals
// FocusChanged at each change, with the window's application id, class, instance and process.
// Only the owner of org.gnome.Shell is heard.
//
// Everything here runs on the thread of the Qt event loop that delivers the session bus's
// messages (the GUI thread); the handlers are called there.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/ActiveWindow.h"

namespace kestrova {

extern const char* const GnomeExtensionUuid;  // "kestrova-focus@example.org"
extern const char* const GnomeSourceName;

// Why GNOME Shell tells nothing when the extension does not answer, with the command that
// enables it.
std::string GnomeExtensionMissing();

// Listens for the extension's signal and asks it what is in front now: that answer is its first
// report. nullptr when there is no session bus or no GNOME Shell on it. When the extension does
// not answer (not installed or not enabled), OnLost says so with the command that enables it;
// when it is enabled later, or GNOME Shell restarts, it reports again. Fd() is -1: the Qt event
// loop drives it.
std::unique_ptr<TActiveWindowSource> CreateGnomeActiveWindowSource(TActiveWindowHandlers handlers);

// Asks the extension once, running the calling thread's event loop for up to timeout. Nothing
// when GNOME Shell is not on the session bus; throws std::runtime_error when it does not answer.
std::optional<TActiveWindow> ReadGnomeActiveWindow(std::chrono::milliseconds timeout);

}  // namespace kestrova
