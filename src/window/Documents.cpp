#include "window/Documents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>

#include "platform/qt/Shell.h"

namespace kestrova {

QStringList DocumentFolders() {
  // Beside the executable in the build tree; under <prefix>/share/kestrova once installed,
  // wherever the prefix is; and the data directory it was configured for.
  const QString executableDir = QCoreApplication::applicationDirPath();
  return {QDir::currentPath(), executableDir, QDir::cleanPath(executableDir + "/../share/kestrova"),
          QStringLiteral(KESTROVA_DATADIR)};
}

QString FindDocument(const QString& name) {
  for (const QString& folder : DocumentFolders()) {
    const QFileInfo candidate(QDir(folder), name);
    if (candidate.isFile()) return candidate.absoluteFilePath();
  }
  return {};
}

QTextBrowser* ShowDocumentWindow(QWidget* parent, const QString& path) {
  auto* browser = new QTextBrowser(parent);
  browser->setObjectName("DocumentBrowser");
  browser->setWindowFlag(Qt::Window);
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setOpenLinks(true);          // links within the document
  browser->setOpenExternalLinks(true);  // and web addresses through the desktop
  browser->setSource(QUrl::fromLocalFile(path));
  browser->setWindowTitle("Kestrova Help");
  browser->resize(720, 640);
  browser->show();
  return browser;
}

void OpenDocument(QWidget* parent, const QString& name) {
  const QString path = FindDocument(name);
  if (path.isEmpty()) {
    Shell().ShowMessage(parent, "Kestrova",
                        "Sorry, your command interpreter could not be found, please try using "
                        "your internet browser to view the file \"" +
                            name +
                            "\" located in the RZ directory.\n\nKestrova looked for it in:\n" +
                            DocumentFolders().join("\n"));
    return;
  }
  // Without a browser the desktop cannot open it, and a browser may fail as it starts: then
  // Kestrova shows it itself.
  Shell().OpenWatched(parent, QUrl::fromLocalFile(path),
                      [parent, path] { ShowDocumentWindow(parent, path); });
}

}  // namespace kestrova
