#include "frmkeyboard.h"

#include <QCheckBox>
#include <QToolButton>

namespace kestrova {

TFormKeyboard::TFormKeyboard(QWidget* parent)
    : QDialog(parent),
      Keyboard1(new TKeyboard(this)),
      CheckBoxCaps(new QCheckBox("Caps", this)),
      BitBtnUpArrow(new QToolButton(this)),
      BitBtnLeftArrow(new QToolButton(this)),
      BitBtnDownArrow(new QToolButton(this)),
      BitBtnRightArrow(new QToolButton(this)) {
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

}  // namespace kestrova
