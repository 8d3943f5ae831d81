// The main window, offscreen, with the desktop's questions answered by a scripted shell.

#include <sys/mount.h>
#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <thread>

#include "about/about.h"
#include "common/WindowHarness.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/mousemove.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "window/ControllerView.h"
#include "window/Documents.h"
#include "window/FormMain.h"
#include "window/MoreControls.h"
#include "window/MotionDialog.h"
#include "window/PressSettingsDialog.h"

using namespace kestrova;
using namespace kestrova::testing;

namespace {

const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);
const QString Confirm =
    "Confirm Action: You have not saved you current work, are you sure you want to continue?";

QColor ColorOf(QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}

QStringList ListBox(TCommandList* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

std::string TestRead(const QString& path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

class FormMainTest : public TWindowTest {
  Q_OBJECT

 private slots:
  void init() { StartWindow(); }
  void cleanup() { StopWindow(); }

  void TheMainWindowAppendsPickedKeys() {
    TFormMain& form = *Form;
    TFormKeyboard* Picker = Keyboard;
    const auto press = [&](QPushButton* button, const std::function<QAbstractButton*()>& click) {
      QTimer::singleShot(0, Picker, [Picker, click] {
        QAbstractButton* key = click();
        if (key) QTest::mouseClick(key, Qt::LeftButton);
        if (Picker->isVisible()) Picker->reject();
      });
      QTest::mouseClick(button, Qt::LeftButton);
    };
    auto* k = Picker->Keyboard1;
    press(form.ButtonKeyDown, [k] { return k->Key(4, 1); });
    press(form.ButtonKeyUp, [k] { return k->Key(4, 1); });
    press(form.ButtonKeyDown, [k] { return k->CapsKey(); });
    press(form.ButtonKeyUp, [] { return nullptr; });
    press(form.ButtonKeyDown, [k] { return k->Key(1, 6); });
    QStringList lines;
    for (int i = 0; i < form.ListBoxCommand->count(); ++i)
      lines << form.ListBoxCommand->item(i)->text();
    QCOMPARE(lines, (QStringList{"KEY DOWN a", "KEY UP a", "KEY DOWN F5"}));
    QVERIFY(!form.Saved());
  }

  // The mouse lines beyond the editor's own buttons, from the "More mouse..." menu in free space;
  // the wheels ask how many notches (cancelled or 0: nothing is added).
  void MoreMouseLinesComeFromTheirMenu() {
    QCOMPARE(Form->ButtonMoreMouse->geometry(), QRect(214, 339, 140, 18));
    Shell->Integers = {3, -2};
    QStringList offered;
    for (QAction* action : Form->MenuMoreMouse->actions()) {
      offered << action->text();
      action->trigger();
    }
    QCOMPARE(offered, (QStringList{"MIDDLE MOUSE DOWN", "MIDDLE MOUSE UP", "BACK MOUSE DOWN",
                                   "BACK MOUSE UP", "FORWARD MOUSE DOWN", "FORWARD MOUSE UP",
                                   "MOUSE WHEEL n...", "MOUSE HWHEEL n...", "", "Stick as mouse...",
                                   "Stick as mouse (as command blocks)..."}));
    Form->MenuMoreMouse->actions()[7]->trigger();  // cancelled: nothing
    QStringList lines;
    for (int i = 0; i < Form->ListBoxCommand->count(); ++i)
      lines << Form->ListBoxCommand->item(i)->text();
    QCOMPARE(lines, (QStringList{"MIDDLE MOUSE DOWN", "MIDDLE MOUSE UP", "BACK MOUSE DOWN",
                                 "BACK MOUSE UP", "FORWARD MOUSE DOWN", "FORWARD MOUSE UP",
                                 "MOUSE WHEEL 3", "MOUSE HWHEEL -2"}));
    QVERIFY(!Form->Saved());
  }

  // At scale 1 on a screen with room, the window is exactly its fixed size; where the screen is
  // too small (window_at_scale_2 runs this on 1280x800 at scale 2) it fits the screen and every
  // control can be scrolled into view, the bottom row and the tolerances included.
  void TheWindowFitsItsScreen() {
    const QRect area = Form->screen()->availableGeometry();
    const QRect stickLeft = Form->ButtonJoy[0]->geometry();
    // The run at scale 2 must see its small screen, or it proves nothing.
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") QCOMPARE(area.size(), QSize(640, 400));
    if (area.width() >= 679 && area.height() >= 544) {
      QCOMPARE(Form->size(), QSize(679, 544));
      QVERIFY(!Form->ScrollBarVertical->isVisible());
      QVERIFY(!Form->ScrollBarHorizontal->isVisible());
      return;
    }
    QVERIFY(Form->width() <= area.width() && Form->height() <= area.height());
    QVERIFY(area.contains(Form->geometry().topLeft()));
    QVERIFY(Form->ScrollBarVertical->isVisible());
    const QRect seen = Form->rect().adjusted(
        0, 0, -Form->ScrollBarVertical->width(),
        Form->ScrollBarHorizontal->isVisible() ? -Form->ScrollBarHorizontal->height() : 0);
    QVERIFY(!seen.contains(Form->ButtonExit->geometry()));
    Form->ScrollBarVertical->setValue(Form->ScrollBarVertical->maximum());
    Form->ScrollBarHorizontal->setValue(Form->ScrollBarHorizontal->maximum());
    for (QWidget* control : std::initializer_list<QWidget*>{
             Form->ButtonExit, Form->ButtonSaveProfile, Form->ButtonLoadProfile,
             Form->ButtonMoreControls, Form->UpDownRTol}) {
      QVERIFY2(seen.contains(control->geometry()), qPrintable(control->objectName()));
    }
    QVERIFY(Form->ScrollBarVertical->geometry().right() == Form->width() - 1);
    Form->ScrollBarVertical->setValue(0);
    Form->ScrollBarHorizontal->setValue(0);
    QCOMPARE(Form->ButtonJoy[0]->geometry(), stickLeft);
    QCOMPARE(stickLeft, QRect(74, 8, 44, 17));

    // The further controls beside them scroll into view as well, their far corner included.
    Click(Form->ButtonMoreControls);
    QVERIFY(Form->width() <= area.width() && Form->height() <= area.height());
    Form->ScrollBarVertical->setValue(Form->ScrollBarVertical->maximum());
    Form->ScrollBarHorizontal->setValue(Form->ScrollBarHorizontal->maximum());
    const QRect panel = Form->MoreControls->geometry();
    QVERIFY2(seen.contains(panel.bottomRight() - QPoint(8, 8)),
             qPrintable(QString("%1,%2").arg(panel.right()).arg(panel.bottom())));
    Click(Form->MoreControls->ButtonClose);
    QCOMPARE(Form->ButtonJoy[0]->geometry(), stickLeft);
  }

  // Lines dragged and dropped, and the append buttons' lines put after the selected line from
  // the context menu; the modified marker follows every change.
  // The list's menu greys what cannot act: on an empty list the line items, at either end of
  // the list the move past it, undo and redo with nothing to take back, paste with nothing in
  // the clipboard; closed, every item (and its key) works again.
  void TheListsMenuGreysWhatCannotAct() {
    QMenu* menu = Form->MenuCommandList;
    TCommandList* list = Form->ListBoxCommand;
    const auto enabledAt = [&](int row) {
      list->setCurrentIndex(row < 0 ? QModelIndex() : list->model()->index(row, 0));
      emit menu->aboutToShow();
      QStringList on;
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->menu() == nullptr && action->isEnabled()) {
          on << action->text();
        }
      }
      emit menu->aboutToHide();
      return on;
    };
    const QStringList lineItems = {"Edit...", "Delete", "Move up", "Move down", "Cut", "Copy"};
    QGuiApplication::clipboard()->clear();
    QCOMPARE(enabledAt(-1), QStringList{"Profile as text..."});
    Click(Form->ButtonDelay);
    Click(Form->ButtonDelay);
    Click(Form->ButtonDelay);
    QGuiApplication::clipboard()->setText("DELAY 4");
    const auto without = [&](const QStringList& off, bool redo = false) {
      QStringList on =
          lineItems + QStringList{"Paste after the selected line", "Profile as text...", "Undo"};
      if (redo) on << "Redo";
      for (const QString& text : off) on.removeAll(text);
      return on;
    };
    QCOMPARE(enabledAt(0), without({"Move up"}));
    QCOMPARE(enabledAt(1), without({}));
    QCOMPARE(enabledAt(2), without({"Move down"}));
    Form->Undo();
    QCOMPARE(enabledAt(1), without({"Move down"}, true));
    // Closed, the items act again: the list's keys are theirs.
    const QList<QAction*> actions = menu->actions();
    QVERIFY(std::all_of(actions.begin(), actions.end(),
                        [](QAction* action) { return action->isEnabled(); }));
  }

  void DropsInsertsAndTheModifiedMarker() {
    QVERIFY(!Form->isWindowModified());
    QVERIFY(Form->windowTitle().endsWith("[*]"));  // where the desktop puts its marker
    TCommandList* list = Form->ListBoxCommand;
    Form->SetCommandIndex(8);
    Form->Document().SetSlot(
        8, {"DELAY 1", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 3"});
    const auto drop = [&](int row, int over, bool lowerHalf) {
      list->setCurrentIndex(list->model()->index(row, 0));
      const QRect target = list->visualRect(list->model()->index(over, 0));
      list->DropCurrentAt(
          QPoint(target.center().x(), lowerHalf ? target.bottom() - 1 : target.top() + 1));
    };
    drop(2, 3, false);  // into its own block: nowhere to go, and no step of the history
    QCOMPARE(ListBox(list),
             (QStringList{"DELAY 1", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 3"}));
    Form->Undo();  // what the test put there
    QVERIFY(!Form->Document().CanUndo());
    Form->Redo();
    drop(1, 4, true);  // the begin line takes its block along, after the line it is dropped on
    QCOMPARE(ListBox(list),
             (QStringList{"DELAY 1", "DELAY 3", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}));
    QVERIFY(Form->isWindowModified());
    drop(1, 0, false);  // up, before the line it was dropped on
    QCOMPARE(ListBox(list),
             (QStringList{"DELAY 3", "DELAY 1", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}));
    drop(0, 1, true);  // down, after the line it was dropped on
    QCOMPARE(ListBox(list),
             (QStringList{"DELAY 1", "DELAY 3", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}));
    Form->Undo();
    QCOMPARE(ListBox(list).first(), QString("DELAY 3"));

    list->setCurrentIndex(list->model()->index(2, 0));
    QMenu* insert = Form->MenuCommandList->findChild<QMenu*>("MenuInsertAfter");
    QVERIFY(insert != nullptr);
    for (QAction* action : insert->actions()) {
      if (action->text() == "Left Mouse Up" || action->text() == "Delay") action->trigger();
    }
    QCOMPARE(ListBox(list), (QStringList{"DELAY 3", "DELAY 1", "BEGBLOCK 001 RPT 2",
                                         "LEFT MOUSE UP", "DELAY 1", "DELAY 2", "ENDBLOCK 001"}));
    Click(Form->ButtonDelay);  // the button itself still appends
    QCOMPARE(ListBox(list).last(), QString("DELAY 1"));
    Shell->Files = {Path("marked.kpf")};
    Click(Form->ButtonSaveProfile);
    QVERIFY(!Form->isWindowModified());
    QCOMPARE(Form->Caption(), "Kestrova - " + Path("marked.kpf"));
    // Undone back to what was saved, the profile is saved again and the marker goes; a dialog
    // cancelled marks it unsaved (closing asks) but leaves nothing for the marker to show.
    Click(Form->ButtonDelay);
    QVERIFY(Form->isWindowModified());
    Form->Undo();
    QVERIFY(!Form->isWindowModified());
    QVERIFY(Form->Saved());
    QTimer::singleShot(0, Keyboard, [this] { Keyboard->reject(); });
    Click(Form->ButtonKeyDown);
    QVERIFY(!Form->Saved());
    QVERIFY(!Form->isWindowModified());
    Form->Undo();  // the history goes on past the save: the Delay before it
    QVERIFY(Form->isWindowModified());
    QCOMPARE(ListBox(list).last(), QString("ENDBLOCK 001"));
    QCOMPARE(ListBox(list).size(), 7);
  }

  // One step writes a stick's four directions, as the help's recipe has them, and one undo takes
  // them back; lists with lines are replaced only when the user agrees.
  void StickAsMouseInOneStep() {
    QAction* action = Form->MenuMoreMouse->actions().last();
    QCOMPARE(action->text(), QString("Stick as mouse (as command blocks)..."));
    Shell->Choices = {1};  // the right stick
    Shell->Integers = {20};
    action->trigger();
    QCOMPARE(Lines(Harness->Mapper.Slot(66)),
             (QStringList{"BEGBLOCK 001 RPT 0", "MOUSE MOVE R N 0.04 0 U N", "DELAY 10",
                          "ENDBLOCK 001"}));
    QCOMPARE(Lines(Harness->Mapper.Slot(11)), QStringList{"TRMBLOCK 004"});
    QVERIFY(Shell->Messages.last().contains("Rot. Left Press:\n    BEGBLOCK 003 RPT 0\n"));
    QCOMPARE(Form->ButtonJoy[8]->FontColor(), Yellow);
    Form->Undo();
    for (int slot : {66, 67, 68, 69, 8, 9, 10, 11}) QVERIFY(Harness->Mapper.SlotEmpty(slot));

    // Over lists with lines: asked, and No writes nothing.
    Form->SetCommandIndex(0);
    Click(Form->ButtonDelay);
    Shell->Choices = {0};
    Shell->Integers = {10};
    Shell->Answers = {false};
    action->trigger();
    QVERIFY(Shell->Questions.last().contains("Stick Left Press"));
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), QStringList{"DELAY 1"});
    QVERIFY(Harness->Mapper.SlotEmpty(2));
    // Block ids go on from those the profile has.
    Click(Form->ButtonDelete);
    Form->SetCommandIndex(40);
    Form->Document().SetSlot(40, {"BEGBLOCK 007 RPT 2", "ENDBLOCK 007"});
    Shell->Choices = {2};
    Shell->Integers = {10};
    action->trigger();
    QCOMPARE(Lines(Harness->Mapper.Slot(12)).first(), QString("BEGBLOCK 008 RPT 0"));
    QCOMPARE(Lines(Harness->Mapper.Slot(12))[1], QString("MOUSE MOVE R N 0.02 0 Z N"));
    QCOMPARE(Lines(Harness->Mapper.Slot(40)), (QStringList{"BEGBLOCK 007 RPT 2", "ENDBLOCK 007"}));
  }

  // Lines are deleted, edited in place (validated as --check judges them), moved (a block
  // whole), and every change, Clear and the append buttons included, undone
  // and redone across event switches with the list's keys. Loading starts a new history.
  void LinesAreEditedMovedAndUndone() {
    QListView* list = Form->ListBoxCommand;
    Form->activateWindow();  // the list's keys are shortcuts of the active window
    QVERIFY(QTest::qWaitForWindowActive(Form));
    const auto select = [&](int row) {
      list->setCurrentIndex(list->model()->index(row, 0));
      list->setFocus();
    };
    Form->SetCommandIndex(0);
    for (QPushButton* button : {Form->ButtonDelay, Form->ButtonLeftMouseDown, Form->ButtonDelay}) {
      Click(button);
    }
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 1", "LEFT MOUSE DOWN", "DELAY 1"}));
    select(0);
    Shell->Texts = {"DELAY 10", "DELAY soon"};
    QTest::keyClick(list, Qt::Key_F2);  // one edit for a 10 ms delay
    QCOMPARE(ListBox(Form->ListBoxCommand).first(), QString("DELAY 10"));
    QTest::keyClick(list, Qt::Key_F2);  // refused, with the reason
    QCOMPARE(ListBox(Form->ListBoxCommand).first(), QString("DELAY 10"));
    QVERIFY(Shell->Messages.last().contains("Not changed: DELAY value 'soon' is not a number"));
    select(1);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 10", "DELAY 1"}));
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), (QStringList{"DELAY 10", "DELAY 1"}));
    select(0);
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 1", "DELAY 10"}));
    // Another event's list, cleared: undo brings it back; further undos reach slot 0 again.
    Form->SetCommandIndex(2);
    // A list with commands is marked yellow and bold (the second cue reads at any contrast).
    QCOMPARE(Form->ButtonJoy[0]->FontColor(), Yellow);
    QVERIFY(Form->ButtonJoy[0]->font().bold());
    QVERIFY(!Form->ButtonJoy[6]->font().bold());
    Click(Form->ButtonRightMouseDown);
    Click(Form->ButtonDelete);  // Clear
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{"RIGHT MOUSE DOWN"});
    for (int step = 0; step < 2; ++step) QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Form->CommandIndex(), 0);  // undoing the move shows slot 0 again
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 10", "DELAY 1"}));
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 1", "DELAY 10"}));
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), (QStringList{"DELAY 1", "DELAY 10"}));
    // A block's begin or end line moves the block whole, past the line beside it.
    Form->SetCommandIndex(4);
    Form->Document().SetSlot(4, {"BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 7"});
    select(0);
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand),
             (QStringList{"DELAY 7", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}));
    QCOMPARE(list->currentIndex().row(), 1);               // the begin line stays selected
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);  // at the end already: nothing
    select(3);
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand),
             (QStringList{"BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 7"}));
    select(1);  // a line inside the block moves alone
    QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand),
             (QStringList{"DELAY 2", "BEGBLOCK 001 RPT 2", "ENDBLOCK 001", "DELAY 7"}));
    // Cut in one event, pasted after the selected line of another, as one step each.
    Form->SetCommandIndex(0);
    select(0);
    QTest::keyClick(list, Qt::Key_X, Qt::ControlModifier);  // cuts DELAY 1
    Form->SetCommandIndex(6);
    Click(Form->ButtonLeftMouseUp);
    select(0);
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"LEFT MOUSE UP", "DELAY 1"}));
    QGuiApplication::clipboard()->setText("KEY DOWN a\nnot a line");
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);  // refused whole
    QCOMPARE(Form->ListBoxCommand->count(), 2);
    QVERIFY(Shell->Messages.last().contains("Not pasted: not a command line: 'not a line'"));
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{"LEFT MOUSE UP"});
    // Tolerances are steps of the same history.
    Form->UpDownYTol->ClickArrow(btNext);
    Form->UpDownYTol->ClickArrow(btNext);
    QCOMPARE(Harness->Mapper.YTol(), 302);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Harness->Mapper.YTol(), 301);
    QCOMPARE(Form->EditYTol->text(), QString("301"));
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Harness->Mapper.YTol(), 302);
    // The whole profile as text, each list under its event's name.
    for (QAction* action : Form->MenuCommandList->actions()) {
      if (action->text() == "Profile as text...") action->trigger();
    }
    auto* text = Form->findChild<QPlainTextEdit*>("ProfileText");
    QVERIFY(text != nullptr);
    QVERIFY(text->toPlainText().contains("Stick Left Press: (#Command Tag 0)\n    DELAY 10\n"));
    text->close();
    // A loaded profile starts a new history.
    const QString path = Path("fresh.kpf");
    WriteProfileFile(path.toStdString(), TSlotTable{}, {300, 300, 300, 300, 300, 300, 300});
    Form->LoadProfileFile(path);
    QVERIFY(!Form->Document().CanUndo());
  }

  // "Stick as mouse..." makes a stick move the pointer: the profile's motion, one undo step; the
  // Motion dialog shows and edits it all, with a live view, and only OK changes the profile.
  // The layer and press type selectors beside Motion..., the event buttons' menu and the press
  // settings: what the editor edits, its caption, the markers, and one step of history each.
  void LayersAndPressTypesFromTheSelectorsAndMenus() {
    QCOMPARE(Form->ComboLayer->currentText(), QString("Layer 0"));
    QCOMPARE(Form->ComboPressType->currentText(), QString("Plain"));
    QCOMPARE(Form->ComboLayer->geometry(), QRect(472, 442, 96, 21));
    QCOMPARE(Form->ComboPressType->geometry(), QRect(574, 442, 96, 21));
    const auto choose = [](QComboBox* combo, int index) {
      combo->setCurrentIndex(index);
      emit combo->activated(index);
    };
    choose(Form->ComboLayer, 2);
    choose(Form->ComboPressType, static_cast<int>(TPressType::Hold));
    Click(Form->ButtonJoy[26]);
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Button 1 Hold Press (layer 2)"));
    QVERIFY(Form->LabelCommand->toolTip().contains("waits to know a tap from a hold"));
    Click(Form->ButtonDelay);
    const int hold = ListId(2, TPressType::Hold, 26);
    QCOMPARE(Form->Document().Slot(hold), std::vector<std::string>{"DELAY 1"});
    QVERIFY(Form->Document().Slot(26).empty());
    QCOMPARE(Harness->Engine.Mapper().Slot(hold), std::vector<std::string>{"DELAY 1"});
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{"DELAY 1"});
    QVERIFY(Form->ButtonJoy[26]->font().bold());
    QVERIFY(Form->ComboLayer->itemData(2, Qt::FontRole).value<QFont>().bold());
    QVERIFY(!Form->ComboLayer->itemData(1, Qt::FontRole).value<QFont>().bold());
    // Another layer shows its own lists: Button 1's are empty in layer 0.
    choose(Form->ComboLayer, 0);
    QVERIFY(!Form->ButtonJoy[26]->font().bold());
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{});
    // An undo brings back the list it changes, selectors and all.
    choose(Form->ComboPressType, 0);
    Form->Undo();
    QCOMPARE(Form->ComboLayer->currentIndex(), 2);
    QCOMPARE(Form->ComboPressType->currentText(), QString("Hold"));
    QVERIFY(Form->Document().Slot(hold).empty());
    Form->Redo();

    // The menu of an event's button: a press type to show, and the press settings.
    choose(Form->ComboLayer, 0);
    choose(Form->ComboPressType, 0);
    QMenu* menu = nullptr;
    QStringList items;
    QTimer::singleShot(0, Form, [&] {
      menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* action : menu->actions()) items << action->text();
      menu->actions().at(static_cast<int>(TPressType::Turbo))->trigger();
      menu->close();
    });
    emit Form->ButtonJoy[28]->customContextMenuRequested(QPoint(2, 2));
    QCOMPARE(items.mid(0, 7), (QStringList{"Plain lists", "Hold lists", "Tap lists", "Double lists",
                                           "Chord lists", "Toggle lists", "Turbo lists"}));
    QCOMPARE(items.last(), QString("Press settings of Button 2..."));
    QCOMPARE(Form->ComboPressType->currentText(), QString("Turbo"));
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Button 2 Turbo Press"));

    // The press settings: Cancel changes nothing, OK is one step.
    TFormPressSettings& dialog = *Form->FormPressSettings;
    const auto buttons = [&dialog] { return dialog.findChild<QDialogButtonBox*>(); };
    QTimer::singleShot(0, &dialog, [&] {
      dialog.SpinHold->setValue(300);
      buttons()->button(QDialogButtonBox::Cancel)->click();
    });
    Form->PressSettingsClick();
    QCOMPARE(Form->Document().Extras().Press, TPressParams{});
    QString partners;
    QTimer::singleShot(0, &dialog, [&] {
      partners = dialog.ComboPartner->itemText(0) + "|" + dialog.ComboPartner->itemText(14) + "|" +
                 dialog.ComboPartner->itemText(15);
      dialog.SpinHold->setValue(300);
      dialog.SpinDouble->setValue(180);
      dialog.ComboPartner->setCurrentIndex(dialog.ComboPartner->findText("Button 3"));
      dialog.SpinTurbo->setValue(40);
      buttons()->button(QDialogButtonBox::Ok)->click();
    });
    Form->PressSettingsClick();
    QCOMPARE(partners, QString("(none)|Button 1|Button 3"));  // Button 2 is no partner of its own
    TPressParams expected;
    expected.HoldMs = 300;
    expected.DoubleMs = 180;
    expected.ChordPartners[LayerEvent(0, 14)] = 15;
    expected.TurboPeriods[LayerEvent(0, 14)] = 40;
    QCOMPARE(Form->Document().Extras().Press, expected);
    QCOMPARE(Harness->Engine.Mapper().ExtraLists().Press, expected);
    Form->Undo();
    QCOMPARE(Form->Document().Extras().Press, TPressParams{});
    // A load shows layer 0's plain lists again.
    Form->Redo();
    const QString path = Path("layers.kpf");
    Form->Document().Save(path.toStdString());
    choose(Form->ComboLayer, 5);
    Form->LoadProfileFile(path);
    QCOMPARE(Form->ComboLayer->currentIndex(), 0);
    QCOMPARE(Form->ComboPressType->currentIndex(), 0);
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Stick Left Press"));
    QCOMPARE(Form->Document().Extras().Press, expected);
  }

  void MotionFromTheMenuAndItsDialog() {
    QAction* stick = Form->MenuMoreMouse->actions().at(Form->MenuMoreMouse->actions().size() - 2);
    QCOMPARE(stick->text(), QString("Stick as mouse..."));
    Shell->Choices = {1};
    Shell->Integers = {1500};
    stick->trigger();
    const TMotionSettings& motion = Form->Document().Motion();
    QCOMPARE(motion[TMotionSource::RightStick].Mode, TMotionMode::Mouse);
    QCOMPARE(motion[TMotionSource::RightStick].Speed, 1500.0);
    QCOMPARE(motion[TMotionSource::LeftStick].Mode, TMotionMode::Off);
    QCOMPARE(Harness->Engine.Motion().Settings(), motion);  // it runs at once
    QVERIFY(Form->ButtonMotion->font().bold());
    QVERIFY(Form->isWindowModified());
    Form->Undo();
    QCOMPARE(Form->Document().Motion(), DefaultMotion);
    QVERIFY(!Form->ButtonMotion->font().bold());

    QCOMPARE(Form->ButtonMotion->geometry(), QRect(370, 442, 96, 21));
    TFormMotion& dialog = *Form->FormMotion;
    auto& left = dialog.Sources[0];
    const auto spin = [&](const char* name) { return dialog.findChild<QDoubleSpinBox*>(name); };
    // Cancelled: nothing changes.
    QTimer::singleShot(0, &dialog, [&] {
      left.Mode->setCurrentIndex(1);
      dialog.ButtonCancel->click();
    });
    Click(Form->ButtonMotion);
    QCOMPARE(Form->Document().Motion(), DefaultMotion);
    QVERIFY(!Form->Document().CanUndo());
    // OK: the left stick as a mouse, flick on the right, a period of 2 ms.
    Joysticks->SetAxis(0, jaX, 65535);
    bool mouseValuesShown = false;
    bool flickValuesHidden = false;
    QString result;
    QTimer::singleShot(0, &dialog, [&] {
      left.Mode->setCurrentIndex(1);
      mouseValuesShown = spin("Leftspeed")->isVisible() && !spin("LeftturnFlick")->isVisible();
      spin("Leftspeed")->setValue(600);
      spin("Leftcurve")->setValue(1);
      dialog.Sources[1].Mode->setCurrentIndex(2);
      spin("RightturnFlick")->setValue(7200);
      flickValuesHidden = !spin("Rightspeed")->isVisible();
      dialog.SpinPeriod->setValue(2);
      // The live view: the stick held right, at the speed the values shown give.
      const bool seen = QTest::qWaitFor(
          [&] {
            dialog.UpdateLive();
            return dialog.Sources[0].View->Stick().X > 0.99;
          },
          5000);
      result = seen ? left.Result->text() : "the stick was not seen";
      result = left.Result->text();
      dialog.ButtonOk->click();
    });
    Click(Form->ButtonMotion);
    QVERIFY(mouseValuesShown);
    QVERIFY(flickValuesHidden);
    QCOMPARE(result, QString("600 px/s"));
    TMotionSettings expected;
    expected[TMotionSource::LeftStick].Mode = TMotionMode::Mouse;
    expected[TMotionSource::LeftStick].Speed = 600;
    expected[TMotionSource::LeftStick].Curve = 1;
    expected[TMotionSource::RightStick].Mode = TMotionMode::Flick;
    expected[TMotionSource::RightStick].TurnCounts = 7200;
    expected.PeriodMs = 2;
    QCOMPARE(Form->Document().Motion(), expected);
    Form->Undo();
    QCOMPARE(Form->Document().Motion(), DefaultMotion);
    Form->Redo();
    Joysticks->SetAxis(0, jaX, 32767);
    // The calibration's turn: one whole turn of the counts shown, over the flick time.
    Injector->TakeCalls();
    QTimer::singleShot(0, &dialog, [&] {
      QVERIFY(dialog.Sources[1].TurnOnce->isVisible());
      dialog.Sources[1].TurnOnce->click();
      QTest::qWait(400);
      dialog.ButtonCancel->click();
    });
    Click(Form->ButtonMotion);
    int turned = 0;
    for (const std::string& call : Injector->TakeCalls()) {
      int dx = 0;
      int dy = 0;
      if (std::sscanf(call.c_str(), "mouse 0x0001 %d %d", &dx, &dy) == 2) turned += dx;
    }
    QCOMPARE(turned, 7200);
  }

  void AboutButtonShowsTheAboutBoxEachTime() {
    TFormAbout about;
    TFormMain& form = *Form;
    form.SetDialogs({&about, Keyboard, MouseMove, Block});
    for (int showing = 0; showing < 2; ++showing) {
      QStringList seen;
      QTimer::singleShot(0, &about, [&] {
        seen << about.LabelTitle->text() << about.LabelVersion->text()
             << about.LabelProducedBy1->text() << about.LabelProducedBy2->text();
        about.Button1->click();
      });
      QTest::mouseClick(form.ButtonAbout, Qt::LeftButton);
      QCOMPARE(seen, (QStringList{"Kestrova", "Version 1.3", AuthorLine, ""}));
    }
    QVERIFY(form.Saved());
  }

  void AssistiveTechnologyHearsWhichEventAButtonIsFor() {
    const auto name = [](QWidget* widget) {
      return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    // The captions' tooltips name the pad's control.
    QCOMPARE(Form->LabelJoy[13]->toolTip(), QString("Button 1: A (on a game pad)"));
    QCOMPARE(Form->LabelJoy[4]->toolTip(), QString("Rot. Left: right stick up (on a game pad)"));
    QCOMPARE(Form->LabelJoy[6]->toolTip(), QString("Z Left: right trigger (on a game pad)"));
    QCOMPARE(name(Form->ButtonJoy[0]), QString("Stick Left Press"));
    QCOMPARE(name(Form->ButtonJoy[1]), QString("Stick Left Release"));
    for (int slot = 0; slot <= MaxSlotIndex; ++slot) {
      const QString event = QString::fromLatin1(EventNames[slot / 2].data(),
                                                static_cast<int>(EventNames[slot / 2].size()));
      QCOMPARE(name(Form->ButtonJoy[slot]), event + (slot % 2 == 0 ? " Press" : " Release"));
    }
    QCOMPARE(name(Form->EditZTol), QString("Z tolerance"));
    QCOMPARE(name(Form->UpDownRTol->UpButton()), QString("Increase R tolerance"));
    QCOMPARE(name(Form->UpDownRTol->DownButton()), QString("Decrease R tolerance"));
  }

  void TheControllerViewShowsWhatThePollThreadReads() {
    TFormController view(Harness->Mapper);
    Form->SetDialogs({nullptr, Keyboard, MouseMove, Block, &view});
    QCOMPARE(Form->ButtonController->geometry(), QRect(180, 312, 174, 17));
    Click(Form->ButtonController);
    QVERIFY(view.isVisible());
    QVERIFY(!view.isModal());
    QVERIFY(QTest::qWaitFor([&] { return view.Updates() > 0; }, 5000));
    QCOMPARE(view.LabelController->text(),
             QString("Controller 1: Scripted Controller (plain joystick)"));
    QCOMPARE(view.ButtonLamps[8]->text(), QString("9 shift"));
    // Its own heading's row says what a joystick's triggers are, so none reads as the buttons'.
    QCOMPARE(view.TriggerText->text(), QString("none on this controller"));

    Joysticks->SetAxis(0, jaX, 0);
    Joysticks->SetAxis(0, jaR, 65535);
    Joysticks->SetButtons(0, (1u << 0) | (1u << 8));
    Joysticks->SetPov(0, 9000);
    QVERIFY(
        QTest::qWaitFor([&] { return view.AxisTexts[jaX]->text() == "raw 0 -> -500 Left"; }, 5000));
    QCOMPARE(view.AxisBars[jaX]->Direction(), -1);
    QCOMPARE(view.AxisTexts[jaR]->text(), QString("raw 65535 -> 500 Rot. Right"));
    QCOMPARE(view.AxisBars[jaR]->Direction(), 1);
    QCOMPARE(view.AxisBars[jaY]->Direction(), 0);
    QVERIFY(view.ButtonLamps[0]->property("lit").toBool());
    QVERIFY(view.ButtonLamps[8]->property("lit").toBool());
    QVERIFY(!view.ButtonLamps[1]->property("lit").toBool());
    QVERIFY(view.HatPositions[2]->property("lit").toBool());  // East
    QVERIFY(!view.HatPositions[8]->property("lit").toBool());
    QCOMPARE(view.SensorText->text(), QString("no gyro or touch"));
    TPadSample gyro;
    gyro.Kind = TPadSample::Gyro;
    gyro.Values[1] = -90;
    Joysticks->PushSample(0, gyro);
    TPadSample touch;
    touch.Kind = TPadSample::TouchDown;
    touch.Values[0] = 0.25f;
    touch.Values[1] = 0.5f;
    Joysticks->PushSample(0, touch);
    Joysticks->SetAxis(0, jaY, 0);  // something new to read
    QVERIFY(QTest::qWaitFor(
        [&] { return view.SensorText->text() == "gyro 0.0 -90.0 0.0 degrees/s;  touch 0.25 0.50"; },
        5000));
#ifdef KESTROVA_VIEW_SCREENSHOT
    view.grab().save(KESTROVA_VIEW_SCREENSHOT);  // for the README
#endif

    // The band follows the tolerance spinners at once.
    QCOMPARE(view.AxisBars[jaX]->Tolerance(), 300);
    Form->UpDownXTol->ClickArrow(btNext);
    QVERIFY(QTest::qWaitFor([&] { return view.AxisBars[jaX]->Tolerance() == 301; }, 1000));
    QCOMPARE(view.AxisBars[jaZ]->Tolerance(), 300);  // each axis its own

    // Closed, it is told nothing more.
    view.close();
    const int updates = view.Updates();
    Joysticks->SetAxis(0, jaX, 65535);
    QTest::qWait(100);
    QCOMPARE(view.Updates(), updates);
    QCOMPARE(view.AxisTexts[jaX]->text(), QString("raw 0 -> -500 Left"));
  }

  void StateAfterStart() {
    QCOMPARE(Form->Caption(), QString("Kestrova"));
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Stick Left Press"));
    QCOMPARE(Form->CommandIndex(), 0);
    QCOMPARE(ColorOf(Form->GetJoyLabel(0)), Blue);
    QCOMPARE(Form->ButtonJoy[0]->FontColor(), Blue);
    for (int slot = 1; slot <= MaxSlotIndex; ++slot)
      QCOMPARE(Form->ButtonJoy[slot]->FontColor(), Black);
    for (int event = 1; event < EventCount; ++event)
      QCOMPARE(ColorOf(Form->LabelJoy[event]), Black);
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    for (QLineEdit* edit : {Form->EditXTol, Form->EditYTol, Form->EditZTol, Form->EditRTol}) {
      QCOMPARE(edit->text(), QString("300"));
      QVERIFY(edit->isReadOnly());
    }
    QVERIFY(Form->Saved());
    // A slot's label is its event's: the Press slot's for both.
    QCOMPARE(Form->GetJoyLabel(36)->objectName(), QString("LabelJoy36"));
    QCOMPARE(Form->GetJoyLabel(37)->objectName(), QString("LabelJoy36"));
    QCOMPARE(Form->GetJoyLabel(37)->text(), QString("Button 6"));
    QCOMPARE(Form->GetJoyLabel(0)->objectName(), QString("LabelJoy0"));
    // The rows: 33 labels with the event names, 66 buttons.
    QCOMPARE(Form->findChild<QLabel*>("LabelJoy58")->text(), QString("POV SW"));
    QCOMPARE(Form->findChild<QPushButton*>("ButtonJoy65")->text(), QString("Release"));
    QCOMPARE(Form->findChild<QPushButton*>("ButtonJoy42")->text(), QString("Press"));
    QVERIFY(Form->close());
    QVERIFY(Shell->Questions.isEmpty());
  }

  void ReleaseOfTheSelectedEvent() {
    Click(Form->ButtonDelay);
    Click(Form->ButtonJoy[1]);
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Stick Left Release"));
    QCOMPARE(ColorOf(Form->GetJoyLabel(1)), Blue);
    QCOMPARE(Form->ButtonJoy[1]->FontColor(), Blue);
    QCOMPARE(Form->ButtonJoy[0]->FontColor(), Yellow);  // its slot holds a line
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    Click(Form->ButtonJoy[40]);  // Button 8 Press
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Button 8 Press"));
    QCOMPARE(ColorOf(Form->GetJoyLabel(0)), Black);
    QCOMPARE(ColorOf(Form->GetJoyLabel(40)), Blue);
    QCOMPARE(Form->ButtonJoy[1]->FontColor(), Black);
    Click(Form->ButtonJoy[0]);
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{"DELAY 1"});
    QVERIFY(!Form->Saved());  // from the Delay, not from selecting
  }

  void EditingButtonsMarkUnsaved() {
    Click(Form->ButtonDelete);  // Clear on an empty slot
    QVERIFY(!Form->Saved());
    for (int i = 0; i < 3; ++i) Click(Form->ButtonDelay);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"DELAY 1", "DELAY 1", "DELAY 1"}));
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), (QStringList{"DELAY 1", "DELAY 1", "DELAY 1"}));
    Click(Form->ButtonLeftMouseDown);
    Click(Form->ButtonRightMouseUp);
    QCOMPARE(Form->ListBoxCommand->item(4)->text(), QString("RIGHT MOUSE UP"));
    Click(Form->ButtonDelete);
    QVERIFY(Harness->Mapper.Slot(0).empty());
    // The key picker closed without a key, and a cancelled mouse move: nothing, but unsaved.
    QTimer::singleShot(0, MouseMove, [this] { MouseMove->reject(); });
    Click(Form->ButtonMouseMove);
    QTimer::singleShot(0, Keyboard, [this] { Keyboard->reject(); });  // the close box
    Click(Form->ButtonKeyDown);
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    QVERIFY(!Form->Saved());
  }

  void EveryMouseButtonAppendsItsOwnLine() {
    Click(Form->ButtonLeftMouseDown);
    Click(Form->ButtonLeftMouseUp);
    Click(Form->ButtonRightMouseDown);
    Click(Form->ButtonRightMouseUp);
    QCOMPARE(ListBox(Form->ListBoxCommand), (QStringList{"LEFT MOUSE DOWN", "LEFT MOUSE UP",
                                                         "RIGHT MOUSE DOWN", "RIGHT MOUSE UP"}));
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), ListBox(Form->ListBoxCommand));
    QVERIFY(!Form->Saved());
    // Each runs as its caption says when the event comes.
    Harness->Mapper.ExecuteCommands("Stick Left", "PRESS");
    QVERIFY(QTest::qWaitFor([this] { return Injector->Calls().size() >= 4; }, 5000));
    QCOMPARE(Lines(Injector->Calls()),
             (QStringList{"mouse 0x8002 100 100", "mouse 0x8004 100 100", "mouse 0x8008 100 100",
                          "mouse 0x8010 100 100"}));
  }

  void DialogLinesAreAppended() {
    QTimer::singleShot(0, MouseMove, [this] {
      MouseMove->EditX->setText("10");
      MouseMove->EditY->setText("-5");
      MouseMove->ButtonOkClick();
    });
    Click(Form->ButtonMouseMove);
    QTimer::singleShot(0, Block, [this] {
      Block->EditRepeatCount->setText("0");
      Block->ButtonOkClick();
    });
    Click(Form->ButtonBlockCommand);
    // Checked after the dialog has closed: a failed check inside it would leave it open.
    bool endBlockOffered = false;
    QTimer::singleShot(0, Block, [this, &endBlockOffered] {
      endBlockOffered = Block->RadioButtonEndBlock->isEnabled();
      Block->RadioButtonEndBlock->click();
      Block->ButtonOkClick();
      if (Block->isVisible()) Block->reject();
    });
    Click(Form->ButtonBlockCommand);
    QVERIFY(endBlockOffered);
    QCOMPARE(ListBox(Form->ListBoxCommand),
             (QStringList{"MOUSE MOVE A B 10 -5 N N", "BEGBLOCK 001 RPT 0", "ENDBLOCK 001"}));
    QCOMPARE(Harness->Mapper.Slot(0).size(), 3u);
  }

  void BadBlockIdIsReportedAndTheWindowGoesOn() {
    Form->Document().SetSlot(9, {"BEGBLOCK abc RPT 1"});
    Click(Form->ButtonBlockCommand);
    QCOMPARE(Shell->Messages, QStringList{"Kestrova: 'abc' is not a valid integer value"});
    QVERIFY(!Form->Saved());
    QCOMPARE(Form->ListBoxCommand->count(), 0);
    Click(Form->ButtonDelay);
    QCOMPARE(Form->ListBoxCommand->count(), 1);
  }

  void SpinnersStopAtTheirEnds() {
    Form->UpDownXTol->ClickArrow(btNext);
    QCOMPARE(Form->EditXTol->text(), QString("301"));
    QCOMPARE(Harness->Mapper.XTol(), 301);
    QVERIFY(!Form->Saved());
    Form->EditZTol->setText("999");
    Form->UpDownZTol->ClickArrow(btNext);
    Form->UpDownZTol->ClickArrow(btNext);
    QCOMPARE(Form->EditZTol->text(), QString("1000"));
    QCOMPARE(Harness->Mapper.ZTol(), 1000);
    Form->EditRTol->setText("1");
    QTest::mouseClick(Form->UpDownRTol->DownButton(), Qt::LeftButton);
    QTest::mouseClick(Form->UpDownRTol->DownButton(), Qt::LeftButton);
    QCOMPARE(Form->EditRTol->text(), QString("0"));
    QCOMPARE(Harness->Mapper.RTol(), 0);
    QTest::mouseClick(Form->UpDownYTol->UpButton(), Qt::LeftButton);
    QCOMPARE(Harness->Mapper.YTol(), 301);
    // Each tolerance, changed either way, marks the profile unsaved, and sets its own axis only.
    const QString saved = Path("saved.kpf");
    WriteProfileFile(saved.toStdString(), TSlotTable{}, {300, 300, 300, 300, 300, 300, 300});
    for (TUpDown* upDown :
         {Form->UpDownXTol, Form->UpDownYTol, Form->UpDownZTol, Form->UpDownRTol}) {
      for (const TUDBtnType button : {btNext, btPrev}) {
        Form->LoadProfileFile(saved);
        QVERIFY(Form->Saved());
        upDown->ClickArrow(button);
        QVERIFY2(!Form->Saved(), qPrintable(upDown->objectName()));
        const std::array<int, 4> tolerances = {Harness->Mapper.XTol(), Harness->Mapper.YTol(),
                                               Harness->Mapper.ZTol(), Harness->Mapper.RTol()};
        QCOMPARE(std::count(tolerances.begin(), tolerances.end(), 300), 3);
      }
    }
  }

  void UnsavedCloseAsksAndNoKeepsEverything() {
    Click(Form->ButtonDelay);
    Shell->Answers = {false};
    QVERIFY(!Form->close());
    QCOMPARE(Shell->Questions, QStringList{Confirm});
    QVERIFY(Form->isVisible());
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), QStringList{"DELAY 1"});
    Shell->Answers = {true};
    QVERIFY(Form->close());
  }

  void ExitDoesNotAsk() {
    Click(Form->ButtonDelay);
    Click(Form->ButtonExit);
    QVERIFY(Shell->Questions.isEmpty());
    QVERIFY(!Form->isVisible());
  }

  void StatusBoxStartsAfreshAfter51Lines() {
    for (int i = 1; i <= 51; ++i) Form->AddStatusLine(QString("line %1").arg(i));
    QCOMPARE(Form->MemoTest->document()->blockCount(), 51);
    Form->AddStatusLine("line 52");
    QCOMPARE(StatusText(), QString("line 52"));
  }

  void StatusLinesFromAnotherThreadArriveInOrder() {
    std::thread poll([this] {
      for (int i = 1; i <= 200; ++i) Form->PostStatusLine("line " + std::to_string(i));
    });
    poll.join();
    QCoreApplication::processEvents();
    QStringList expected;
    for (int i = 154; i <= 200; ++i) expected << QString("line %1").arg(i);
    QCOMPARE(StatusText(), expected.join('\n'));
  }

  void ControllerEventsShowInTheStatusBox() {
    Joysticks->SetButtons(0, 1);
    QTRY_COMPARE(StatusText(), QString("Executing Button 1 PRESS"));
  }

  void SaveThenLoad() {
    Click(Form->ButtonDelay);
    Click(Form->ButtonJoy[5]);
    Click(Form->ButtonLeftMouseDown);
    Form->UpDownXTol->ClickArrow(btPrev);
    Shell->Files = {Path("one.kpf")};
    Click(Form->ButtonSaveProfile);
    QCOMPARE(Form->Caption(), "Kestrova - " + Path("one.kpf"));
    QVERIFY(Form->Saved());
    QCOMPARE(Shell->FileDialogs, QStringList{"save"});

    Click(Form->ButtonDelete);  // slot 5 emptied, unsaved
    Form->UpDownXTol->ClickArrow(btNext);
    Shell->Answers = {true};
    Shell->Files = {Path("one.kpf")};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Shell->Questions, QStringList{Confirm});
    QCOMPARE(Lines(Harness->Mapper.Slot(0)), QStringList{"DELAY 1"});
    QCOMPARE(Lines(Harness->Mapper.Slot(5)), QStringList{"LEFT MOUSE DOWN"});
    QCOMPARE(Form->CommandIndex(), 0);
    QCOMPARE(ListBox(Form->ListBoxCommand), QStringList{"DELAY 1"});
    QCOMPARE(Form->ButtonJoy[5]->FontColor(), Yellow);
    QCOMPARE(Form->EditXTol->text(), QString("299"));
    QCOMPARE(Harness->Mapper.XTol(), 299);
    QVERIFY(Form->Saved());
    QVERIFY(Shell->Messages.isEmpty());
  }

  // The pad's further events live on a panel of their own, whose rows work the main window's
  // editor as its own rows do; the main window keeps exactly its 33 rows.
  void MoreControlsReachThePadsFurtherEvents() {
    QCOMPARE(Form->ButtonMoreControls->geometry(), QRect(370, 506, 96, 25));
    QCOMPARE(Form->findChildren<TGlyphButton*>(Qt::FindDirectChildrenOnly).size(), 66);
    const QSize before = Form->size();
    Click(Form->ButtonMoreControls);
    QVERIFY(Form->MoreControls->isVisible());
    QVERIFY(!Form->MoreControls->isModal());
    // Beside the window's own controls, covering none of them; the window grows by its width
    // where the screen has room, else scrolls to it.
    const QRect panel = Form->MoreControls->geometry();
    QCOMPARE(panel, QRect(679, 0, 394, 282));
    for (QLabel* label : Form->MoreControls->findChildren<QLabel*>()) {  // captions shown whole
      QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
               qPrintable(label->text()));
    }
    for (QWidget* control : Form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (control == Form->MoreControls || !control->isVisible()) continue;
      if (control == Form->ScrollBarHorizontal || control == Form->ScrollBarVertical) continue;
      QVERIFY2(!panel.intersects(control->geometry()), qPrintable(control->objectName()));
    }
    const QRect room = Form->screen()->availableGeometry();
    if (room.width() >= 1073 + 20) {
      QCOMPARE(Form->width(), 1073);
    } else {
      QVERIFY(Form->ScrollBarHorizontal->isVisible());
      QCOMPARE(
          Form->ScrollBarHorizontal->maximum(),
          1073 - (Form->width() -
                  (Form->ScrollBarVertical->isVisible() ? Form->ScrollBarVertical->width() : 0)));
    }
    QVERIFY(room.contains(Form->frameGeometry().topRight()) ||
            room.width() < Form->frameGeometry().width());
    // Hidden by its Close button, by Escape, and by a second click; shown again by a click.
    Click(Form->MoreControls->ButtonClose);
    QVERIFY(Form->MoreControls->isHidden());
    QCOMPARE(Form->size(), before);
    Click(Form->ButtonMoreControls);
    QTest::keyClick(Form->MoreControls, Qt::Key_Escape);
    QVERIFY(Form->MoreControls->isHidden());
    QCOMPARE(Form->size(), before);
    Click(Form->ButtonMoreControls);
    Click(Form->ButtonMoreControls);
    QVERIFY(Form->MoreControls->isHidden());
    Click(Form->ButtonMoreControls);
    QVERIFY(Form->MoreControls->isVisible());
    const auto name = [](QWidget* widget) {
      return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(Form->ButtonJoy[79]->parentWidget(), Form->MoreControls);
    QCOMPARE(name(Form->ButtonJoy[79]), QString("Button 10 Release"));
    QCOMPARE(Form->LabelJoy[33]->toolTip(), QString("U Left: right stick left (on a game pad)"));

    Click(Form->ButtonJoy[79]);
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Button 10 Release"));
    QCOMPARE(ColorOf(Form->GetJoyLabel(79)), Blue);
    Click(Form->ButtonLeftMouseDown);
    Click(Form->ButtonJoy[66]);  // U Left Press
    Click(Form->ButtonRightMouseDown);
    Click(Form->ButtonJoy[0]);
    QCOMPARE(Lines(Harness->Mapper.Slot(79)), QStringList{"LEFT MOUSE DOWN"});
    QCOMPARE(Lines(Harness->Mapper.Slot(66)), QStringList{"RIGHT MOUSE DOWN"});
    QCOMPARE(Form->ButtonJoy[79]->FontColor(), Yellow);
    QVERIFY(Form->ButtonJoy[79]->font().bold());
    // The yellow caption reads poorly on a light button: a corner marker of 4.5:1 says it too,
    // and the bold caption fits its button whole; an empty slot's button has no marker.
    for (TGlyphButton* button : {Form->ButtonJoy[79], Form->ButtonJoy[66], Form->ButtonJoy[1]}) {
      const bool marked = button != Form->ButtonJoy[1];
      QCOMPARE(button->font().bold(), marked);
      const QImage shown = button->grab().toImage();
      const QColor corner = shown.pixelColor(shown.width() - 5, 3);
      const QColor background = button->palette().color(QPalette::Button);
      if (marked) {
        QVERIFY(button->MarkerColor().has_value());
        QVERIFY2(ContrastRatio(corner, background) >= 4.5, qPrintable(corner.name()));
      } else {
        QVERIFY(!button->MarkerColor().has_value());
        QVERIFY2(ContrastRatio(corner, background) < 2, qPrintable(corner.name()));
      }
      const int frame = button->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                        2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
      QVERIFY2(
          QFontMetrics(button->font()).horizontalAdvance(button->text()) <= button->width() - frame,
          qPrintable(button->text()));
      QVERIFY(button->font().pointSizeF() >= 6);
    }
    QCOMPARE(ColorOf(Form->GetJoyLabel(79)), Black);

    // Each tolerance of the panel reaches its own axis, and is a step of the undo history.
    for (int i = 0; i < 3; ++i) {
      QSpinBox* spin = Form->MoreControls->ToleranceSpins[i];
      spin->setValue(200 + i);
      QCOMPARE(Harness->Mapper.Tolerance(BaseToleranceCount + i), 200 + i);
    }
    QCOMPARE(Harness->Mapper.Tolerances(), (TTolerances{300, 300, 300, 300, 200, 201, 202}));
    Form->Undo();
    QCOMPARE(Harness->Mapper.Tolerance(6), 300);
    QCOMPARE(Form->MoreControls->ToleranceSpins[2]->value(), 300);
    Form->Redo();

    Shell->Files = {Path("pad.kpf")};
    Click(Form->ButtonSaveProfile);
    const QStringList saved = QString::fromLatin1(TestRead(Path("pad.kpf"))).split("\r\n");
    QCOMPARE(saved.first(), QString("#Kestrova Profile 2"));
    QCOMPARE(saved.mid(saved.size() - 4), (QStringList{"200", "201", "202", ""}));

    // A version-1 file leaves the panel at its defaults; the version-2 one brings it all back.
    WriteProfileFile(Path("plain.kpf").toStdString(), TSlotTable{}, DefaultTolerances);
    Shell->Files = {Path("plain.kpf")};
    Click(Form->ButtonLoadProfile);
    QVERIFY(Harness->Mapper.SlotEmpty(79));
    QCOMPARE(Form->MoreControls->ToleranceSpins[0]->value(), 300);
    QCOMPARE(Form->ButtonJoy[79]->FontColor(), Black);
    Shell->Files = {Path("pad.kpf")};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Lines(Harness->Mapper.Slot(79)), QStringList{"LEFT MOUSE DOWN"});
    QCOMPARE(Form->MoreControls->ToleranceSpins[1]->value(), 201);
    QCOMPARE(Harness->Mapper.Tolerance(5), 201);
    QVERIFY(Form->Saved());
  }

  void LoadingWhileAnotherSlotIsSelected() {
    TSlotTable table;
    table[5] = {"KEY DOWN x"};
    WriteProfileFile(Path("five.kpf").toStdString(), table, {300, 300, 300, 300, 300, 300, 300});
    Click(Form->ButtonJoy[5]);
    Shell->Files = {Path("five.kpf")};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Lines(Harness->Mapper.Slot(5)), QStringList{"KEY DOWN x"});
    QCOMPARE(Form->CommandIndex(), 0);
    QCOMPARE(ColorOf(Form->GetJoyLabel(5)), Black);
    QCOMPARE(Form->ButtonJoy[5]->FontColor(), Yellow);
    QCOMPARE(Form->ButtonJoy[0]->FontColor(), Blue);
    QCOMPARE(Form->LabelCommand->text(), QString("Commands For: Stick Left Press"));
  }

  void RefusedAndMalformedFilesChangeNothing() {
    Click(Form->ButtonDelay);
    Form->UpDownYTol->ClickArrow(btNext);
    const auto before = Harness->Mapper.Slots();
    const std::string header = "#Kestrova Beta Profile\r\n";
    WriteFile("space.kpf", "#Kestrova Beta Profile \r\n#Tolerances\r\n1\r\n2\r\n3\r\n4\r\n");
    WriteFile("header.kpf", header);
    WriteFile("badtol.kpf",
              header + "#Command Tag 0\r\nKEY DOWN q\r\n#Tolerances\r\n1\r\n2\r\nx\r\n4\r\n");
    for (const char* name : {"space.kpf", "header.kpf", "badtol.kpf"}) {
      Shell->Answers = {true};
      Shell->Files = {Path(name)};
      Click(Form->ButtonLoadProfile);
    }
    QCOMPARE(Shell->Messages,
             (QStringList{"Kestrova: The profile you are trying to load is for a different version "
                          "of Kestrova- sorry!",
                          "Kestrova: List index out of bounds (1)\n\n" + Path("header.kpf") +
                              ":\nthe file ends before any command tag; a profile has 66 command "
                              "tags (0 to 65) and then its tolerances",
                          "Kestrova: 'x' is not a valid integer value\n\n" + Path("badtol.kpf") +
                              ":\nline 7 should be the Z tolerance, a whole number"}));
    QCOMPARE(Harness->Mapper.Slots(), before);
    QCOMPARE(Harness->Mapper.YTol(), 301);
    QCOMPARE(Form->EditYTol->text(), QString("301"));
    QCOMPARE(Form->Caption(), QString("Kestrova"));
    QVERIFY(!Form->Saved());

    // A file that does not exist loads nothing and says nothing.
    Shell->Answers = {true};
    Shell->Files = {Path("missing.kpf")};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Shell->Messages.size(), 3);
  }

  void FileTaggingOnlySlot3AndALargeTolerance() {
    Form->Document().SetSlot(7, {"KEY DOWN kept"});
    Shell->Answers = {true};  // over that unsaved edit
    WriteFile("three.kpf",
              "#Kestrova Beta Profile\r\n#Command Tag 3\r\nDELAY "
              "5\r\n#Tolerances\r\n5000\r\n1\r\n2\r\n3\r\n");
    Shell->Files = {Path("three.kpf")};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Lines(Harness->Mapper.Slot(3)), QStringList{"DELAY 5"});
    QCOMPARE(Lines(Harness->Mapper.Slot(7)), QStringList{"KEY DOWN kept"});
    QCOMPARE(Form->EditXTol->text(), QString("5000"));
    QCOMPARE(Harness->Mapper.XTol(), 5000);
    QCOMPARE(Harness->Mapper.RTol(), 3);
  }

  void NoAtTheConfirmationShowsNoDialog() {
    Click(Form->ButtonDelay);
    Shell->Answers = {false};
    Click(Form->ButtonLoadProfile);
    QCOMPARE(Shell->Questions, QStringList{Confirm});
    QVERIFY(Shell->FileDialogs.isEmpty());
    Shell->Files = {};
    Click(Form->ButtonSaveProfile);  // cancelled save: nothing changes
    QVERIFY(!Form->Saved());
    QCOMPARE(Form->Caption(), QString("Kestrova"));
  }

  void FailedSaveIsReported() {
    const QString path = Path("no-such-folder/x.kpf");
    Shell->Files = {path};
    Click(Form->ButtonDelay);
    Click(Form->ButtonSaveProfile);
    QCOMPARE(Shell->Messages, QStringList{"Kestrova: Cannot create file " + path});
    QVERIFY(!Form->Saved());
    QCOMPARE(Form->Caption(), QString("Kestrova"));
  }

  void SaveOntoAFullDiskOrAReadOnlyFolder() {
    // A small file system of its own; where the test may not mount one, it says so and skips.
    const QString mountPoint = Path("small");
    QDir().mkpath(mountPoint);
    if (::mount("tmpfs", mountPoint.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0) {
      QSKIP("cannot mount a small tmpfs here (needs root and mount rights)");
    }
    const auto unmount =
        qScopeGuard([&] { ::umount2(mountPoint.toLocal8Bit().constData(), MNT_DETACH); });
    const QString target = mountPoint + "/pad.kpf";
    const std::string old = "#Kestrova Beta Profile\r\nold\r\n";
    { std::ofstream(target.toStdString(), std::ios::binary) << old; }
    // Fill the disk.
    {
      std::ofstream filler((mountPoint + "/filler").toStdString(), std::ios::binary);
      const std::string block(4096, 'x');
      for (int i = 0; i < 64 && filler; ++i) filler << block << std::flush;
    }
    Form->Document().SetSlot(3, std::vector<std::string>(200, "KEY DOWN a"));  // 2 KB and more
    Click(Form->ButtonDelay);
    Shell->Files = {target};
    Click(Form->ButtonSaveProfile);
    QCOMPARE(Shell->Messages, QStringList{"Kestrova: Cannot create file " + target});
    QCOMPARE(QString::fromStdString(TestRead(target)), QString::fromStdString(old));
    QVERIFY(!Form->Saved());

    // The folder turns read-only.
    QFile::remove(mountPoint + "/filler");
    QCOMPARE(::mount("tmpfs", mountPoint.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                     "size=64k"),
             0);
    Shell->Files = {target};
    Click(Form->ButtonSaveProfile);
    QCOMPARE(Shell->Messages.size(), 2);
    QCOMPARE(Shell->Messages[1], "Kestrova: Cannot create file " + target);
    QCOMPARE(QString::fromStdString(TestRead(target)), QString::fromStdString(old));
    QCOMPARE(Form->Caption(), QString("Kestrova"));
  }

  void HelpOpensTheDocumentOrSaysWhy() {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(Dir->path());
    WriteFile("help.htm", "<html></html>");
    Click(Form->ButtonHelp);
    QCOMPARE(Shell->Opened, QStringList{QUrl::fromLocalFile(Path("help.htm")).toString()});
    // Without a browser on the desktop, Kestrova shows the document itself.
    WriteFile("help.htm",
              "<html><body><h2>Kestrova help</h2><a href=\"#end\">to the end</a>"
              "<a name=\"end\">End</a></body></html>");
    Shell->OpenSucceeds = false;
    Click(Form->ButtonHelp);
    QVERIFY(Shell->Messages.isEmpty());
    auto* browser = Form->findChild<QTextBrowser*>("DocumentBrowser");
    QVERIFY(browser != nullptr);
    QVERIFY(browser->isVisible() && browser->isWindow());
    QCOMPARE(browser->source(), QUrl::fromLocalFile(Path("help.htm")));
    QVERIFY(browser->toPlainText().contains("Kestrova help"));
    QVERIFY(browser->openLinks());
    browser->close();  // deleted on close
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(Form->findChild<QTextBrowser*>("DocumentBrowser") == nullptr);
    // A document that is nowhere still gets the old message, with the folders searched.
    OpenDocument(Form, "no-such-document.htm");
    QCOMPARE(Shell->Messages.size(), 1);
    QVERIFY(Shell->Messages[0].startsWith(
        "Kestrova: Sorry, your command interpreter could not be found, please try using your "
        "internet browser to view the file \"no-such-document.htm\""));
    QVERIFY(Shell->Messages[0].contains("Kestrova looked for it in:\n" + Dir->path() + "\n"));
    QDir::setCurrent(previous);
    QVERIFY(Form->Saved());
  }

  void ProfileNamedOnTheCommandLine() {
    TSlotTable table;
    table[64] = {"KEY DOWN c"};
    WriteProfileFile(Path("cli.kpf").toStdString(), table, {1, 2, 3, 4, 300, 300, 300});
    Form->LoadProfileFile(Path("cli.kpf"));
    QCOMPARE(Lines(Harness->Mapper.Slot(64)), QStringList{"KEY DOWN c"});
    QCOMPARE(Form->Caption(), "Kestrova - " + Path("cli.kpf"));
    QVERIFY(Shell->Questions.isEmpty() && Shell->FileDialogs.isEmpty());
  }
};

QTEST_MAIN(FormMainTest)
#include "test_formmain.moc"
