#pragma once
// Opening the help document.

#include <QString>

class QWidget;

namespace kestrova {

// Where a document of the program is: the working directory, beside the executable, the data
// directory of the installation the executable is in, then the configured data directory. Empty
// when it is in none of them.
QString FindDocument(const QString& name);

// Hands the document to the desktop; when it cannot be found or opened, says so in a box.
void OpenDocument(QWidget* parent, const QString& name);

}  // namespace kestrova
