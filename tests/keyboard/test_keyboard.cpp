// The on-screen keyboard and the key picker, offscreen.

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "common/ScriptedShell.h"
#include "dialogs/frmkeyboard.h"
#include "keyboard/Keyboard.h"

using namespace kestrova;
using namespace kestrova::testing;

namespace {

QRect Box(QToolButton* key) {
  return key->geometry();
}

// Records the key events a linked control receives.
class TKeyLog : public QObject {
 public:
  explicit TKeyLog(QStringList& log) : FLog(log) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      auto* key = static_cast<QKeyEvent*>(event);
      FLog << QString(event->type() == QEvent::KeyPress ? "press %1 %2" : "release %1 %2")
                  .arg(key->key(), 0, 16)
                  .arg(key->text().toUtf8().toHex());
    }
    return false;
  }

 private:
  QStringList& FLog;
};

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private:
  TScriptedShell* Shell = nullptr;
  TKeyboard* Keyboard = nullptr;
  QStringList Events;

  void Attach() {
    Keyboard->OnKey = [this](TKeyboard* sender, QChar c) {
      QVERIFY(sender == Keyboard);
      Events << QString("key ") + c;
    };
    Keyboard->OnSpecialKey = [this](TKeyboard*, TSpecialKey key) {
      Events << QString("special %1").arg(key);
    };
    Keyboard->OnShiftStateChange = [this](TKeyboard*, bool on) {
      Events << QString("shift %1").arg(on);
    };
  }
  void Click(QToolButton* key) { QTest::mouseClick(key, Qt::LeftButton); }

 private slots:
  void init() {
    Shell = new TScriptedShell;
    Keyboard = new TKeyboard;
    Keyboard->resize(281, 97);
    Keyboard->show();
    Events.clear();
    Attach();
  }
  void cleanup() {
    delete Keyboard;
    delete Shell;
  }

  void DefaultsAndKeysOfTheModes() {
    QCOMPARE(Keyboard->KeyboardMode(), kbmAlphaNumeric);
    QCOMPARE(Keyboard->CharCase(), ecNormal);
    QCOMPARE(Keyboard->HighlightColor(), QColor(Qt::black));
    QVERIFY(!Keyboard->BeepOnKeyPressed() && !Keyboard->FlatKeys() && !Keyboard->ShiftActive());
    QCOMPARE(Keyboard->BevelOuter(), bvNone);
    QCOMPARE(Keyboard->Key(1, 1), nullptr);  // no function row
    QCOMPARE(Keyboard->Key(2, 1)->text(), QString("`"));
    QCOMPARE(Keyboard->Key(3, 13)->text(), QString("\\"));
    QCOMPARE(Keyboard->Key(4, 11)->text(), QString("'"));
    QCOMPARE(Keyboard->Key(5, 10)->text(), QString("/"));
    QCOMPARE(Keyboard->Key(4, 12), nullptr);
    QCOMPARE(Keyboard->BackspaceKey()->text(), QString("<---"));
    QCOMPARE(Keyboard->SpaceKey()->text(), QString(" "));
    QCOMPARE(Keyboard->PlusKey(), nullptr);
    QCOMPARE(Keyboard->Key(2, 1)->focusPolicy(), Qt::NoFocus);

    Keyboard->SetKeyboardMode(kbmAlphaNumericFunction);
    QCOMPARE(Keyboard->Key(1, 1)->text(), QString("Esc"));
    QCOMPARE(Keyboard->Key(1, 13)->text(), QString("F12"));

    Keyboard->SetKeyboardMode(kbmCalculator);
    QCOMPARE(Keyboard->Key(1, 2)->text(), QString("*"));
    QCOMPARE(Keyboard->Key(4, 4)->text(), QString("-"));
    QCOMPARE(Keyboard->Key(5, 2)->text(), QString("."));
    QCOMPARE(Keyboard->PlusKey()->text(), QString("+"));
    QCOMPARE(Keyboard->TabKey(), nullptr);
    QCOMPARE(Keyboard->SpaceKey(), nullptr);

    Keyboard->SetKeyboardMode(kbmNumeric);
    QCOMPARE(Keyboard->Key(1, 1)->text(), QString("7"));
    QCOMPARE(Keyboard->Key(4, 2)->text(), QString("."));
    QCOMPARE(Keyboard->EnterKey(), nullptr);
    QVERIFY(Keyboard->BackspaceKey() != nullptr);
  }

  void LayoutOfThePickersKeyboard() {
    Keyboard->SetKeyboardMode(kbmAlphaNumericFunction);
    QCOMPARE(Box(Keyboard->Key(1, 1)), QRect(0, 0, 19, 15));   // h 15, w 19
    QCOMPARE(Box(Keyboard->Key(1, 2)), QRect(28, 0, 19, 15));  // F1
    QCOMPARE(Box(Keyboard->Key(2, 1)).top(), 18);              // g 18
    QCOMPARE(Box(Keyboard->BackspaceKey()), QRect(247, 18, 28, 15));
    QCOMPARE(Box(Keyboard->TabKey()), QRect(0, 33, 28, 15));
    QCOMPARE(Box(Keyboard->Key(3, 1)).left(), 28);
    QCOMPARE(Box(Keyboard->CapsKey()), QRect(0, 48, 38, 15));
    QCOMPARE(Box(Keyboard->Key(4, 1)).left(), 38);
    QCOMPARE(Box(Keyboard->EnterKey()), QRect(247, 48, 28, 15));
    QCOMPARE(Box(Keyboard->LeftShiftKey()), QRect(0, 63, 48, 15));
    QCOMPARE(Box(Keyboard->Key(5, 1)).left(), 48);
    QCOMPARE(Box(Keyboard->RightShiftKey()), QRect(238, 63, 38, 15));
    QCOMPARE(Box(Keyboard->SpaceKey()), QRect(57, 78, 162, 15));

    Keyboard->SetKeyboardMode(kbmAlphaNumeric);
    QCOMPARE(Box(Keyboard->Key(2, 1)), QRect(0, 0, 19, 19));  // h 19, digit row at the top

    // w 17: the halves go to the even neighbour (25.5 -> 26, 42.5 -> 42).
    Keyboard->resize(250, 97);
    QCOMPARE(Box(Keyboard->TabKey()).width(), 26);
    QCOMPARE(Box(Keyboard->LeftShiftKey()).width(), 42);

    // Exact arithmetic: inner height 93 gives h 15 in the function mode.
    Keyboard->SetKeyboardMode(kbmAlphaNumericFunction);
    Keyboard->resize(281, 93);
    QCOMPARE(Box(Keyboard->Key(1, 1)).height(), 15);
    QCOMPARE(Box(Keyboard->Key(2, 1)).top(), 18);

    // Bevels and the border move everything in.
    Keyboard->SetBevelOuter(bvRaised);
    Keyboard->SetBevelWidth(2);
    Keyboard->SetBorderWidth(1);
    QCOMPARE(Box(Keyboard->Key(1, 1)).topLeft(), QPoint(3, 3));
  }

  void LayoutOfTheCalculatorAndNumericPads() {
    Keyboard->SetKeyboardMode(kbmCalculator);
    Keyboard->resize(200, 100);  // h 20, w 50
    QCOMPARE(Box(Keyboard->Key(4, 4)), QRect(150, 60, 50, 20));
    QCOMPARE(Box(Keyboard->BackspaceKey()), QRect(100, 0, 100, 20));
    QCOMPARE(Box(Keyboard->PlusKey()), QRect(150, 20, 50, 40));
    QCOMPARE(Box(Keyboard->EnterKey()), QRect(100, 80, 100, 20));
    Keyboard->SetKeyboardMode(kbmNumeric);
    Keyboard->resize(150, 100);  // h 25, w 50
    QCOMPARE(Box(Keyboard->Key(3, 3)), QRect(100, 50, 50, 25));
    QCOMPARE(Box(Keyboard->BackspaceKey()), QRect(100, 75, 50, 25));
  }

  void RebuildAndOptions() {
    QToolButton* before = Keyboard->Key(2, 1);
    Keyboard->SetFlatKeys(true);
    Keyboard->SetKeyboardMode(kbmAlphaNumeric);  // the same mode: new keys all the same
    QVERIFY(Keyboard->Key(2, 1) != before);
    QVERIFY(Keyboard->Key(2, 1)->autoRaise());
    QVERIFY(Keyboard->TabKey()->autoRaise());

    Keyboard->SetOptions({DisableTab, HideSpace, DisableEscape});
    QVERIFY(!Keyboard->TabKey()->isEnabled());
    QVERIFY(Keyboard->SpaceKey()->isHidden());
    Keyboard->SetKeyboardMode(kbmAlphaNumericFunction);
    QVERIFY(!Keyboard->Key(1, 1)->isEnabled());
    QVERIFY(Keyboard->Key(1, 2)->isEnabled());  // F1 always

    Keyboard->SetKeyboardMode(kbmCalculator);
    Keyboard->SetOptions({HideTab, HideCaps, HideSpace, HideEnter});
    QVERIFY(Keyboard->EnterKey()->isHidden());
    QVERIFY(!Keyboard->BackspaceKey()->isHidden());
    QVERIFY(!Keyboard->Key(1, 1)->isHidden());

    // A disabled key raises nothing.
    Keyboard->SetKeyboardMode(kbmAlphaNumeric);
    Keyboard->SetOptions({DisableTab});
    Click(Keyboard->TabKey());
    QVERIFY(Events.isEmpty());
  }

  void CharacterKeysAndShift() {
    Keyboard->SetHighlightColor(QColor(255, 0, 0));
    Click(Keyboard->Key(3, 1));  // Q
    Click(Keyboard->Key(2, 1));  // grave accent
    QCOMPARE(Events, (QStringList{"key q", "key `"}));
    Events.clear();

    Keyboard->ToggleShift();
    QCOMPARE(Events, QStringList{"shift 1"});
    QCOMPARE(Keyboard->Key(2, 1)->text(), QString("~"));
    QCOMPARE(Keyboard->Key(2, 8)->text(), QString("&&"));
    QCOMPARE(Keyboard->Key(4, 10)->text(), QString(":"));
    QCOMPARE(Keyboard->Key(4, 11)->text(), QString("\""));
    QCOMPARE(TKeyboard::FontColor(Keyboard->LeftShiftKey()), QColor(255, 0, 0));
    QCOMPARE(TKeyboard::FontColor(Keyboard->RightShiftKey()), QColor(255, 0, 0));
    Click(Keyboard->Key(3, 1));
    QCOMPARE(Events, (QStringList{"shift 1", "key Q", "shift 0"}));
    QVERIFY(!Keyboard->ShiftActive());
    QCOMPARE(Keyboard->Key(2, 1)->text(), QString("`"));
    QVERIFY(TKeyboard::FontColor(Keyboard->LeftShiftKey()) != QColor(255, 0, 0));

    Events.clear();
    Keyboard->ToggleShift();
    Click(Keyboard->Key(2, 8));  // "&&"
    QCOMPARE(Events, (QStringList{"shift 1", "key &", "shift 0"}));

    Keyboard->SetOptions({BoldShiftIndicator});
    Keyboard->ToggleShift();
    QVERIFY(Keyboard->LeftShiftKey()->font().bold());
    Keyboard->ToggleShift();
    QVERIFY(!Keyboard->LeftShiftKey()->font().bold());
  }

  void CharCaseOverridesTheShiftState() {
    Keyboard->SetCharCase(ecUpperCase);
    Click(Keyboard->Key(3, 1));
    Keyboard->SetCharCase(ecLowerCase);
    Keyboard->ToggleShift();
    Click(Keyboard->Key(3, 1));
    Keyboard->ToggleShift();
    Click(Keyboard->Key(2, 2));  // "!" as shown
    QCOMPARE(Events,
             (QStringList{"key Q", "shift 1", "key q", "shift 0", "shift 1", "key !", "shift 0"}));
  }

  void SpecialKeysAndTheLinkedControl() {
    Keyboard->SetKeyboardMode(kbmAlphaNumericFunction);
    QLineEdit edit;
    QStringList received;
    TKeyLog log(received);
    edit.installEventFilter(&log);
    Keyboard->SetLinkedControl(&edit);
    Keyboard->OnSpecialKey = [&](TKeyboard*, TSpecialKey key) {
      received << QString("special %1").arg(key);
    };
    Keyboard->OnKey = [&](TKeyboard*, QChar c) { received << QString("key ") + c; };
    Click(Keyboard->Key(3, 1));
    Click(Keyboard->SpaceKey());
    Click(Keyboard->BackspaceKey());
    Click(Keyboard->Key(1, 1));   // Esc: nothing to the control
    Click(Keyboard->Key(1, 11));  // F10
    Click(Keyboard->EnterKey());
    Click(Keyboard->TabKey());
    QCOMPARE(received,
             (QStringList{
                 "key q", "press 51 71", "release 51 71", "key  ", "press 20 20", "release 20 20",
                 QString("special %1").arg(skBackspace), "press 1000003 08", "release 1000003 08",
                 QString("special %1").arg(skEscape), QString("special %1").arg(skF10),
                 QString("special %1").arg(skEnter), "press 1000004 0d", "release 1000004 0d",
                 QString("special %1").arg(skTab), "press 1000001 09", "release 1000001 09"}));
    QCOMPARE(edit.text(), QString("q"));  // q, space, then backspace
    Keyboard->SetLinkedControl(nullptr);
  }

  void ShiftKeysCapsAndTheCalculator() {
    Click(Keyboard->RightShiftKey());
    QCOMPARE(Events, QStringList{QString("special %1").arg(skRightShift)});
    Events.clear();
    Keyboard->ToggleShift();
    Click(Keyboard->RightShiftKey());
    Click(Keyboard->CapsKey());
    QCOMPARE(Events, (QStringList{"shift 1", QString("special %1").arg(skRightShift), "shift 0",
                                  QString("special %1").arg(skCaps)}));
    QVERIFY(!Keyboard->CapsActive());

    Events.clear();
    Keyboard->SetKeyboardMode(kbmCalculator);
    Keyboard->ToggleShift();
    Click(Keyboard->PlusKey());
    Click(Keyboard->Key(4, 4));
    Click(Keyboard->EnterKey());
    QCOMPARE(Events,
             (QStringList{"shift 1", "key +", "key -", QString("special %1").arg(skEnter)}));
    QVERIFY(Keyboard->ShiftActive());  // nothing releases shift on the calculator
  }

  void BeepsAndAThrowingCallback() {
    Keyboard->SetBeepOnKeyPressed(true);
    Keyboard->OnKey = [this](TKeyboard*, QChar) {
      Events << QString("beeps %1").arg(Shell->Beeps);
    };
    Keyboard->ToggleShift();
    QCOMPARE(Shell->Beeps, 1);
    Click(Keyboard->Key(3, 2));
    QCOMPARE(Events, (QStringList{"shift 1", "beeps 2", "shift 0"}));

    Keyboard->ToggleShift();
    Keyboard->OnKey = [](TKeyboard*, QChar) { throw std::runtime_error("host failed"); };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, Keyboard->KeyClick(Keyboard->Key(3, 3)));
    QVERIFY(!Keyboard->ShiftActive());
    Click(Keyboard->Key(3, 3));  // from the screen: the message is shown, nothing escapes
    QCOMPARE(Shell->Messages, QStringList{"Kestrova: host failed"});
  }
};

