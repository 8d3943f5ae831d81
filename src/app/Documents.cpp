#include "Documents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "platform/qt/Shell.h"

namespace kestrova {

QString FindDocument(const QString& name) {
  const QStringList folders = {QDir::currentPath(), QCoreApplication::applicationDirPath(),
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
