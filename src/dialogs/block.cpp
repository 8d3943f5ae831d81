#include "block.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "platform/qt/Named.h"
#include "platform/qt/Shell.h"

namespace kestrova {

TFormBlock::TFormBlock(QWidget* parent)
    : QDialog(parent),
      LabelBlockId(Named(new QLabel("Block Id: ", this), "LabelBlockId")),
      ComboBoxIds(Named(new QComboBox(this), "ComboBoxIds")),
      RadioButtonRepeat(Named(new QRadioButton("Repeat Block", this), "RadioButtonRepeat")),
      Label1(Named(new QLabel("Repeat Count:", this), "Label1")),
      EditRepeatCount(Named(new QLineEdit(this), "EditRepeatCount")),
      Label2(Named(new QLabel("(enter 0 for infinite)", this), "Label2")),
      RadioButtonEndBlock(Named(new QRadioButton("End Block", this), "RadioButtonEndBlock")),
      RadioButtonTerminateBlock(
          Named(new QRadioButton("Terminate Block", this), "RadioButtonTerminateBlock")),
      ButtonOk(Named(new QPushButton("&Ok", this), "ButtonOk")),
      ButtonCancel(Named(new QPushButton("&Cancel", this), "ButtonCancel")) {
  setObjectName("FormBlock");
  setWindowTitle("Block Command");
  setFixedSize(358, 183);
  LabelBlockId->setGeometry(16, 14, 60, 21);
  ComboBoxIds->setGeometry(80, 12, 120, 23);
  RadioButtonRepeat->setGeometry(16, 44, 200, 20);
  Label1->setGeometry(40, 68, 90, 21);
  EditRepeatCount->setGeometry(130, 66, 70, 23);
  Label2->setGeometry(208, 68, 140, 21);
  RadioButtonEndBlock->setGeometry(16, 96, 200, 20);
  RadioButtonTerminateBlock->setGeometry(16, 120, 200, 20);
  ButtonOk->setGeometry(96, 150, 80, 25);
  ButtonCancel->setGeometry(184, 150, 80, 25);
  ButtonOk->setDefault(true);

  // A choice runs its handler however it is made: mouse, keyboard or assistive technology.
  const auto whenChosen = [this](QRadioButton* button, void (TFormBlock::*handler)()) {
    connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
      if (checked) (this->*handler)();
    });
  };
  whenChosen(RadioButtonRepeat, &TFormBlock::RadioButtonRepeatClick);
  whenChosen(RadioButtonEndBlock, &TFormBlock::RadioButtonEndBlockClick);
  whenChosen(RadioButtonTerminateBlock, &TFormBlock::RadioButtonTerminateBlockClick);
  connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
}

void TFormBlock::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormBlock::FormShow() {
  RadioButtonRepeatClick();
  RadioButtonRepeat->setChecked(true);
  CommandLine.clear();
  if (BlockIds.isEmpty()) {
    RadioButtonEndBlock->setEnabled(false);
    RadioButtonTerminateBlock->setEnabled(false);
  } else {
    RadioButtonEndBlock->setEnabled(!OpenBlockId.isEmpty());
    RadioButtonTerminateBlock->setEnabled(true);
  }
}

void TFormBlock::DisableControls() {
  EditRepeatCount->setEnabled(false);
  ComboBoxIds->setEnabled(false);
}

void TFormBlock::RadioButtonRepeatClick() {
  DisableControls();
  EditRepeatCount->setEnabled(true);
  EditRepeatCount->setText("1");
  EditRepeatCount->setFocus();
  ComboBoxIds->clear();
  ComboBoxIds->addItem(NextBlockId);
  ComboBoxIds->setCurrentIndex(0);
}

void TFormBlock::RadioButtonEndBlockClick() {
  DisableControls();
  ComboBoxIds->clear();
  ComboBoxIds->addItem(OpenBlockId);
  ComboBoxIds->setCurrentIndex(0);
}

void TFormBlock::RadioButtonTerminateBlockClick() {
  DisableControls();
  ComboBoxIds->setEnabled(true);
  ComboBoxIds->clear();
  ComboBoxIds->addItems(BlockIds);
  ComboBoxIds->setCurrentIndex(0);
}

void TFormBlock::ButtonOkClick() {
  if (RadioButtonRepeat->isChecked()) {
    // Blanks would shift the words the executor reads from the end of the line: they are
    // trimmed; a count without blanks is written as typed.
    const QString count = EditRepeatCount->text().trimmed();
    int value = 0;
    if (!TryStrToInt(count.toStdString(), value) || value < 0) {
      ErrorMsg("You must enter a non-negative repeat count");
      return;
    }
    CommandLine = QString::fromLatin1(BeginBlockLine(
        ComboBoxIds->currentText().toLatin1().toStdString(), count.toLatin1().toStdString()));
  } else if (RadioButtonEndBlock->isChecked()) {
    CommandLine =
        QString::fromLatin1(EndBlockLine(ComboBoxIds->currentText().toLatin1().toStdString()));
  } else {
    CommandLine = QString::fromLatin1(
        TerminateBlockLine(ComboBoxIds->currentText().toLatin1().toStdString()));
  }
  accept();
}

void TFormBlock::ButtonCancelClick() {
  reject();
}

void TFormBlock::ErrorMsg(const QString& text) {
  Shell().ShowMessage(this, "Kestrova", text);
  RadioButtonRepeatClick();
}

}  // namespace kestrova
