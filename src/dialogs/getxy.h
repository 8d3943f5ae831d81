#pragma once
// The coordinate dialog: asks for an integer X,Y pair. Created at start with the other dialogs;
// nothing in the program shows it.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrova {

class TFormGetXY : public QDialog {
  Q_OBJECT
 public:
  explicit TFormGetXY(QWidget* parent = nullptr);

  QString XValue;
  QString YValue;

  QLabel* LabelPrompt;
  QLineEdit* EditX;
  QLineEdit* EditY;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  void FormShow();
  void ButtonOkClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kestrova
