#include "Keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QToolButton>
#include <cmath>

#include "platform/qt/Shell.h"

namespace kestrova {

namespace {

const QStringList FunctionRow = {"Esc", "F1", "F2", "F3",  "F4",  "F5", "F6",
                                 "F7",  "F8", "F9", "F10", "F11", "F12"};
const QStringList DigitRow = {"`", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "-", "="};
const QStringList DigitRowShifted = {"~",  "!", "@", "#", "$", "%", "^",
                                     "&&", "*", "(", ")", "_", "+"};
const QStringList TopRow = {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "[", "]", "\\"};
const QStringList TopRowShifted = {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "{", "}", "|"};
const QStringList HomeRow = {"A", "S", "D", "F", "G", "H", "J", "K", "L", ";", "'"};
const QStringList HomeRowShifted = {"A", "S", "D", "F", "G", "H", "J", "K", "L", ":", "\""};
const QStringList BottomRow = {"Z", "X", "C", "V", "B", "N", "M", ",", ".", "/"};
const QStringList BottomRowShifted = {"Z", "X", "C", "V", "B", "N", "M", "<", ">", "?"};

// x / 2 rounded to the nearest integer, an exact half going to the even neighbour.
int NearestHalf(long long twice) {
  return static_cast<int>(std::nearbyint(twice / 2.0));
}

QString ConvertCase(const QString& text, bool upper) {
  QString converted = text;
  for (QChar& c : converted) {
    const char16_t u = c.unicode();
    if (upper && u >= 'a' && u <= 'z') c = QChar(u - 'a' + 'A');
    if (!upper && u >= 'A' && u <= 'Z') c = QChar(u - 'A' + 'a');
  }
  return converted;
}

int KeyCodeOf(QChar character) {
  const char16_t u = character.unicode();
  if (u == '\t') return Qt::Key_Tab;
  if (u == '\r') return Qt::Key_Return;
  if (u == '\b') return Qt::Key_Backspace;
  if (u >= 'a' && u <= 'z') return Qt::Key_A + (u - 'a');
  if (u >= 'A' && u <= 'Z') return Qt::Key_A + (u - 'A');
  return u;  // Qt's key codes of Latin-1 characters are their code points
}

}  // namespace

TKeyboard::TKeyboard(QWidget* parent) : QFrame(parent) {
  FShiftActive = false;
  FCapsActive = false;
  FBevelOuter = bvNone;
  UpdateFrame();
  Rebuild();
}

void TKeyboard::SetKeyboardMode(TKbMode mode) {
  FKeyboardMode = mode;
  Rebuild();
}

void TKeyboard::SetFlatKeys(bool flat) {
  FFlatKeys = flat;
  ApplyOptions();
}

void TKeyboard::SetOptions(TOptions options) {
  FOptions = options;
  ApplyOptions();
}

void TKeyboard::SetBevelInner(TBevelCut cut) {
  FBevelInner = cut;
  UpdateFrame();
  Layout();
}

void TKeyboard::SetBevelOuter(TBevelCut cut) {
  FBevelOuter = cut;
  UpdateFrame();
  Layout();
}

void TKeyboard::SetBevelWidth(int width) {
  FBevelWidth = width;
  UpdateFrame();
  Layout();
}

void TKeyboard::SetBorderWidth(int width) {
  FBorderWidth = width;
  Layout();
}

void TKeyboard::UpdateFrame() {
  const bool outer = FBevelOuter != bvNone;
  const bool inner = FBevelInner != bvNone;
  setFrameShape(outer || inner ? QFrame::Panel : QFrame::NoFrame);
  setFrameShadow(FBevelOuter == bvLowered ? QFrame::Sunken : QFrame::Raised);
  setLineWidth(outer ? FBevelWidth : 0);
  setMidLineWidth(inner ? FBevelWidth : 0);
}

QToolButton* TKeyboard::NewKey(const QString& caption) {
  auto* key = new QToolButton(this);
  key->setFocusPolicy(Qt::NoFocus);
  key->setToolButtonStyle(Qt::ToolButtonTextOnly);
  key->setText(caption);
  connect(key, &QToolButton::clicked, this, [this, key] {
    try {
      KeyClick(key);
    } catch (const std::exception& error) {
      Shell().ShowMessage(this, "Kestrova", QString::fromLocal8Bit(error.what()));
    }
  });
  key->show();
  return key;
}

void TKeyboard::Rebuild() {
  // A key may be rebuilt away inside its own click: it goes once the click has returned.
  const auto retire = [](QToolButton*& key) {
    if (!key) return;
    key->hide();
    key->setParent(nullptr);
    key->deleteLater();
    key = nullptr;
  };
  for (QToolButton** special : {&FTabKey, &FCapsKey, &FLeftShiftKey, &FRightShiftKey, &FEnterKey,
                                &FBackspaceKey, &FSpaceKey, &FPlusKey}) {
    retire(*special);
  }
  for (auto& row : FGrid) {
    for (auto& key : row) retire(key);
  }
  switch (FKeyboardMode) {
    case kbmCalculator:
      BuildCalculator();
      break;
    case kbmNumeric:
      BuildNumeric();
      break;
    default:
      BuildAlphaNumeric();
      break;
  }
  ApplyOptions();
}

void TKeyboard::BuildAlphaNumeric() {
  FTabKey = NewKey("Tab");
  FCapsKey = NewKey("Caps");
  FLeftShiftKey = NewKey("Shift");
  FRightShiftKey = NewKey("Shift");
  FEnterKey = NewKey("Enter");
  FBackspaceKey = NewKey("<---");
  FSpaceKey = NewKey(" ");
  if (FKeyboardMode == kbmAlphaNumericFunction) {
    for (int c = 0; c < 13; ++c) FGrid[0][c] = NewKey();
  }
  const int lengths[] = {13, 13, 11, 10};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < lengths[r]; ++c) FGrid[r + 1][c] = NewKey();
  }
  Layout();
  RefreshCaptions();
}

