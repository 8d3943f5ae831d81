// The block, mouse move and coordinate dialogs, offscreen, alone and through the main window.

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "common/WindowHarness.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/getxy.h"
#include "dialogs/mousemove.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "window/FormMain.h"

using namespace kestrova;
using namespace kestrova::testing;

namespace {

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

}  // namespace

class DialogsTest : public TWindowTest {
  Q_OBJECT

 private:
  // Clicks Block Command and, inside the dialog, runs `inside` (which accepts or rejects it).
  void WithBlockDialog(const std::function<void()>& inside) {
    QTimer::singleShot(0, Block, [this, inside] {
      inside();
      if (Block->isVisible()) Block->reject();
    });
    QTest::mouseClick(Form->ButtonBlockCommand, Qt::LeftButton);
  }
  void WithMouseMoveDialog(const std::function<void()>& inside) {
    QTimer::singleShot(0, MouseMove, [this, inside] {
      inside();
      if (MouseMove->isVisible()) MouseMove->reject();
    });
    QTest::mouseClick(Form->ButtonMouseMove, Qt::LeftButton);
  }
  QStringList ListBox() {
    QStringList lines;
    for (int i = 0; i < Form->ListBoxCommand->count(); ++i)
      lines << Form->ListBoxCommand->item(i)->text();
    return lines;
  }

 private slots:
  void init() { StartWindow(); }
  void cleanup() { StopWindow(); }

  void BlockOnAnEmptyProfile() {
    WithBlockDialog([this] {
      QCOMPARE(Block->windowTitle(), QString("Block Command"));
      QCOMPARE(Items(Block->ComboBoxIds), QStringList{"001"});
      QVERIFY(!Block->ComboBoxIds->isEnabled());
      QCOMPARE(Block->EditRepeatCount->text(), QString("1"));
      QVERIFY(Block->RadioButtonRepeat->isChecked());
      QVERIFY(!Block->RadioButtonEndBlock->isEnabled());
      QVERIFY(!Block->RadioButtonTerminateBlock->isEnabled());
      Block->ButtonOkClick();
    });
    QCOMPARE(ListBox(), QStringList{"BEGBLOCK 001 RPT 1"});
    WithBlockDialog([this] {
      Block->EditRepeatCount->setText("0");
      Block->ButtonOkClick();
    });
    QCOMPARE(ListBox().last(), QString("BEGBLOCK 002 RPT 0"));
  }

  void BlockModesFollowTheSelectedSlot() {
    QTest::mouseClick(Form->ButtonJoy[5], Qt::LeftButton);
    Form->Document().SetSlot(0, {"BEGBLOCK 001 RPT 3"});  // slot 0 as a loaded profile left it
    WithBlockDialog([this] {
      QCOMPARE(Items(Block->ComboBoxIds), QStringList{"002"});
      QVERIFY(!Block->RadioButtonEndBlock->isEnabled());
      QVERIFY(Block->RadioButtonTerminateBlock->isEnabled());
      Block->RadioButtonTerminateBlock->click();
      QVERIFY(Block->ComboBoxIds->isEnabled());
      QVERIFY(!Block->EditRepeatCount->isEnabled());
      QCOMPARE(Items(Block->ComboBoxIds), QStringList{"001"});
      Block->ButtonOkClick();
    });
    QCOMPARE(Lines(Harness->Mapper.Slot(5)), QStringList{"TRMBLOCK 001"});

    QTest::mouseClick(Form->ButtonJoy[0], Qt::LeftButton);
    for (int round = 0; round < 2; ++round) {  // also after its ENDBLOCK is there
      WithBlockDialog([this] {
        QVERIFY(Block->RadioButtonEndBlock->isEnabled());
        Block->RadioButtonEndBlock->click();
        QCOMPARE(Items(Block->ComboBoxIds), QStringList{"001"});
        QVERIFY(!Block->ComboBoxIds->isEnabled());
        Block->ButtonOkClick();
      });
    }
    QCOMPARE(Lines(Harness->Mapper.Slot(0)),
             (QStringList{"BEGBLOCK 001 RPT 3", "ENDBLOCK 001", "ENDBLOCK 001"}));
  }

  // End Block closes the innermost open block: two and three deep, one after another.
  void EndBlockClosesTheInnermostOpenBlock() {
    Form->SetCommandIndex(0);
    for (const char* line :
         {"BEGBLOCK 001 RPT 2", "BEGBLOCK 002 RPT 2", "KEY DOWN a", "BEGBLOCK 003 RPT 0"}) {
      Form->Document().Append(0, line);
    }
    QStringList offered;
    for (int i = 0; i < 3; ++i) {
      WithBlockDialog([this, &offered] {
        Block->RadioButtonEndBlock->click();
        offered << Block->ComboBoxIds->currentText();
        Block->ButtonOkClick();
      });
    }
    QCOMPARE(offered, (QStringList{"003", "002", "001"}));
    QCOMPARE(ListBox().mid(4), (QStringList{"ENDBLOCK 003", "ENDBLOCK 002", "ENDBLOCK 001"}));
  }

