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
  return handlers;
}

void TAppFollower::AddSource(TWindowSourceKind kind, std::unique_ptr<TActiveWindowSource> source) {
  (kind == TWindowSourceKind::KWin ? FKWin : FX11) = std::move(source);
}

std::vector<TActiveWindowSource*> TAppFollower::Sources() const {
  std::vector<TActiveWindowSource*> sources;
  for (const auto* source : {&FKWin, &FX11}) {
    if (*source) sources.push_back(source->get());
  }
  return sources;
}

bool TAppFollower::KWinReporting() const {
  return FKWin && FKWin->Reporting();
}

void TAppFollower::Report(TWindowSourceKind kind, const TActiveWindow& active) {
  bool startup = false;
  if (kind == TWindowSourceKind::KWin) {
    startup = !FKWinReportedOnce;
    FKWinReportedOnce = true;
  } else if (KWinReporting()) {
    return;
  }
  if (active.Pid != 0 && active.Pid == FOwnPid) return;
  Remember(active);
  if (!startup) SwitchFor(active);
}

void TAppFollower::Lost(TWindowSourceKind kind, const std::string& why) {
  if (kind != TWindowSourceKind::KWin) return;
  const TAppRules rules = FWindow.Rules();
  if (rules.Enabled && !rules.Rules.empty()) {
    FWindow.StatusLine("Profiles by application: " + why + "; only X11 windows are seen now");
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
  const std::string error = FWindow.LoadProfile(path);
  if (!error.empty()) {
    FWindow.StatusLine(prefix + error.substr(0, error.find('\n')));
    return;
  }
  FWindow.StatusLine("Switched to " + profile + " for " + active.Class);
}

TActiveWindow AskInFront(const TInFrontQuery& kwin, const TInFrontQuery& x11,
                         const std::function<void(const std::string&)>& note) {
  if (kwin) {
    try {
      if (const auto active = kwin()) return *active;
    } catch (const std::exception& error) {
      note(std::string(error.what()) + "; asking the X display");
    }
  }
  if (const auto active = x11()) return *active;
  throw std::runtime_error("no source tells the application in front");
}

}  // namespace kestrova