void TKeyboard::BuildCalculator() {
  FEnterKey = NewKey("Enter");
  FBackspaceKey = NewKey("<---");
  FPlusKey = NewKey("+");
  const std::vector<QStringList> rows = {
      {"/", "*"}, {"7", "8", "9"}, {"4", "5", "6"}, {"1", "2", "3", "-"}, {"0", "."}};
  for (int r = 0; r < 5; ++r) {
    for (int c = 0; c < rows[r].size(); ++c) FGrid[r][c] = NewKey(rows[r][c]);
  }
  Layout();
}

void TKeyboard::BuildNumeric() {
  FBackspaceKey = NewKey("<---");
  const std::vector<QStringList> rows = {
      {"7", "8", "9"}, {"4", "5", "6"}, {"1", "2", "3"}, {"0", "."}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < rows[r].size(); ++c) FGrid[r][c] = NewKey(rows[r][c]);
  }
  Layout();
}

void TKeyboard::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  Layout();
}

void TKeyboard::Layout() {
  const int bevel =
      (FBevelInner != bvNone ? FBevelWidth : 0) + (FBevelOuter != bvNone ? FBevelWidth : 0);
  const int inset = bevel + FBorderWidth;
  const int innerW = width() - 2 * bevel - 2 * FBorderWidth;
  const int innerH = height() - 2 * bevel - 2 * FBorderWidth;
  switch (FKeyboardMode) {
    case kbmCalculator:
      LayoutCalculator(inset, innerW, innerH);
      break;
    case kbmNumeric:
      LayoutNumeric(inset, innerW, innerH);
      break;
    default:
      LayoutAlphaNumeric(inset, innerW, innerH);
      break;
  }
}

namespace {

void Place(QToolButton* key, int left, int top, int width, int height) {
  if (key) key->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
}

}  // namespace

