#pragma once
// Which desktop Kestrova runs on, as its environment tells: the one check that both the window's
// start-up and the choice of output make.

#include <string>

namespace kestrova {

struct TDesktopEnvironment {
  std::string WaylandDisplay;  // WAYLAND_DISPLAY
  std::string SessionType;     // XDG_SESSION_TYPE
  std::string Display;         // DISPLAY
  std::string UinputProblem;   // empty when /dev/uinput can be written (the session fills it in)
  std::string RuntimeDir;      // XDG_RUNTIME_DIR, where a relative WAYLAND_DISPLAY lives
  std::string CurrentDesktop = {};     // XDG_CURRENT_DESKTOP ("GNOME", "ubuntu:GNOME", "KDE")
  std::string SwaySocket = {};         // SWAYSOCK
  std::string I3Socket = {};           // I3SOCK
  std::string HyprlandSignature = {};  // HYPRLAND_INSTANCE_SIGNATURE
};

// Whether XDG_CURRENT_DESKTOP names this desktop among its colon-separated names (any case).
bool CurrentDesktopIs(const TDesktopEnvironment& desktop, const std::string& name);

// The environment variables above; UinputProblem stays empty.
TDesktopEnvironment ReadDesktopEnvironment();

// A Wayland session: WAYLAND_DISPLAY is set or the session says it is one.
bool IsWaylandSession(const TDesktopEnvironment& desktop);

// Whether the X server of Display has its local socket under socketFolder (a remote display,
// "host:0", is taken on trust).
bool XDisplayReachable(const TDesktopEnvironment& desktop,
                       const std::string& socketFolder = "/tmp/.X11-unix");

// Whether the Wayland compositor's socket (an absolute WAYLAND_DISPLAY, or one in RuntimeDir)
// exists.
bool WaylandDisplayReachable(const TDesktopEnvironment& desktop);

// Qt's platform for the window: "wayland" where a reachable compositor is there and either no X
// display is or the session is a Wayland one; "xcb" where only an X display is reachable; "" when
// no display can be opened.
std::string WindowPlatformFor(const TDesktopEnvironment& desktop,
                              const std::string& xSocketFolder = "/tmp/.X11-unix");

}  // namespace kestrova
