#include "mousemove.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "platform/qt/Named.h"
#include "platform/qt/Shell.h"

namespace kestrova {

namespace {

// "none", then "X Axis" and so on, in the order of the axis words.
QStringList MultiplierItems() {
  QStringList items{"none"};
  for (const char code : MouseMoveAxisCodes.substr(1)) items << QString(QChar(code)) + " Axis";
  return items;
}

}  // namespace

QString ToCode(const QString& item) {
  for (const char code : MouseMoveAxisCodes.substr(1)) {
    if (item == QString(QChar(code)) + " Axis") return QString(QChar(code));
  }
  return QString(QChar(MouseMoveAxisCodes[0]));
}

char DecimalSeparatorOf(const QLocale& locale) {
  const QString point = locale.decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? point[0].toLatin1() : '.';
}

bool IsLocaleFloat(const QString& text, const QLocale& numberLocale) {
  QLocale locale = numberLocale;
  locale.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  const double value = locale.toDouble(text, &ok);
  if (!ok || !std::isfinite(value)) return false;
  double same = 0;
  return TryStrToFloat(text.toStdString(), DecimalSeparatorOf(locale), same);
}

TFormMouseMove::TFormMouseMove(QWidget* parent)
    : QDialog(parent),
      RadioButtonAbs(Named(new QRadioButton("Absolute", this), "RadioButtonAbs")),
      RadioButtonRel(Named(new QRadioButton("Relative", this), "RadioButtonRel")),
      LabelX(new QLabel("X Step:", this)),
      EditX(Named(new QLineEdit(this), "EditX")),
      LabelY(new QLabel("Y Step:", this)),
      EditY(Named(new QLineEdit(this), "EditY")),
      LabelXMultiplier(new QLabel("X Multiplier:", this)),
      ComboBoxX(Named(new QComboBox(this), "ComboBoxX")),
      LabelYMultiplier(new QLabel("Y Multiplier:", this)),
      ComboBoxY(Named(new QComboBox(this), "ComboBoxY")),
      CheckBoxScreenBounds(
          Named(new QCheckBox("Check Screen Bounds?", this), "CheckBoxScreenBounds")),
      ButtonOk(Named(new QPushButton("&Ok", this), "ButtonOk")),
      ButtonCancel(Named(new QPushButton("&Cancel", this), "ButtonCancel")) {
  setObjectName("FormMouseMove");
  setWindowTitle("Mouse Move");
  setFixedSize(309, 173);
  RadioButtonAbs->setGeometry(16, 8, 100, 20);
  RadioButtonRel->setGeometry(140, 8, 100, 20);
  LabelX->setGeometry(8, 38, 50, 21);
  EditX->setGeometry(58, 36, 70, 23);
  LabelXMultiplier->setGeometry(136, 38, 80, 21);
  ComboBoxX->setGeometry(216, 36, 85, 23);
  LabelY->setGeometry(8, 68, 50, 21);
  EditY->setGeometry(58, 66, 70, 23);
  LabelYMultiplier->setGeometry(136, 68, 80, 21);
  ComboBoxY->setGeometry(216, 66, 85, 23);
  CheckBoxScreenBounds->setGeometry(16, 100, 200, 20);
  ButtonOk->setGeometry(68, 136, 80, 25);
  ButtonCancel->setGeometry(160, 136, 80, 25);
  ButtonOk->setDefault(true);
  auto* group = new QButtonGroup(this);
  group->addButton(RadioButtonAbs);
  group->addButton(RadioButtonRel);
  ComboBoxX->addItems(MultiplierItems());
  ComboBoxY->addItems(MultiplierItems());
  connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormMouseMove::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormMouseMove::FormShow() {
  CommandLine.clear();
  EditX->clear();
  EditY->clear();
  EditX->setFocus();
  ComboBoxX->setCurrentIndex(0);
  ComboBoxY->setCurrentIndex(0);
  RadioButtonAbs->setChecked(true);
  CheckBoxScreenBounds->setChecked(true);
}

void TFormMouseMove::ButtonOkClick() {
  // Blanks around a step would shift the words the executor reads: steps are trimmed; a step
  // without blanks is written as typed.
  const QString x = EditX->text().trimmed();
  const QString y = EditY->text().trimmed();
  if (!IsLocaleFloat(x, NumberLocale) || !IsLocaleFloat(y, NumberLocale)) {
    EditX->clear();
    EditY->clear();
    EditX->setFocus();
    Shell().ShowMessage(this, "Kestrova", "You must enter valid floats!");
    return;
  }
  const auto text = [](const QString& word) { return word.toLatin1().toStdString(); };
  CommandLine = QString::fromLatin1(MouseMoveLine(
      RadioButtonAbs->isChecked() ? MouseMoveAbsolute : MouseMoveRelative,
      CheckBoxScreenBounds->isChecked() ? MouseMoveBounded : MouseMoveUnbounded, text(x), text(y),
      text(ToCode(ComboBoxX->currentText())), text(ToCode(ComboBoxY->currentText()))));
  accept();
}

}  // namespace kestrova