class KeyPickerTest : public QObject {
  Q_OBJECT

 private:
  TScriptedShell* Shell = nullptr;
  TFormKeyboard* Picker = nullptr;

  // Shows the picker and clicks what `click` returns; the name it picked.
  QString Pick(const std::function<QAbstractButton*()>& click) {
    QTimer::singleShot(0, Picker, [this, click] {
      QAbstractButton* button = click();
      if (button) {
        QTest::mouseClick(button, Qt::LeftButton);
      } else {
        Picker->reject();  // the close box
      }
      if (Picker->isVisible()) Picker->reject();
    });
    Picker->exec();
    return Picker->KeyName;
  }

 private slots:
  void init() {
    Shell = new TScriptedShell;
    Picker = new TFormKeyboard;
  }
  void cleanup() {
    delete Picker;
    delete Shell;
  }

  void NamesOfTheKeys() {
    QCOMPARE(Picker->windowTitle(), QString("Keyboard"));
    QCOMPARE(Picker->Keyboard1->KeyboardMode(), kbmAlphaNumericFunction);
    QCOMPARE(Picker->Keyboard1->size(), QSize(281, 97));
    auto* k = Picker->Keyboard1;
    QCOMPARE(Pick([k] { return k->Key(4, 1); }), QString("a"));
    QCOMPARE(Pick([k] { return k->Key(2, 2); }), QString("1"));
    QCOMPARE(Pick([k] { return k->SpaceKey(); }), QString("SPACE"));
    QCOMPARE(Pick([k] { return k->BackspaceKey(); }), QString("BS"));
    QCOMPARE(Pick([k] { return k->LeftShiftKey(); }), QString("SHIFT"));
    QCOMPARE(Pick([k] { return k->RightShiftKey(); }), QString("SHIFT"));
    QCOMPARE(Pick([k] { return k->TabKey(); }), QString("TAB"));
    QCOMPARE(Pick([k] { return k->EnterKey(); }), QString("ENTER"));
    QCOMPARE(Pick([k] { return k->Key(1, 1); }), QString("ESC"));
    QCOMPARE(Pick([k] { return k->Key(1, 13); }), QString("F12"));
    QCOMPARE(Pick([this] { return Picker->BitBtnUpArrow; }), QString("UP"));
    QCOMPARE(Pick([this] { return Picker->BitBtnLeftArrow; }), QString("LEFT"));
    QCOMPARE(Pick([this] { return Picker->BitBtnDownArrow; }), QString("DOWN"));
    QCOMPARE(Pick([this] { return Picker->BitBtnRightArrow; }), QString("RIGHT"));
    QCOMPARE(Pick([k] { return k->CapsKey(); }), QString(""));
    QCOMPARE(Pick([] { return nullptr; }), QString(""));
    // Beyond the keyboard: every named key from the "More keys..." menu, by group.
    QStringList offered;
    for (QAction* group : Picker->MenuMoreKeys->actions()) {
      if (group->menu() == nullptr) continue;
      for (QAction* key : group->menu()->actions()) offered << key->text();
    }
    for (const char* name : {"CTRL", "RCTRL", "RALT", "WIN", "HOME", "PGDN", "DELETE", "F24",
                             "NUM0", "NUM/", "NUMENTER", "VOLUP", "PREV", "ESC", "F1"}) {
      QVERIFY2(offered.contains(name), name);
    }
    QTimer::singleShot(0, Picker, [this] {
      for (QAction* group : Picker->MenuMoreKeys->actions()) {
        if (group->menu() != nullptr && group->text() == "Keypad") {
          group->menu()->actions().at(5)->trigger();  // NUM5
        }
      }
    });
    Picker->exec();
    QCOMPARE(Picker->KeyName, QString("NUM5"));
  }

