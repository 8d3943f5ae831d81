#include "getxy.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "mapping/Convert.h"
#include "platform/qt/Shell.h"

namespace kestrova {

TFormGetXY::TFormGetXY(QWidget* parent)
    : QDialog(parent),
      LabelPrompt(new QLabel("Please enter an X,Y coordinate for this command:", this)),
      EditX(new QLineEdit(this)),
      EditY(new QLineEdit(this)),
      ButtonOk(new QPushButton("&Ok", this)),
      ButtonCancel(new QPushButton("&Cancel", this)) {
  setObjectName("FormGetXY");
  setWindowTitle("Gewt X,Y");
  setFixedSize(196, 135);
  EditX->setObjectName("EditX");
  EditY->setObjectName("EditY");
  ButtonOk->setObjectName("ButtonOk");
  ButtonCancel->setObjectName("ButtonCancel");
  LabelPrompt->setWordWrap(true);
  LabelPrompt->setGeometry(8, 4, 180, 36);
  auto* labelX = new QLabel("X:", this);
  auto* labelY = new QLabel("Y:", this);
  labelX->setGeometry(16, 46, 20, 21);
  EditX->setGeometry(40, 44, 60, 23);
  labelY->setGeometry(16, 74, 20, 21);
  EditY->setGeometry(40, 72, 60, 23);
  ButtonOk->setGeometry(16, 104, 75, 25);
  ButtonCancel->setGeometry(104, 104, 75, 25);
  ButtonOk->setDefault(true);
  connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormGetXY::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormGetXY::FormShow() {
  EditX->clear();
  EditY->clear();
  EditX->setFocus();
}

void TFormGetXY::ButtonOkClick() {
  int value = 0;
  if (!TryStrToInt(EditX->text().toStdString(), value) ||
      !TryStrToInt(EditY->text().toStdString(), value)) {
    EditX->clear();
    EditY->clear();
    EditX->setFocus();
    Shell().ShowMessage(this, "Kestrova", "You must enter valid integers!");
    return;
  }
  XValue = EditX->text();
  YValue = EditY->text();
  accept();
}

}  // namespace kestrova
