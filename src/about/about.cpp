#include "about.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kestrova {

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent),
      LabelTitle(new QLabel(this)),
      LabelVersion(new QLabel(this)),
      LabelAuthor(new QLabel(this)) {
  setObjectName("FormAbout");
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LabelTitle);
  layout->addWidget(LabelVersion);
  layout->addWidget(LabelAuthor);
}

}  // namespace kestrova
