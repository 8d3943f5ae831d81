#pragma once
// The block command dialog: composes "BEGBLOCK <id> RPT <count>", "ENDBLOCK <id>" or
// "TRMBLOCK <id>". The main window sets NextBlockId, OpenBlockId and BlockIds before showing it
// and reads CommandLine when it closes with OK.

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrova {

class TFormBlock : public QDialog {
  Q_OBJECT
 public:
  explicit TFormBlock(QWidget* parent = nullptr);

  QString NextBlockId;
  QString OpenBlockId;
  QStringList BlockIds;
  QString CommandLine;

  QLabel* LabelBlockId;
  QComboBox* ComboBoxIds;
  QRadioButton* RadioButtonRepeat;
  QLabel* Label1;
  QLineEdit* EditRepeatCount;
  QLabel* Label2;
  QRadioButton* RadioButtonEndBlock;
  QRadioButton* RadioButtonTerminateBlock;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  void FormShow();
  void RadioButtonRepeatClick();
  void RadioButtonEndBlockClick();
  void RadioButtonTerminateBlockClick();
  void DisableControls();
  void ButtonOkClick();
  void ButtonCancelClick();
  void ErrorMsg(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kestrova
