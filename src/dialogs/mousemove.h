#pragma once
// The mouse move dialog: composes "MOUSE MOVE <A|R> <B|N> <x> <y> <xaxis> <yaxis>".

#include <QDialog>
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

// True when the text is a number in the user's locale (group separators refused) that the
// executor reads the same way.
bool IsLocaleFloat(const QString& text);

class TFormMouseMove : public QDialog {
  Q_OBJECT
 public:
  explicit TFormMouseMove(QWidget* parent = nullptr);

  QString CommandLine;

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
