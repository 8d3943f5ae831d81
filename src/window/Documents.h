#pragma once
// Opening the help document.

#include <QString>

class QTextBrowser;
class QWidget;

namespace kestrova {

// Where a document of the program is: the working directory, beside the executable, the data
// directory of the installation the executable is in, then the configured data directory. Empty
// when it is in none of them.
QString FindDocument(const QString& name);

// The folders FindDocument looks in, in its order.
QStringList DocumentFolders();

// Hands the document to the desktop; when the desktop cannot open it, shows it in a window of
// Kestrova's own (links inside it work); when it is nowhere, says so in a box that names the
// folders searched.
void OpenDocument(QWidget* parent, const QString& name);

// A window showing a local HTML document, owned by parent and deleted when closed.
QTextBrowser* ShowDocumentWindow(QWidget* parent, const QString& path);

}  // namespace kestrova
