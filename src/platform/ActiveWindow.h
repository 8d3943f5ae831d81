#pragma once
// The application in front, as the desktop tells it (the X display, or the compositor), and the
// interface of a source that tells when it changes. The sources live in x11/, kwin/, gnome/ and
// compositor/ (sway, Hyprland), each behind its factory.

#include <functional>
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

// What a source calls, on the thread that runs its events.
struct TActiveWindowHandlers {
  // Each report of the application in front; Found is false when no window is active.
  std::function<void(const TActiveWindow&)> OnChanged;
  // The source stopped reporting (its desktop part refused or went away): why. A source that
  // comes back reports again through OnChanged.
  std::function<void(const std::string&)> OnLost;
  // Something the user should hear of once, while the source goes on (a malformed message,
  // ignored): each kind of problem is told once, not at every message.
  std::function<void(const std::string&)> OnNote;
};

// Tells the application in front each time it changes, through the handlers it was made with.
class TActiveWindowSource {
 public:
  virtual ~TActiveWindowSource() = default;
  // A descriptor that the owner's event loop watches, calling Dispatch() whenever it is
  // readable; -1 for a source that the Qt event loop of its thread drives by itself.
  virtual int Fd() const = 0;
  virtual void Dispatch() = 0;
  // True while the source reports (for the compositor's: from its first report until it is lost).
  virtual bool Reporting() const = 0;
  // For a source that was lost: tries to reach its compositor again (one that restarted);
  // true when it did, and Fd() may then be another descriptor. The owner calls it now and then
  // while the source is not reporting.
  virtual bool Reconnect() { return false; }
};

// The program file of a process of this machine, from /proc; "" when it cannot be read (another
// user's process, gone, pid 0).
std::string ExecutableOfProcess(unsigned long pid);

}  // namespace kestrova
