#include "frmkeyboard.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <map>

#include "platform/Injector.h"
#include "platform/KeyNames.h"
#include "platform/Keysyms.h"
#include "platform/qt/Named.h"

namespace kestrova {

TFormKeyboard::TFormKeyboard(QWidget* parent)
    : QDialog(parent),
      Keyboard1(new TKeyboard(this)),
      CheckBoxCaps(new QCheckBox("Caps", this)),
      BitBtnUpArrow(new QToolButton(this)),
      BitBtnLeftArrow(new QToolButton(this)),
      BitBtnDownArrow(new QToolButton(this)),
      BitBtnRightArrow(new QToolButton(this)),
      ButtonMoreKeys(Named(new QPushButton("More keys...", this), "ButtonMoreKeys")),
      MenuMoreKeys(Named(new QMenu(ButtonMoreKeys), "MenuMoreKeys")),
      FormCaptureKey(new TFormCaptureKey(this)) {
  setObjectName("FormKeyboard");
  setWindowTitle("Keyboard");
  setFixedSize(340, 123);
  Keyboard1->setObjectName("Keyboard1");
  Keyboard1->SetKeyboardMode(kbmAlphaNumericFunction);
  Keyboard1->SetHighlightColor(Qt::black);
  Keyboard1->SetOptions({});
  Keyboard1->SetBevelInner(bvNone);
  Keyboard1->SetBevelOuter(bvNone);
  Keyboard1->setGeometry(0, 0, 281, 97);
  QFont small = Keyboard1->font();  // captions that fit keys 19 pixels wide
  small.setPointSize(7);
  Keyboard1->setFont(small);
  CheckBoxCaps->setObjectName("CheckBoxCaps");
  CheckBoxCaps->setGeometry(4, 100, 80, 20);

  const struct {
    QToolButton* button;
    const char* name;
    const char* spoken;  // the accessible name
    Qt::ArrowType arrow;
    int x;
    int y;
  } arrows[] = {{BitBtnUpArrow, "BitBtnUpArrow", "Up arrow key", Qt::UpArrow, 306, 60},
                {BitBtnLeftArrow, "BitBtnLeftArrow", "Left arrow key", Qt::LeftArrow, 289, 78},
                {BitBtnDownArrow, "BitBtnDownArrow", "Down arrow key", Qt::DownArrow, 306, 78},
                {BitBtnRightArrow, "BitBtnRightArrow", "Right arrow key", Qt::RightArrow, 323, 78}};
  for (const auto& a : arrows) {
    a.button->setObjectName(a.name);
    a.button->setArrowType(a.arrow);
    a.button->setGeometry(a.x, a.y, 16, 16);
    a.button->setFocusPolicy(Qt::NoFocus);
    a.button->setAccessibleName(a.spoken);
    QToolButton* button = a.button;
    connect(button, &QToolButton::clicked, this, [this, button] { BitBtnArrowClick(button); });
  }
  Keyboard1->OnKey = [this](TKeyboard* sender, QChar c) { Keyboard1Key(sender, c); };
  Keyboard1->OnSpecialKey = [this](TKeyboard* sender, TSpecialKey key) {
    Keyboard1SpecialKey(sender, key);
  };
  // An addition in the free space beside Caps.
  ButtonMoreKeys->setGeometry(90, 100, 110, 20);
  ButtonMoreKeys->setToolTip("Ctrl, Home, Page Up, F13-F24, the keypad, media keys...");
  MenuMoreKeys->addAction("Press a key to choose it...", this, [this] { PressAKeyClick(); });
  std::map<std::string_view, QMenu*> groups;
  for (const TKeyName& key : KeyNames()) {
    QMenu*& group = groups[key.Group];
    if (group == nullptr) {
      group = MenuMoreKeys->addMenu(
          QString::fromLatin1(key.Group.data(), static_cast<int>(key.Group.size())));
    }
    const QString name = QString::fromLatin1(key.Name.data(), static_cast<int>(key.Name.size()));
    group->addAction(name, this, [this, name] { PickNamedKey(name); });
  }
  ButtonMoreKeys->setMenu(MenuMoreKeys);
  // However the box is ticked (mouse, keyboard, assistive technology), the keys follow.
  connect(CheckBoxCaps, &QCheckBox::toggled, this, [this] { CheckBoxCapsClick(); });
}

void TFormKeyboard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TFormKeyboard::FormShow() {
  KeyName.clear();
  if (CheckBoxCaps->isChecked() != Keyboard1->ShiftActive()) Keyboard1->ToggleShift();
}

void TFormKeyboard::CheckBoxCapsClick() {
  Keyboard1->ToggleShift();
}

void TFormKeyboard::Keyboard1Key(TKeyboard*, QChar character) {
  QString text(character);
  const char16_t u = character.unicode();
  if (CheckBoxCaps->isChecked() && u >= 'a' && u <= 'z') text = QChar(u - 'a' + 'A');
  if (!CheckBoxCaps->isChecked() && u >= 'A' && u <= 'Z') text = QChar(u - 'A' + 'a');
  KeyName = text == " " ? QString("SPACE") : text;
  accept();
}

void TFormKeyboard::Keyboard1SpecialKey(TKeyboard*, TSpecialKey key) {
  switch (key) {
    case skTab:
      KeyName = "TAB";
      break;
    case skLeftShift:
    case skRightShift:
      KeyName = "SHIFT";
      break;
    case skEnter:
      KeyName = "ENTER";
      break;
    case skBackspace:
      KeyName = "BS";
      break;
    case skEscape:
      KeyName = "ESC";
      break;
    case skCaps:
      KeyName.clear();
      break;
    default:
      if (key >= skF1 && key <= skF12) {
        KeyName = "F" + QString::number(key - skF1 + 1);
      } else {
        KeyName.clear();
      }
      break;
  }
  accept();
}

void TFormKeyboard::BitBtnArrowClick(QObject* sender) {
  if (sender == BitBtnRightArrow) KeyName = "RIGHT";
  if (sender == BitBtnLeftArrow) KeyName = "LEFT";
  if (sender == BitBtnUpArrow) KeyName = "UP";
  if (sender == BitBtnDownArrow) KeyName = "DOWN";
  accept();
}

void TFormKeyboard::PickNamedKey(const QString& name) {
  KeyName = name;
  accept();
}

void TFormKeyboard::PressAKeyClick() {
  if (FormCaptureKey->exec() == QDialog::Accepted && !FormCaptureKey->KeyName.isEmpty()) {
    PickNamedKey(FormCaptureKey->KeyName);
  }
}

TFormCaptureKey::TFormCaptureKey(QWidget* parent)
    : QDialog(parent),
      LabelPrompt(Named(new QLabel("Press a key to choose it.", this), "LabelPrompt")),
      ButtonCancel(Named(new QPushButton("Cancel", this), "ButtonCancel")) {
  setObjectName("FormCaptureKey");
  setWindowTitle("Press a key");
  setFixedSize(260, 80);
  LabelPrompt->setGeometry(10, 10, 240, 20);
  ButtonCancel->setGeometry(170, 48, 80, 24);
  ButtonCancel->setFocusPolicy(Qt::NoFocus);  // Enter and Space are keys to choose, too
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormCaptureKey::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  KeyName.clear();
  LabelPrompt->setText("Press a key to choose it.");
  setFocus();
}

bool TFormCaptureKey::event(QEvent* event) {
  // Tab and Escape are keys to choose, not the dialog's own.
  if (event->type() == QEvent::KeyPress) {
    keyPressEvent(static_cast<QKeyEvent*>(event));
    return true;
  }
  return QDialog::event(event);
}

void TFormCaptureKey::keyPressEvent(QKeyEvent* event) {
  const QString name = KeyNameOf(*event);
  if (name.isEmpty()) {
    LabelPrompt->setText("That key has no name here; press another.");
    return;
  }
  KeyName = name;
  LabelPrompt->setText("Chosen: " + name);
  accept();
}

QString TFormCaptureKey::KeyNameOf(const QKeyEvent& event) {
  // The X keysym where the platform tells it: it tells left from right and the keypad.
  if (const quint32 keysym = event.nativeVirtualKey(); keysym > 0xFF) {
    for (const TKeyName& key : KeyNames()) {
      if (UsKeysymOfKey(key.Vk, key.Extended ? KEYEVENTF_EXTENDEDKEY : 0) == keysym) {
        return QString::fromLatin1(key.Name.data(), static_cast<int>(key.Name.size()));
      }
    }
  }
  const bool keypad = event.modifiers() & Qt::KeypadModifier;
  const int key = event.key();
  if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9)
    return "NUM" + QString::number(key - Qt::Key_0);
  static const std::map<int, const char*> keypadKeys = {
      {Qt::Key_Asterisk, "NUM*"}, {Qt::Key_Plus, "NUM+"},  {Qt::Key_Minus, "NUM-"},
      {Qt::Key_Period, "NUM."},   {Qt::Key_Slash, "NUM/"}, {Qt::Key_Enter, "NUMENTER"}};
  if (keypad && keypadKeys.contains(key)) return keypadKeys.at(key);
  static const std::map<int, const char*> named = {{Qt::Key_Space, "SPACE"},
                                                   {Qt::Key_Tab, "TAB"},
                                                   {Qt::Key_Backtab, "TAB"},
                                                   {Qt::Key_Shift, "SHIFT"},
                                                   {Qt::Key_Return, "ENTER"},
                                                   {Qt::Key_Enter, "NUMENTER"},
                                                   {Qt::Key_Backspace, "BS"},
                                                   {Qt::Key_Escape, "ESC"},
                                                   {Qt::Key_Alt, "ALT"},
                                                   {Qt::Key_AltGr, "RALT"},
                                                   {Qt::Key_Control, "CTRL"},
                                                   {Qt::Key_Meta, "WIN"},
                                                   {Qt::Key_Super_L, "WIN"},
                                                   {Qt::Key_Super_R, "RWIN"},
                                                   {Qt::Key_Menu, "MENU"},
                                                   {Qt::Key_Up, "UP"},
                                                   {Qt::Key_Down, "DOWN"},
                                                   {Qt::Key_Left, "LEFT"},
                                                   {Qt::Key_Right, "RIGHT"},
                                                   {Qt::Key_Home, "HOME"},
                                                   {Qt::Key_End, "END"},
                                                   {Qt::Key_PageUp, "PGUP"},
                                                   {Qt::Key_PageDown, "PGDN"},
                                                   {Qt::Key_Insert, "INSERT"},
                                                   {Qt::Key_Delete, "DELETE"},
                                                   {Qt::Key_Pause, "PAUSE"},
                                                   {Qt::Key_Print, "PRINT"},
                                                   {Qt::Key_CapsLock, "CAPSLOCK"},
                                                   {Qt::Key_NumLock, "NUMLOCK"},
                                                   {Qt::Key_ScrollLock, "SCROLLLOCK"},
                                                   {Qt::Key_VolumeUp, "VOLUP"},
                                                   {Qt::Key_VolumeDown, "VOLDOWN"},
                                                   {Qt::Key_VolumeMute, "MUTE"},
                                                   {Qt::Key_MediaPlay, "PLAY"},
                                                   {Qt::Key_MediaTogglePlayPause, "PLAY"},
                                                   {Qt::Key_MediaNext, "NEXT"},
                                                   {Qt::Key_MediaPrevious, "PREV"}};
  if (const auto found = named.find(key); found != named.end()) return found->second;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return "F" + QString::number(key - Qt::Key_F1 + 1);
  // A character key: what it types, as the on-screen keyboard names it.
  const QString text = event.text();
  if (text.size() == 1 && text[0].unicode() > ' ' && text[0].unicode() < 127) return text;
  return {};
}

}  // namespace kestrova
