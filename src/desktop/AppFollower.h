#pragma once
// Switches the profile to follow the application in front. No Qt: the window gives it what it
// needs as functions, and the sources of the application in front (the X display, KWin) report
// to it through the handlers it hands out. Runs on the thread that runs the sources' events (the
// GUI thread); not thread-safe.
//
// Its rules:
// - The compositor (KWin, GNOME Shell, sway, Hyprland), while it reports, is preferred: the X
//   display's reports are ignored meanwhile (the compositor sees native Wayland windows too, and
//   XWayland ones as well as the X display does).
// - The compositor's first report is what was in front at the start: it switches nothing.
// - A storm of focus changes switches at most once every MinSwitchGap: the last application
//   reported in the meantime is switched to when the gap has passed.
// - Kestrova's own windows in front keep the profile: the user came to look at it or edit it.
// - The last five applications seen are kept, newest first, for the rules' dialog.
// - No switch over unsaved edits; held keys and running blocks are ended before a switch.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapping/AppRules.h"
#include "platform/ActiveWindow.h"
#include "platform/Desktop.h"

namespace kestrova {

enum class TWindowSourceKind { X11, KWin, Gnome, Sway, Hyprland };
constexpr bool IsCompositor(TWindowSourceKind kind) {
  return kind != TWindowSourceKind::X11;
}

// The profile for the application in front: the first rule that matches (window classes without
// regard to case; executables by path or file name), else the default; "" for none (no window
// in front, as when a native Wayland window is: the current profile stays).
std::string ProfileForApplication(const TAppRules& rules, const TActiveWindow& active);

// What the follower needs of the window that shows the profile.
struct TFollowedWindow {
  std::function<TAppRules()> Rules;          // the rules as they stand now
  std::function<std::string()> ProfilePath;  // the file of the profile shown, "" for none
  std::function<bool()> Saved;               // false while the profile shown has unsaved edits
  std::function<void()> ReleaseAll;          // ends what runs and releases what is held
  // Loads a profile file: "" on success, else the error (its first line is reported).
  std::function<std::string(const std::string&)> LoadProfile;
  std::function<void(const std::string&)> StatusLine;
  // Runs a task ms milliseconds later on the follower's thread; without it, every report that
  // asks for a switch switches at once.
  std::function<void(int ms, std::function<void()>)> Later;
  // The clock of the gap between switches (the monotonic clock unless set).
  std::function<std::chrono::steady_clock::time_point()> Now;
};

class TAppFollower {
 public:
  // ownPid: the process whose windows keep the profile (Kestrova's own).
  TAppFollower(TFollowedWindow window, unsigned long ownPid);

  // The handlers for a source of that kind: they report to this follower, which must outlive
  // the source.
  TActiveWindowHandlers HandlersFor(TWindowSourceKind kind);
  // Takes a source made with HandlersFor(kind) (one compositor's and the X display's); nullptr
  // is ignored. The owner's event loop watches each source's Fd() (see Sources()).
  void AddSource(TWindowSourceKind kind, std::unique_ptr<TActiveWindowSource> source);
  std::vector<TActiveWindowSource*> Sources() const;

  void Report(TWindowSourceKind kind, const TActiveWindow& active);
  void Lost(TWindowSourceKind kind, const std::string& why);

  // The window classes of the last applications seen in front, newest first.
  const std::vector<std::string>& Seen() const { return FSeen; }
  static constexpr std::size_t SeenKept = 5;
  static constexpr std::chrono::milliseconds MinSwitchGap{100};

 private:
  void Remember(const TActiveWindow& active);
  void SwitchFor(const TActiveWindow& active);
  void SwitchPending();

  bool CompositorReporting() const;
  std::chrono::steady_clock::time_point Now() const;

  TFollowedWindow FWindow;
  unsigned long FOwnPid;
  TWindowSourceKind FCompositorKind = TWindowSourceKind::KWin;
  std::unique_ptr<TActiveWindowSource> FCompositor;
  std::unique_ptr<TActiveWindowSource> FX11;
  bool FCompositorReportedOnce = false;
  std::vector<std::string> FSeen;
  std::optional<std::chrono::steady_clock::time_point> FLastSwitch;
  std::optional<TActiveWindow> FPending;  // the last report held back by the gap
  bool FPendingArmed = false;
};

// Where this desktop tells the application in front: its compositor's source (the socket or bus
// path it is reached through) and whether the X display is watched too, with the words the
// start-up status line says them in.
struct TWindowSourceChoice {
  std::optional<TWindowSourceKind> Compositor;  // none: no compositor tells it
  std::string Address;  // sway's socket, Hyprland's signature; "" for the bus's
  bool X11 = false;
  std::string Description;  // "sway's IPC socket (SWAYSOCK), and the X display :0"
};
// Hyprland where its signature is set, sway where its socket is (i3's, on X11), GNOME Shell and
// KDE by XDG_CURRENT_DESKTOP; on any other desktop KWin, which is asked only if it is on the
// bus. xReachable: the X display can be watched (XWayland windows, or an X11 desktop).
TWindowSourceChoice ChooseWindowSources(const TDesktopEnvironment& desktop, bool xReachable);

// One source's answer to "what is in front now": nothing when the source is not there; throws
// std::runtime_error when it is there but fails to answer.
using TInFrontQuery = std::function<std::optional<TActiveWindow>()>;

// What is in front now, asked as the follower prefers: the compositor first, then the X display
// (whose failure is thrown). The compositor's failure is passed to note and the X display is
// asked.
TActiveWindow AskInFront(const TInFrontQuery& compositor, const TInFrontQuery& x11,
                         const std::function<void(const std::string&)>& note);

}  // namespace kestrova
