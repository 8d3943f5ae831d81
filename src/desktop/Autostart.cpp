#include "desktop/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace kestrova {

QString AutostartFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/autostart/org.example.Kestrova.desktop";
}

bool StartsAtLogin() {
  return QFileInfo::exists(AutostartFile());
}

bool SetStartAtLogin(bool on, const QString& executable, QString* error) {
  const QString path = AutostartFile();
  if (!on) {
    if (!QFile::exists(path) || QFile::remove(path)) return true;
    if (error) *error = "Cannot remove " + path;
    return false;
  }
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    file.write(
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Kestrova\n"
        "Comment=Turn a game controller into keyboard and mouse input\n");
    // The desktop entry's Exec quotes a path with blanks in it.
    const QString program = executable.contains(' ') ? '"' + executable + '"' : executable;
    // TryExec: a Kestrova that was uninstalled is not started (nor complained about).
    file.write(("TryExec=" + executable + "\n").toUtf8());
    file.write(("Exec=" + program + " --hidden --last-profile\n").toUtf8());
    file.write(
        "Icon=org.example.Kestrova\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n");
    if (file.commit()) return true;
  }
  if (error) *error = "Cannot create file " + path;
  return false;
}

}  // namespace kestrova
