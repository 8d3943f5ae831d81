#include "Documents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "platform/qt/Shell.h"

namespace kestrova {

QString FindDocument(const QString& name) {
  // Beside the executable in the build tree; under <prefix>/share/kestrova once installed,
  // wherever the prefix is; and the data directory it was configured for.
  const QString executableDir = QCoreApplication::applicationDirPath();
  const QStringList folders = {QDir::currentPath(), executableDir,
                               executableDir + "/../share/kestrova",
                               QStringLiteral(KESTROVA_DATADIR)};
  for (const QString& folder : folders) {
    const QFileInfo candidate(QDir(folder), name);
    if (candidate.isFile()) return candidate.absoluteFilePath();
  }
  return {};
}

void OpenDocument(QWidget* parent, const QString& name) {
  const QString path = FindDocument(name);
  if (!path.isEmpty() && Shell().OpenUrl(QUrl::fromLocalFile(path))) return;
  Shell().ShowMessage(parent, "Kestrova",
                      "Sorry, your command interpreter could not be found, please try using your "
                      "internet browser to view the file \"" +
                          name + "\" located in the RZ directory.");
}

}  // namespace kestrova
