#pragma once
// What Kestrova remembers between runs, in ~/.config/Kestrova/Kestrova.ini (XDG_CONFIG_HOME is
// followed): the recent profiles and the opt-in start choices. GUI thread.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>

#include "mapping/AppRules.h"

namespace kestrova {

// ~/.config/Kestrova/Kestrova.ini (XDG_CONFIG_HOME followed).
QString SettingsFile();

class TSettings {
 public:
  static constexpr int MaxRecent = 5;

  static constexpr qint64 MaxFileBytes = 1 << 20;

  TSettings();
  // Why the stored settings could not be read ("... is broken and was ignored"), or empty. A
  // broken file is never fatal: the defaults hold and the next write replaces it.
  QString Problem() const { return FProblem; }

  // Newest first, at most MaxRecent, no repeats.
  QStringList RecentProfiles() const;
  void AddRecentProfile(const QString& path);
  void RemoveRecentProfile(const QString& path);

  // Off by default: the window starts with an empty profile.
  bool OpenLastProfileAtStart() const;
  void SetOpenLastProfileAtStart(bool on);
  // The newest recent profile.
  QString LastProfile() const;

  // Profiles by application (applications/enabled, applications/default, applications/rule1..).
  TAppRules AppRules() const;
  void SetAppRules(const TAppRules& rules);

  QString FileName() const { return FStore.fileName(); }
  // Told once when a change cannot be stored (a read-only file or folder).
  void SetOnProblem(std::function<void(const QString&)> onProblem);

 private:
  explicit TSettings(const QString& refusal);
  void Store();  // writes the changes; tells the first failure

  mutable QSettings FStore;
  QString FProblem;
  bool FWriteProblemTold = false;
  std::function<void(const QString&)> FOnProblem;
};

}  // namespace kestrova
