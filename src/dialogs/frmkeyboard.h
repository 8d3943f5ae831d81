#pragma once
// The key picker: one click on the on-screen keyboard or on an arrow button names the key of a
// KEY DOWN / KEY UP line, and closes the dialog.

#include <QDialog>
#include <QString>

#include "keyboard/Keyboard.h"

class QCheckBox;
class QToolButton;

namespace kestrova {

class TFormKeyboard : public QDialog {
  Q_OBJECT
 public:
  explicit TFormKeyboard(QWidget* parent = nullptr);

  // The picked key name; "" when nothing was picked (Caps Lock, the close box).
  QString KeyName;

  TKeyboard* Keyboard1;
  QCheckBox* CheckBoxCaps;
  QToolButton* BitBtnUpArrow;
  QToolButton* BitBtnLeftArrow;
  QToolButton* BitBtnDownArrow;
  QToolButton* BitBtnRightArrow;

  void FormShow();
  void Keyboard1Key(TKeyboard* sender, QChar character);
  void Keyboard1SpecialKey(TKeyboard* sender, TSpecialKey key);
  void CheckBoxCapsClick();
  void BitBtnArrowClick(QObject* sender);

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kestrova