void TKeyboard::LayoutAlphaNumeric(int inset, int innerW, int innerH) {
  const bool function = FKeyboardMode == kbmAlphaNumericFunction;
  const int h = function ? (5 * innerH) / 31 : innerH / 5;
  const int g = function ? (6 * h) / 5 : 0;
  const int w = (2 * innerW) / 29;
  const int t = inset + g;
  const int wide = NearestHalf(3LL * w);  // Tab, Enter, Backspace

  for (int c = 1; c <= 13; ++c) {
    Place(FGrid[0][c - 1], c == 1 ? inset : inset + w / 2 + (c - 1) * w, inset, w, h);
    Place(FGrid[1][c - 1], inset + (c - 1) * w, t, w, h);
    Place(FGrid[2][c - 1], inset + wide + (c - 1) * w, t + h, w, h);
  }
  for (int c = 1; c <= 11; ++c)
    Place(FGrid[3][c - 1], inset + 2 * w + (c - 1) * w, t + 2 * h, w, h);
  const int shiftWidth = NearestHalf(5LL * w);
  for (int c = 1; c <= 10; ++c)
    Place(FGrid[4][c - 1], inset + shiftWidth + (c - 1) * w, t + 3 * h, w, h);
  Place(FBackspaceKey, inset + 13 * w, t, wide, h);
  Place(FTabKey, inset, t + h, wide, h);
  Place(FCapsKey, inset, t + 2 * h, 2 * w, h);
  Place(FEnterKey, inset + 13 * w, t + 2 * h, wide, h);
  Place(FLeftShiftKey, inset, t + 3 * h, shiftWidth, h);
  Place(FRightShiftKey, inset + NearestHalf(25LL * w), t + 3 * h, 2 * w, h);
  Place(FSpaceKey, inset + 3 * w, t + 4 * h, NearestHalf(17LL * w), h);
}

void TKeyboard::LayoutCalculator(int inset, int innerW, int innerH) {
  const int h = innerH / 5;
  const int w = innerW / 4;
  for (int r = 1; r <= Rows; ++r) {
    for (int c = 1; c <= 4; ++c)
      Place(FGrid[r - 1][c - 1], inset + (c - 1) * w, inset + (r - 1) * h, w, h);
  }
  Place(FBackspaceKey, inset + 2 * w, inset, 2 * w, h);
  Place(FPlusKey, inset + 3 * w, inset + h, w, 2 * h);
  Place(FEnterKey, inset + 2 * w, inset + 4 * h, 2 * w, h);
}

void TKeyboard::LayoutNumeric(int inset, int innerW, int innerH) {
  const int h = innerH / 4;
  const int w = innerW / 3;
  for (int r = 1; r <= 4; ++r) {
    for (int c = 1; c <= 3; ++c)
      Place(FGrid[r - 1][c - 1], inset + (c - 1) * w, inset + (r - 1) * h, w, h);
  }
  Place(FBackspaceKey, inset + 2 * w, inset + 3 * h, w, h);
}

void TKeyboard::RefreshCaptions() {
  if (FKeyboardMode == kbmCalculator || FKeyboardMode == kbmNumeric) return;
  if (FKeyboardMode == kbmAlphaNumericFunction) {
    for (int c = 0; c < 13; ++c) {
      if (FGrid[0][c]) FGrid[0][c]->setText(FunctionRow[c]);
    }
  }
  const bool shifted = FShiftActive != FCapsActive;
  const QStringList* rows[4][2] = {{&DigitRow, &DigitRowShifted},
                                   {&TopRow, &TopRowShifted},
                                   {&HomeRow, &HomeRowShifted},
                                   {&BottomRow, &BottomRowShifted}};
  for (int r = 0; r < 4; ++r) {
    const QStringList& captions = *rows[r][shifted ? 1 : 0];
    for (int c = 0; c < captions.size(); ++c) {
      if (FGrid[r + 1][c]) FGrid[r + 1][c]->setText(captions[c]);
    }
  }
}

void TKeyboard::ApplyOptions() {
  for (auto& row : FGrid) {
    for (QToolButton* key : row) {
      if (key) key->setAutoRaise(FFlatKeys);
    }
  }
  const struct {
    QToolButton* key;
    TOptionItems disable;
    TOptionItems hide;
  } specials[] = {{FTabKey, DisableTab, HideTab},
                  {FCapsKey, DisableCaps, HideCaps},
                  {FLeftShiftKey, DisableLeftShift, HideLeftShift},
                  {FRightShiftKey, DisableRightShift, HideRightShift},
                  {FEnterKey, DisableEnter, HideEnter},
                  {FBackspaceKey, DisableBackspace, HideBackspace},
                  {FSpaceKey, DisableSpace, HideSpace}};
  for (const auto& special : specials) {
    if (!special.key) continue;
    special.key->setAutoRaise(FFlatKeys);
    special.key->setEnabled(!FOptions.Has(special.disable));
    special.key->setVisible(!FOptions.Has(special.hide));
  }
  if (FPlusKey) FPlusKey->setAutoRaise(FFlatKeys);
  if (FKeyboardMode == kbmAlphaNumericFunction && FGrid[0][0]) {
    FGrid[0][0]->setEnabled(!FOptions.Has(DisableEscape));
    FGrid[0][0]->setVisible(!FOptions.Has(HideEscape));
  }
}