  void ChoicesMadeThroughAssistiveTechnologyRunTheirHandlers() {
    Form->Document().SetSlot(4, {"BEGBLOCK 002 RPT 3"});
    Form->SetCommandIndex(0);
    Form->Document().Append(0, "BEGBLOCK 005 RPT 1");
    QString offered;
    WithBlockDialog([this, &offered] {
      // The "toggle" action sets the radio button without a click.
      QAccessible::queryAccessibleInterface(Block->RadioButtonEndBlock)
          ->actionInterface()
          ->doAction(QAccessibleActionInterface::toggleAction());
      offered = Block->ComboBoxIds->currentText();
      Block->ButtonOkClick();
    });
    QVERIFY(Block->RadioButtonEndBlock->isChecked());
    QCOMPARE(offered, QString("005"));  // the open block, not the next new id
    QCOMPARE(ListBox().last(), QString("ENDBLOCK 005"));
  }

  void BlockIdsSortAsText() {
    Form->Document().SetSlot(10, {"BEGBLOCK 001 RPT 1"});
    Form->Document().SetSlot(20, {"BEGBLOCK 007 RPT 1"});
    Form->Document().SetSlot(30, {"BEGBLOCK 003 RPT 1"});
    WithBlockDialog([this] {
      QCOMPARE(Items(Block->ComboBoxIds), QStringList{"008"});
      Block->RadioButtonTerminateBlock->click();
      QCOMPARE(Items(Block->ComboBoxIds), (QStringList{"001", "003", "007"}));
    });
    Form->Document().SetSlot(40, {"BEGBLOCK 999 RPT 1", "BEGBLOCK 101 RPT 1"});
    Form->Document().SetSlot(41, {"BEGBLOCK 1000 RPT 1"});
    WithBlockDialog([this] {
      QCOMPARE(Items(Block->ComboBoxIds), QStringList{"1001"});
      Block->RadioButtonTerminateBlock->click();
      QCOMPARE(Items(Block->ComboBoxIds), (QStringList{"001", "003", "007", "1000", "101", "999"}));
    });
  }

  void BadCountsAreRefused() {
    WithBlockDialog([this] {
      for (const char* bad : {"-2", "abc", "", "99999999999"}) {
        Block->EditRepeatCount->setText(bad);
        Block->ButtonOkClick();
        QVERIFY(Block->isVisible());
        QCOMPARE(Block->EditRepeatCount->text(), QString("1"));
      }
      Block->EditRepeatCount->setText(" 5 ");  // blanks are trimmed
      Block->ButtonOkClick();
    });
    QCOMPARE(Shell->Messages,
             QStringList(4, "Kestrova: You must enter a non-negative repeat count"));
    QCOMPARE(ListBox(), QStringList{"BEGBLOCK 001 RPT 5"});
    QVERIFY(!Form->Saved());
  }

  void CancelAppendsNothingButMarksUnsaved() {
    WithBlockDialog([this] { Block->ButtonCancelClick(); });
    WithMouseMoveDialog([this] { MouseMove->ButtonCancel->click(); });
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    QVERIFY(!Form->Saved());
  }

  void MouseMoveLines() {
    WithMouseMoveDialog([this] {
      QCOMPARE(MouseMove->windowTitle(), QString("Mouse Move"));
      QVERIFY(MouseMove->RadioButtonAbs->isChecked());
      QVERIFY(MouseMove->CheckBoxScreenBounds->isChecked());
      QCOMPARE(MouseMove->ComboBoxX->currentText(), QString("none"));
      QCOMPARE(Items(MouseMove->ComboBoxY),
               (QStringList{"none", "X Axis", "Y Axis", "Z Axis", "R Axis", "U Axis", "V Axis"}));
      MouseMove->EditX->setText("10");
      MouseMove->EditY->setText("-5");
      MouseMove->ButtonOkClick();
    });
    WithMouseMoveDialog([this] {
      QVERIFY(MouseMove->EditX->text().isEmpty());  // every showing starts afresh
      MouseMove->RadioButtonRel->setChecked(true);
      MouseMove->CheckBoxScreenBounds->setChecked(false);
      MouseMove->ComboBoxX->setCurrentText("X Axis");
      MouseMove->ComboBoxY->setCurrentText("R Axis");
      MouseMove->EditX->setText("2.5");
      MouseMove->EditY->setText("0");
      MouseMove->ButtonOkClick();
    });
    WithMouseMoveDialog([this] {
      MouseMove->EditX->setText("1e2");
      MouseMove->EditY->setText("+3");
      MouseMove->ButtonOkClick();
    });
    QCOMPARE(ListBox(), (QStringList{"MOUSE MOVE A B 10 -5 N N", "MOUSE MOVE R N 2.5 0 X R",
                                     "MOUSE MOVE A B 1e2 +3 N N"}));
    QCOMPARE(ToCode("Z Axis"), QString("Z"));
    QCOMPARE(ToCode("none"), QString("N"));
  }

