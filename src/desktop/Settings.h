#pragma once
// What Kestrova remembers between runs, in ~/.config/Kestrova/Kestrova.ini (XDG_CONFIG_HOME is
// followed): the recent profiles and the opt-in start choices. GUI thread.

#include <QSettings>
#include <QString>
#include <QStringList>

#include "mapping/AppRules.h"

namespace kestrova {

class TSettings {
 public:
  static constexpr int MaxRecent = 5;

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

 private:
  mutable QSettings FStore;
  QString FProblem;
};

}  // namespace kestrova