  // "Press a key to choose it": the key pressed names itself, by its keysym where the platform
  // tells it (left from right, the keypad), else by Qt's key.
  void APressedKeyNamesItself() {
    const struct {
      int key;
      Qt::KeyboardModifiers modifiers;
      quint32 keysym;
      QString text;
      QString name;
    } cases[] = {
        {Qt::Key_Control, Qt::NoModifier, 0xFFE4, "", "RCTRL"},
        {Qt::Key_Control, Qt::NoModifier, 0xFFE3, "", "CTRL"},
        {Qt::Key_Control, Qt::NoModifier, 0, "", "CTRL"},
        {Qt::Key_Home, Qt::NoModifier, 0, "", "HOME"},
        {Qt::Key_5, Qt::KeypadModifier, 0, "5", "NUM5"},
        {Qt::Key_Enter, Qt::KeypadModifier, 0, "\r", "NUMENTER"},
        {Qt::Key_Return, Qt::NoModifier, 0, "\r", "ENTER"},
        {Qt::Key_F13, Qt::NoModifier, 0, "", "F13"},
        {Qt::Key_VolumeUp, Qt::NoModifier, 0x1008FF13, "", "VOLUP"},
        {Qt::Key_A, Qt::NoModifier, 'a', "a", "a"},
        {Qt::Key_Semicolon, Qt::NoModifier, ';', ";", ";"},
        {Qt::Key_unknown, Qt::NoModifier, 0, "", ""},
    };
    for (const auto& c : cases) {
      const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, 0, c.keysym, 0, c.text);
      QCOMPARE(TFormCaptureKey::KeyNameOf(event), c.name);
    }
    // Through the picker: the capture box takes the next key pressed.
    QTimer::singleShot(0, Picker, [this] {
      QTimer::singleShot(0, Picker->FormCaptureKey,
                         [this] { QTest::keyClick(Picker->FormCaptureKey, Qt::Key_PageUp); });
      Picker->MenuMoreKeys->actions().at(0)->trigger();
    });
    Picker->exec();
    QCOMPARE(Picker->KeyName, QString("PGUP"));
  }

  void AssistiveTechnologyHearsAndTogglesThePicker() {
    const auto name = [](QWidget* widget) {
      return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(name(Picker->BitBtnUpArrow), QString("Up arrow key"));
    QCOMPARE(name(Picker->BitBtnLeftArrow), QString("Left arrow key"));
    QCOMPARE(name(Picker->BitBtnDownArrow), QString("Down arrow key"));
    QCOMPARE(name(Picker->BitBtnRightArrow), QString("Right arrow key"));
    // Caps ticked through the accessibility "toggle" action (no click) shifts the digit row too.
    auto* k = Picker->Keyboard1;
    QCOMPARE(Pick([this, k] {
               QAccessible::queryAccessibleInterface(Picker->CheckBoxCaps)
                   ->actionInterface()
                   ->doAction(QAccessibleActionInterface::toggleAction());
               return k->Key(2, 2);
             }),
             QString("!"));
    QVERIFY(Picker->CheckBoxCaps->isChecked());
  }

  void CapsGivesCapitalsAndShiftedSymbolsAcrossShowings() {
    auto* k = Picker->Keyboard1;
    QCOMPARE(Pick([this, k] {
               Picker->CheckBoxCaps->click();
               return k->Key(4, 1);
             }),
             QString("A"));
    // The keyboard released its shift after that key; the next showing shows capitals again.
    QString shown;
    bool shifted = false;
    QCOMPARE(Pick([k, &shown, &shifted] {
               shown = k->Key(2, 2)->text();
               shifted = k->ShiftActive();
               return k->Key(2, 2);
             }),
             QString("!"));
    QCOMPARE(shown, QString("!"));
    QVERIFY(shifted);
    QCOMPARE(Pick([k] { return k->Key(3, 10); }), QString("P"));
  }
};

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  KeyboardTest keyboard;
  KeyPickerTest picker;
  return QTest::qExec(&keyboard, argc, argv) | QTest::qExec(&picker, argc, argv);
}

#include "test_keyboard.moc"
