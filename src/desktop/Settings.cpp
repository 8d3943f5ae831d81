#include "desktop/Settings.h"

#include <QFile>
#include <QFileInfo>

namespace kestrova {

namespace {

const char* const RecentKey = "profiles/recent";
const char* const OpenLastKey = "start/openLastProfile";

}  // namespace

TSettings::TSettings()
    : FStore(QSettings::IniFormat, QSettings::UserScope, "Kestrova", "Kestrova") {
  // QSettings writes through a temporary file and a rename: a crash never leaves half a file.
  FStore.setAtomicSyncRequired(true);
  if (FStore.status() == QSettings::FormatError) {
    FProblem = "The settings file " + FStore.fileName() + " is broken and was ignored";
  } else if (FStore.status() == QSettings::AccessError) {
    FProblem = "The settings file " + FStore.fileName() + " cannot be read and was ignored";
  }
  if (!FProblem.isEmpty()) FStore.clear();
}

QStringList TSettings::RecentProfiles() const {
  QStringList recent = FStore.value(RecentKey).toStringList();
  recent.removeAll(QString());
  recent.removeDuplicates();
  return recent.mid(0, MaxRecent);
}

void TSettings::AddRecentProfile(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList recent = RecentProfiles();
  recent.removeAll(absolute);
  recent.prepend(absolute);
  FStore.setValue(RecentKey, recent.mid(0, MaxRecent));
  FStore.sync();
}

void TSettings::RemoveRecentProfile(const QString& path) {
  QStringList recent = RecentProfiles();
  recent.removeAll(path);
  FStore.setValue(RecentKey, recent);
  FStore.sync();
}

bool TSettings::OpenLastProfileAtStart() const {
  return FStore.value(OpenLastKey, false).toBool();
}

void TSettings::SetOpenLastProfileAtStart(bool on) {
  FStore.setValue(OpenLastKey, on);
  FStore.sync();
}

QString TSettings::LastProfile() const {
  const QStringList recent = RecentProfiles();
  return recent.isEmpty() ? QString() : recent.first();
}

TAppRules TSettings::AppRules() const {
  TAppRules rules;
  rules.Enabled = FStore.value("applications/enabled", true).toBool();
  rules.DefaultProfile = FStore.value("applications/default").toString().toStdString();
  for (int i = 1;; ++i) {
    const QVariant text = FStore.value(QString("applications/rule%1").arg(i));
    if (!text.isValid()) break;
    TAppRule rule;
    if (ParseAppRule(text.toString().toStdString(), rule)) rules.Rules.push_back(rule);
  }
  return rules;
}

void TSettings::SetAppRules(const TAppRules& rules) {
  FStore.remove("applications");
  FStore.setValue("applications/enabled", rules.Enabled);
  FStore.setValue("applications/default", QString::fromStdString(rules.DefaultProfile));
  for (std::size_t i = 0; i < rules.Rules.size(); ++i) {
    FStore.setValue(QString("applications/rule%1").arg(i + 1),
                    QString::fromStdString(FormatAppRule(rules.Rules[i])));
  }
  FStore.sync();
}

}  // namespace kestrova
