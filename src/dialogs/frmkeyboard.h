#pragma once
// The key picker: one click on the on-screen keyboard or on an arrow button names the key of a
// KEY DOWN / KEY UP line, and closes the dialog.

#include <QDialog>
#include <QKeyEvent>
#include <QString>

#include "keyboard/Keyboard.h"

class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace kestrova {

// "Press a key to choose it": the key pressed next, by its key name ("HOME", "CTRL", "NUM5",
// "a"), shown before the box closes. Cancel leaves KeyName empty.
class TFormCaptureKey : public QDialog {
  Q_OBJECT
 public:
  explicit TFormCaptureKey(QWidget* parent = nullptr);
  QString KeyName;
  QLabel* LabelPrompt;
  QPushButton* ButtonCancel;
  // The key name of a key event; "" for keys without one.
  static QString KeyNameOf(const QKeyEvent& event);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
};

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
  // Beside Caps: every named key by group (Ctrl, navigation, F13-F24, keypad, media), and
  // "Press a key to choose it".
  QPushButton* ButtonMoreKeys;
  QMenu* MenuMoreKeys;

  void FormShow();
  void Keyboard1Key(TKeyboard* sender, QChar character);
  void Keyboard1SpecialKey(TKeyboard* sender, TSpecialKey key);
  void CheckBoxCapsClick();
  void BitBtnArrowClick(QObject* sender);
  // Picks a named key (from the menu, or the key pressed) and closes the picker.
  void PickNamedKey(const QString& name);
  // Opens the capture box: the next key pressed on the real keyboard is picked.
  void PressAKeyClick();
  TFormCaptureKey* FormCaptureKey;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace kestrova