QColor TKeyboard::FontColor(const QToolButton* key) {
  return key->palette().color(QPalette::ButtonText);
}

void TKeyboard::MarkKey(QToolButton* key, bool on) {
  if (!key) return;
  if (on) {
    QPalette palette = key->palette();
    palette.setColor(QPalette::ButtonText, FHighlightColor);
    key->setPalette(palette);
    if (FOptions.Has(BoldShiftIndicator)) {
      QFont bold = font();
      bold.setBold(true);
      key->setFont(bold);
    }
  } else {
    QPalette palette = key->palette();
    palette.setColor(QPalette::ButtonText, this->palette().color(QPalette::ButtonText));
    key->setPalette(palette);
    key->setFont(QFont());  // follows the keyboard's font again
  }
}

void TKeyboard::RefreshIndicators() {
  MarkKey(FLeftShiftKey, FShiftActive);
  MarkKey(FRightShiftKey, FShiftActive);
  MarkKey(FCapsKey, FCapsActive);
  RefreshCaptions();
}

void TKeyboard::ToggleShift() {
  if (FBeepOnKeyPressed) Shell().Beep();
  FShiftActive = !FShiftActive;
  if (OnShiftStateChange) OnShiftStateChange(this, FShiftActive);
  RefreshIndicators();
}

void TKeyboard::Deliver(QChar character) {
  if (!FLinkedControl) return;
  const int code = KeyCodeOf(character);
  QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, QString(character));
  QCoreApplication::sendEvent(FLinkedControl, &press);
  if (!FLinkedControl) return;
  QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, QString(character));
  QCoreApplication::sendEvent(FLinkedControl, &release);
}

void TKeyboard::KeyClick(QToolButton* key) {
  if (FBeepOnKeyPressed) Shell().Beep();
  const auto closing = [this] {
    if (FKeyboardMode != kbmCalculator && FKeyboardMode != kbmNumeric && FShiftActive) {
      FShiftActive = false;
      RefreshIndicators();
      if (OnShiftStateChange) OnShiftStateChange(this, false);
    }
  };
  try {
    bool handled = false;
    if (FKeyboardMode == kbmAlphaNumericFunction) {
      const int position = FunctionRow.indexOf(key->text());
      if (position >= 0) {
        if (OnSpecialKey) OnSpecialKey(this, static_cast<TSpecialKey>(skEscape + position));
        handled = true;
      }
    }
    if (!handled) {
      const auto special = [this](TSpecialKey value) {
        if (OnSpecialKey) OnSpecialKey(this, value);
      };
      if (key == FLeftShiftKey) {
        special(skLeftShift);
      } else if (key == FRightShiftKey) {
        special(skRightShift);
      } else if (key == FCapsKey) {
        special(skCaps);
      } else if (key == FTabKey) {
        special(skTab);
        Deliver(QChar('\t'));
      } else if (key == FEnterKey) {
        special(skEnter);
        Deliver(QChar('\r'));
      } else if (key == FBackspaceKey) {
        special(skBackspace);
        Deliver(QChar('\b'));
      } else {
        QString text = key->text();
        if (FCharCase == ecUpperCase) {
          text = ConvertCase(text, true);
        } else if (FCharCase == ecLowerCase) {
          text = ConvertCase(text, false);
        } else {
          text = ConvertCase(text, FShiftActive != FCapsActive);
        }
        const QChar character = text.isEmpty() ? QChar(' ') : text[0];
        if (OnKey) OnKey(this, character);
        Deliver(character);
      }
    }
  } catch (...) {
    closing();
    throw;
  }
  closing();
}

}  // namespace kestrova
