#pragma once
// The mouse move dialog: composes "MOUSE MOVE <A|R> <B|N> <x> <y> <xaxis> <yaxis>".

#include <QDialog>
#include <QLocale>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrova {

// The axis code of a multiplier list item: "none" N, "X Axis" X, "Y Axis" Y, "Z Axis" Z,
// "R Axis" R.
QString ToCode(const QString& item);

// The locale's decimal separator as one byte; '.' when it is not a single ASCII character.
char DecimalSeparatorOf(const QLocale& locale);

// True when the text is a number in the locale (group separators refused) that the executor
// reads the same way with the locale's decimal separator.
bool IsLocaleFloat(const QString& text, const QLocale& locale);

class TFormMouseMove : public QDialog {
  Q_OBJECT
 public:
  explicit TFormMouseMove(QWidget* parent = nullptr);

  QString CommandLine;
  // The locale whose numbers the steps are: the user's.
  QLocale NumberLocale = QLocale::system();

  QRadioButton* RadioButtonAbs;
  QRadioButton* RadioButtonRel;
  QLabel* LabelX;
  QLineEdit* EditX;
  QLabel* LabelY;
  QLineEdit* EditY;
  QLabel* LabelXMultiplier;
  QComboBox* ComboBoxX;
  QLabel* LabelYMultiplier;
  QComboBox* ComboBoxY;
  QCheckBox* CheckBoxScreenBounds;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  void FormShow();
  void ButtonOkClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kestrova
