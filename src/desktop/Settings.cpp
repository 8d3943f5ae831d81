#include "desktop/Settings.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace kestrova {

namespace {

const char* const RecentKey = "profiles/recent";
const char* const OpenLastKey = "start/openLastProfile";

}  // namespace

QString SettingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/Kestrova/Kestrova.ini";
}

namespace {

// Why the settings file is not read as it stands (not a regular file, or too large), or "".
// Read as profiles are: a FIFO there must not hold the start.
QString RefusalOf(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};  // none yet: fine
  if (!S_ISREG(info.st_mode)) return "is not a regular file";
  if (info.st_size > static_cast<off_t>(TSettings::MaxFileBytes)) return "is too large";
  return {};
}

}  // namespace

TSettings::TSettings() : TSettings(RefusalOf(SettingsFile())) {}

TSettings::TSettings(const QString& refusal)
    // A refused file is never opened: the settings then live in a file that cannot exist, and
    // what is set is kept for this run only.
    : FStore(refusal.isEmpty() ? SettingsFile() : "/dev/null/Kestrova.ini", QSettings::IniFormat) {
  // QSettings writes through a temporary file and a rename: a crash never leaves half a file.
  FStore.setAtomicSyncRequired(true);
  if (!refusal.isEmpty()) {
    FProblem = "The settings file " + SettingsFile() + " " + refusal +
               " and was ignored; settings are not stored";
    FWriteProblemTold = true;
  } else if (FStore.status() == QSettings::FormatError) {
    FProblem = "The settings file " + FStore.fileName() + " is broken and was ignored";
  } else if (FStore.status() == QSettings::AccessError) {
    FProblem = "The settings file " + FStore.fileName() + " cannot be read and was ignored";
  }
  if (!FProblem.isEmpty()) FStore.clear();
}

void TSettings::SetOnProblem(std::function<void(const QString&)> onProblem) {
  FOnProblem = std::move(onProblem);
}

void TSettings::Store() {
  FStore.sync();
  if (FStore.status() == QSettings::NoError || FWriteProblemTold) return;
  FWriteProblemTold = true;
  if (FOnProblem) {
    FOnProblem(
        "The settings cannot be stored in " + FStore.fileName() +
        " (it or its folder is read-only): recent profiles and rules last for this run only");
  }
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
  Store();
}

void TSettings::RemoveRecentProfile(const QString& path) {
  QStringList recent = RecentProfiles();
  recent.removeAll(path);
  FStore.setValue(RecentKey, recent);
  Store();
}

bool TSettings::OpenLastProfileAtStart() const {
  return FStore.value(OpenLastKey, false).toBool();
}

void TSettings::SetOpenLastProfileAtStart(bool on) {
  FStore.setValue(OpenLastKey, on);
  Store();
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
  Store();
}

}  // namespace kestrova
