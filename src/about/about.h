#pragma once
// The About box.

#include <QDialog>

class QLabel;

namespace kestrova {

class TFormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);
  QLabel* LabelTitle;
  QLabel* LabelVersion;
  QLabel* LabelAuthor;
};

}  // namespace kestrova
