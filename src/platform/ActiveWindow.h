#pragma once
// The application in front, as the desktop tells it (the X display, or the compositor).

#include <string>

namespace kestrova {

struct TActiveWindow {
  bool Found = false;      // false: no window is active, or none the source can see
  std::string Class;       // X11: WM_CLASS's class ("Firefox"); Wayland: the application id
  std::string Instance;    // X11: WM_CLASS's instance ("navigator"); Wayland: as Class
  std::string Executable;  // /proc/<pid>/exe, or "" when the window does not say
  std::string Source;      // "X11 _NET_ACTIVE_WINDOW on :0"
  unsigned long Pid = 0;   // the window's process on this machine, or 0 when not told
};

// The program file of a process of this machine, from /proc; "" when it cannot be read (another
// user's process, gone, pid 0).
std::string ExecutableOfProcess(unsigned long pid);

}  // namespace kestrova
