#pragma once
// The key picker: one click on the on-screen keyboard or an arrow button names the key of a
// KEY DOWN / KEY UP line.

#include <QDialog>
#include <QString>

namespace kestrova {

class TFormKeyboard : public QDialog {
  Q_OBJECT
 public:
  explicit TFormKeyboard(QWidget* parent = nullptr);

  QString KeyName;

  int exec() override;
};

}  // namespace kestrova
