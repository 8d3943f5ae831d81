#include "desktop/AppFollower.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

namespace kestrova {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

std::string ProfileForApplication(const TAppRules& rules, const TActiveWindow& active) {
  if (!rules.Enabled || rules.Rules.empty() || !active.Found) return {};
  for (const TAppRule& rule : rules.Rules) {
    if (rule.Match == TAppRule::WindowClass &&
        (SameText(rule.Value, active.Class) || SameText(rule.Value, active.Instance))) {
      return rule.Profile;
    }
    if (rule.Match == TAppRule::Executable && !active.Executable.empty() &&
        (rule.Value == active.Executable ||
         rule.Value == std::filesystem::path(active.Executable).filename().string())) {
      return rule.Profile;
    }
  }
  return rules.DefaultProfile;
}

TAppFollower::TAppFollower(TFollowedWindow window, unsigned long ownPid)
    : FWindow(std::move(window)), FOwnPid(ownPid) {}

TActiveWindowHandlers TAppFollower::HandlersFor(TWindowSourceKind kind) {
  TActiveWindowHandlers handlers;
  handlers.OnChanged = [this, kind](const TActiveWindow& active) { Report(kind, active); };
  handlers.OnLost = [this, kind](const std::string& why) { Lost(kind, why); };
  handlers.OnNote = [this](const std::string& note) {
    const TAppRules rules = FWindow.Rules();
    if (rules.Enabled && !rules.Rules.empty())
      FWindow.StatusLine("Profiles by application: " + note);
  };
  return handlers;
}

void TAppFollower::AddSource(TWindowSourceKind kind, std::unique_ptr<TActiveWindowSource> source) {
  if (IsCompositor(kind)) {
    FCompositorKind = kind;
    FCompositor = std::move(source);
  } else {
    FX11 = std::move(source);
  }
}

std::vector<TActiveWindowSource*> TAppFollower::Sources() const {
  std::vector<TActiveWindowSource*> sources;
  for (const auto* source : {&FCompositor, &FX11}) {
    if (*source) sources.push_back(source->get());
  }
  return sources;
}

bool TAppFollower::CompositorReporting() const {
  return FCompositor && FCompositor->Reporting();
}

std::chrono::steady_clock::time_point TAppFollower::Now() const {
  return FWindow.Now ? FWindow.Now() : std::chrono::steady_clock::now();
}

void TAppFollower::Report(TWindowSourceKind kind, const TActiveWindow& active) {
  bool startup = false;
  if (IsCompositor(kind)) {
    startup = !FCompositorReportedOnce;
    FCompositorReportedOnce = true;
  } else if (CompositorReporting()) {
    return;
  }
  if (active.Pid != 0 && active.Pid == FOwnPid) return;
  Remember(active);
  if (startup) return;
  // Within the gap after a switch, the report waits; a later one replaces it.
  if (FWindow.Later && FLastSwitch && Now() - *FLastSwitch < MinSwitchGap) {
    FPending = active;
    if (!FPendingArmed) {
      FPendingArmed = true;
      const auto wait =
          std::chrono::ceil<std::chrono::milliseconds>(MinSwitchGap - (Now() - *FLastSwitch));
      FWindow.Later(static_cast<int>(wait.count()), [this] { SwitchPending(); });
    }
    return;
  }
  FPending.reset();
  SwitchFor(active);
}

void TAppFollower::SwitchPending() {
  FPendingArmed = false;
  if (!FPending) return;
  const TActiveWindow active = *FPending;
  FPending.reset();
  SwitchFor(active);
}

void TAppFollower::Lost(TWindowSourceKind kind, const std::string& why) {
  if (!IsCompositor(kind)) return;
  const TAppRules rules = FWindow.Rules();
  // A compositor that never told anything says why at once (the extension it needs, say); one
  // lost later is news only while rules are in use.
  if ((rules.Enabled && !rules.Rules.empty()) || !FCompositorReportedOnce) {
    FWindow.StatusLine(
        "Profiles by application: " + why +
        (FX11 ? "; only X11 windows are seen now" : "; the application in front is not seen now"));
  }
}

void TAppFollower::Remember(const TActiveWindow& active) {
  if (active.Class.empty()) return;
  std::erase(FSeen, active.Class);
  FSeen.insert(FSeen.begin(), active.Class);
  if (FSeen.size() > SeenKept) FSeen.resize(SeenKept);
}

void TAppFollower::SwitchFor(const TActiveWindow& active) {
  const std::string profile = ProfileForApplication(FWindow.Rules(), active);
  if (profile.empty()) return;
  const std::string path = AbsolutePath(profile);
  if (path == FWindow.ProfilePath()) return;
  const std::string prefix = "Not switched to " + profile + " for " + active.Class + ": ";
  if (!FWindow.Saved()) {
    FWindow.StatusLine(prefix + "the profile shown has unsaved edits");
    return;
  }
  FWindow.ReleaseAll();  // a switch never leaves a key down
  FLastSwitch = Now();
  const std::string error = FWindow.LoadProfile(path);
  if (!error.empty()) {
    FWindow.StatusLine(prefix + error.substr(0, error.find('\n')));
    return;
  }
  FWindow.StatusLine("Switched to " + profile + " for " + active.Class);
}

TWindowSourceChoice ChooseWindowSources(const TDesktopEnvironment& desktop, bool xReachable) {
  TWindowSourceChoice choice;
  if (!desktop.HyprlandSignature.empty()) {
    choice.Compositor = TWindowSourceKind::Hyprland;
    choice.Address = desktop.HyprlandSignature;
    choice.Description = "Hyprland's event socket (HYPRLAND_INSTANCE_SIGNATURE)";
  } else if (!desktop.SwaySocket.empty()) {
    choice.Compositor = TWindowSourceKind::Sway;
    choice.Address = desktop.SwaySocket;
    choice.Description = "sway's IPC socket (SWAYSOCK)";
  } else if (!desktop.I3Socket.empty()) {
    choice.Compositor = TWindowSourceKind::Sway;
    choice.Address = desktop.I3Socket;
    choice.Description = "i3's IPC socket (I3SOCK)";
  } else if (CurrentDesktopIs(desktop, "GNOME")) {
    choice.Compositor = TWindowSourceKind::Gnome;
    choice.Description = "GNOME Shell, through Kestrova's extension";
  } else {
    choice.Compositor = TWindowSourceKind::KWin;
    choice.Description = CurrentDesktopIs(desktop, "KDE") ? "KWin" : "KWin, where it runs";
  }
  choice.X11 = xReachable;
  if (xReachable) {
    choice.Description += ", and the X display " + desktop.Display;
    if (IsWaylandSession(desktop)) choice.Description += " for XWayland windows";
  }
  return choice;
}

TActiveWindow AskInFront(const TInFrontQuery& compositor, const TInFrontQuery& x11,
                         const std::function<void(const std::string&)>& note) {
  if (compositor) {
    try {
      if (const auto active = compositor()) return *active;
    } catch (const std::exception& error) {
      note(std::string(error.what()) + "; asking the X display");
    }
  }
  if (const auto active = x11()) return *active;
  throw std::runtime_error("no source tells the application in front");
}

}  // namespace kestrova