  void BadStepsEmptyBothFields() {
    WithMouseMoveDialog([this] {
      MouseMove->RadioButtonRel->setChecked(true);
      MouseMove->EditX->setText("10");
      MouseMove->ButtonOkClick();  // Y empty
      QVERIFY(MouseMove->isVisible());
      QVERIFY(MouseMove->EditX->text().isEmpty() && MouseMove->EditY->text().isEmpty());
      QVERIFY(MouseMove->RadioButtonRel->isChecked());  // the rest stays as the user left it
      for (const char* bad : {"1,000", "abc", "inf", "1.2.3"}) {
        MouseMove->EditX->setText(bad);
        MouseMove->EditY->setText("1");
        MouseMove->ButtonOkClick();
        QVERIFY(MouseMove->isVisible());
      }
    });
    QCOMPARE(Shell->Messages, QStringList(5, "Kestrova: You must enter valid floats!"));
    QCOMPARE(Form->ListBoxCommand->count(), 0);
  }

  void CommaLocale() {
    MouseMove->NumberLocale = QLocale(QLocale::German, QLocale::Germany);
    WithMouseMoveDialog([this] {
      MouseMove->EditX->setText("2.5");
      MouseMove->EditY->setText("0");
      MouseMove->ButtonOkClick();
      QVERIFY(MouseMove->isVisible());
      MouseMove->EditX->setText("2,5");
      MouseMove->EditY->setText("0");
      MouseMove->ButtonOkClick();
    });
    QCOMPARE(ListBox(), QStringList{"MOUSE MOVE A B 2,5 0 N N"});
    QVERIFY(!IsLocaleFloat("1.000,5", MouseMove->NumberLocale));  // group separators refused
  }

  void GetXYWantsIntegers() {
    TFormGetXY getXY;
    QCOMPARE(getXY.windowTitle(), QString("Gewt X,Y"));
    QTimer::singleShot(0, &getXY, [&getXY] {
      // A bad X and a bad Y are refused alike.
      for (const auto& [x, y] : {std::pair{"1.5", "2"}, std::pair{"2", "1.5"}, std::pair{"", "2"},
                                 std::pair{"2", "y"}}) {
        getXY.EditX->setText(x);
        getXY.EditY->setText(y);
        getXY.ButtonOkClick();
        QVERIFY(getXY.isVisible());
        QVERIFY(getXY.EditX->text().isEmpty() && getXY.EditY->text().isEmpty());
      }
      getXY.EditX->setText("-3");
      getXY.EditY->setText("40");
      getXY.ButtonOkClick();
    });
    QCOMPARE(getXY.exec(), int(QDialog::Accepted));
    QCOMPARE(getXY.XValue, QString("-3"));
    QCOMPARE(getXY.YValue, QString("40"));
    QCOMPARE(Shell->Messages, QStringList(4, "Kestrova: You must enter valid integers!"));
  }

  void ComposedLinesRunWhenTheEventComes() {
    QTest::mouseClick(Form->ButtonJoy[26], Qt::LeftButton);  // Button 1 Press
    WithBlockDialog([this] { Block->ButtonOkClick(); });     // BEGBLOCK 001 RPT 1
    WithMouseMoveDialog([this] {
      MouseMove->RadioButtonAbs->setChecked(true);
      MouseMove->EditX->setText("512");
      MouseMove->EditY->setText("384");
      MouseMove->ButtonOkClick();
    });
    WithBlockDialog([this] {
      Block->RadioButtonEndBlock->click();
      Block->ButtonOkClick();
    });
    QCOMPARE(Lines(Harness->Mapper.Slot(26)),
             (QStringList{"BEGBLOCK 001 RPT 1", "MOUSE MOVE A B 512 384 N N", "ENDBLOCK 001"}));
    Joysticks->SetButtons(0, 1);
    QTRY_COMPARE(Injector->Calls(), std::vector<std::string>{"mouse 0x8001 32768 32768"});
  }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
