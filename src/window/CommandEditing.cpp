// Editing the lines of the list shown: delete, edit in place, move, and undo or redo every change
// of a list. Additions beside the append buttons, which keep doing what they do. GUI thread.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>

#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"
#include "mapping/Recipes.h"
#include "mapping/Slots.h"
#include "platform/qt/Shell.h"
#include "window/FormMain.h"
#include "window/MoreControls.h"
#include "window/MotionDialog.h"

namespace kestrova {

void TFormMain::BuildLineEditing() {
  ListBoxCommand->setAccessibleName("Command lines");
  ListBoxCommand->setToolTip(
      "Delete removes a line, F2 or a double-click edits it, Alt+Up and Alt+Down move it, "
      "Ctrl+Z and Ctrl+Shift+Z undo and redo; more in the context menu");
  const auto add = [this](const QString& text, const QKeySequence& keys,
                          std::function<void()> handler) {
    QAction* action = MenuCommandList->addAction(text);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);  // the list's keys only
    ListBoxCommand->addAction(action);
    connect(action, &QAction::triggered, this, [this, handler] { Guarded(handler); });
    return action;
  };
  MenuCommandList = new QMenu(ListBoxCommand);
  QAction* edit = add("Edit...", QKeySequence(Qt::Key_F2), [this] { EditSelectedLine(); });
  QAction* remove = add("Delete", QKeySequence::Delete, [this] { DeleteSelectedLines(); });
  QAction* up =
      add("Move up", QKeySequence(Qt::ALT | Qt::Key_Up), [this] { MoveSelectedLine(-1); });
  QAction* down =
      add("Move down", QKeySequence(Qt::ALT | Qt::Key_Down), [this] { MoveSelectedLine(1); });
  MenuCommandList->addSeparator();
  QAction* cut = add("Cut", QKeySequence::Cut, [this] {
    if (CopySelectedLine()) DeleteSelectedLines();
  });
  QAction* copy = add("Copy", QKeySequence::Copy, [this] { CopySelectedLine(); });
  QAction* paste =
      add("Paste after the selected line", QKeySequence::Paste, [this] { PasteLines(); });
  MenuCommandList->addSeparator();
  MenuCommandList->addAction("Profile as text...", this, [this] {
    Guarded([this] {
      auto* view = new QPlainTextEdit(this);
      view->setObjectName("ProfileText");
      view->setWindowFlag(Qt::Window);
      view->setAttribute(Qt::WA_DeleteOnClose);
      view->setReadOnly(true);
      view->setWindowTitle("Kestrova - the profile as text");
      view->setPlainText(
          QString::fromLatin1(ProfileAsText(FDocument.Slots(), FDocument.Tolerances(),
                                            FDocument.Motion(), FDocument.Extras())
                                  .c_str()));
      view->resize(480, 520);
      view->show();
    });
  });
  MenuCommandList->addSeparator();
  QAction* undo = add("Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { Undo(); });
  QAction* redo = add("Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { Redo(); });
  ListBoxCommand->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListBoxCommand, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    MenuCommandList->popup(ListBoxCommand->viewport()->mapToGlobal(at));
  });
  // The menu greys what cannot act on the list as it is; once it closes, every item is enabled
  // again, so that the list's keys (whose handlers do nothing where nothing can be done) work.
  connect(MenuCommandList, &QMenu::aboutToShow, this,
          [this, edit, remove, up, down, cut, copy, paste, undo, redo] {
            const int row = ListBoxCommand->currentIndex().row();
            const int count = ListBoxCommand->count();
            const bool line = row >= 0 && row < count;
            for (QAction* action : {edit, remove, cut, copy}) action->setEnabled(line);
            if (line) {
              const auto [first, last] = BlockRangeAt(FDocument.Slot(CurrentList()), row);
              up->setEnabled(first > 0);
              down->setEnabled(last + 1 < count);
            } else {
              up->setEnabled(false);
              down->setEnabled(false);
            }
            paste->setEnabled(!QGuiApplication::clipboard()->text().trimmed().isEmpty());
            undo->setEnabled(FDocument.CanUndo());
            redo->setEnabled(FDocument.CanRedo());
          });
  connect(MenuCommandList, &QMenu::aboutToHide, this,
          [edit, remove, up, down, cut, copy, paste, undo, redo] {
            for (QAction* action : {edit, remove, up, down, cut, copy, paste, undo, redo}) {
              action->setEnabled(true);
            }
          });
  connect(ListBoxCommand, &TCommandList::MoveRequested, this,
          [this](int row, int target) { Guarded([&] { MoveLine(row, target); }); });
  QMenu* insert = MenuCommandList->addMenu("Insert after the selected line");
  insert->setObjectName("MenuInsertAfter");
  for (QPushButton* button :
       {ButtonKeyDown, ButtonKeyUp, ButtonLeftMouseDown, ButtonLeftMouseUp, ButtonRightMouseDown,
        ButtonRightMouseUp, ButtonMouseMove, ButtonBlockCommand, ButtonDelay}) {
    insert->addAction(button->text(), this, [this, button] {
      Guarded([&] { InsertAfterSelected([button] { button->click(); }); });
    });
  }
  connect(ListBoxCommand, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded([this] { EditSelectedLine(); }); });
}

void TFormMain::Undo() {
  FDocument.Undo();
}

void TFormMain::Redo() {
  FDocument.Redo();
}

void TFormMain::ToleranceClicked(int axis) {
  // The spinner has moved its field's number: that number is the tolerance.
  FDocument.MarkEdited();
  const QLineEdit* const edits[] = {EditXTol, EditYTol, EditZTol, EditRTol};
  FDocument.SetTolerance(axis, StrToInt(edits[axis]->text().toStdString()));
}

void TFormMain::ToleranceChanged(int axis, int value) {
  FDocument.SetTolerance(axis, value);
}

void TFormMain::SetTolerance(int axis, int value) {
  FDocument.SetTolerance(axis, value);
}

void TFormMain::ShowTolerance(int axis) {
  if (axis < BaseToleranceCount) {
    QLineEdit* const edits[] = {EditXTol, EditYTol, EditZTol, EditRTol};
    const QString text = QString::fromLatin1(FDocument.ToleranceText(axis).c_str());
    if (edits[axis]->text() != text) edits[axis]->setText(text);
  } else {
    QSpinBox* spin = MoreControls->ToleranceSpins[axis - BaseToleranceCount];
    const QSignalBlocker quiet(spin);
    spin->setValue(FDocument.Tolerance(axis));
  }
}

void TFormMain::ShowTolerances() {
  for (int axis = 0; axis < ToleranceCount; ++axis) ShowTolerance(axis);
}

void TFormMain::DeleteSelectedLines() {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0 || !ListBoxCommand->selectionModel()->isRowSelected(row, {})) return;
  FDocument.Delete(CurrentList(), row);
}

void TFormMain::EditSelectedLine() {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0) return;
  const QString current = ListBoxCommand->item(row)->text();
  const auto edited = Shell().AskText(this, "Kestrova", "Command line:", current);
  if (!edited || *edited == current) return;
  const std::string line = edited->trimmed().toLatin1().toStdString();
  if (const auto problem = CheckCommandLine(line, FDocument.DecimalSeparator())) {
    Shell().ShowMessage(this, "Kestrova", "Not changed: " + QString::fromLatin1(problem->c_str()));
    return;
  }
  FDocument.Replace(CurrentList(), row, line);
  ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(row, 0));
}

bool TFormMain::CopySelectedLine() {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0) return false;
  QGuiApplication::clipboard()->setText(ListBoxCommand->item(row)->text());
  return true;
}

void TFormMain::PasteLines() {
  std::vector<std::string> pasted;
  for (const QString& text : QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts)) {
    const std::string line = text.trimmed().toLatin1().toStdString();
    if (line.empty()) continue;
    if (const auto problem = CheckCommandLine(line, FDocument.DecimalSeparator())) {
      Shell().ShowMessage(this, "Kestrova", "Not pasted: " + QString::fromLatin1(problem->c_str()));
      return;
    }
    pasted.push_back(line);
  }
  if (pasted.empty()) return;
  const int row = ListBoxCommand->currentIndex().row();
  const int count = static_cast<int>(FDocument.Slot(CurrentList()).size());
  FDocument.Insert(CurrentList(), row < 0 ? count : row + 1, std::move(pasted));
}

void TFormMain::MoveSelectedLine(int by) {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0) return;
  const auto [first, last] = BlockRangeAt(FDocument.Slot(CurrentList()), row);
  // One line up or down past the moving lines.
  const int target = by > 0 ? last + 2 : first - 1;
  if (target < 0 || target > ListBoxCommand->count()) return;
  MoveLine(row, target);
}

void TFormMain::MoveLine(int row, int target) {
  const int landed = FDocument.Move(CurrentList(), row, target);
  if (landed >= 0) ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(landed, 0));
}

void TFormMain::InsertAfterSelected(const std::function<void()>& appendHandler) {
  const int row = ListBoxCommand->currentIndex().row();
  FInsertRow = row < 0 ? -1 : row + 1;
  const auto reset = qScopeGuard([this] { FInsertRow = -1; });
  appendHandler();
}

void TFormMain::StickAsMouse() {
  const QStringList sticks = {"Left stick (X and Y)",
                              "Right stick (U and R on a pad, Z and R on a joystick)"};
  const auto stick =
      Shell().AskItem(this, "Stick as mouse", "Which stick moves the mouse?", sticks, 0);
  if (!stick) return;
  TMotionSettings motion = FDocument.Motion();
  TSourceMotion& source = motion.Sources[*stick];
  const auto speed = Shell().AskInteger(
      this, "Stick as mouse", "Pixels a second the pointer moves at full deflection:",
      source.Mode == TMotionMode::Mouse ? static_cast<int>(source.Speed) : 1000, 1, 100000);
  if (!speed) return;
  if (source.Mode != TMotionMode::Mouse) source = TSourceMotion{};
  source.Mode = TMotionMode::Mouse;
  source.Speed = *speed;
  FDocument.SetMotion(motion);
}

void TFormMain::ButtonMotionClick() {
  FormMotion->SetSettings(FDocument.Motion());
  if (FormMotion->exec() != QDialog::Accepted) return;
  const TMotionSettings settings = FormMotion->Settings();
  if (settings != FDocument.Motion()) FDocument.SetMotion(settings);
}

void TFormMain::StickAsMouseBlocks() {
  const QStringList sticks = {"Left stick (X and Y)", "Right stick of a pad (U and R)",
                              "Second stick of a joystick (Z and R)"};
  const auto stick =
      Shell().AskItem(this, "Stick as mouse", "Which stick moves the mouse?", sticks, 0);
  if (!stick) return;
  const auto speed =
      Shell().AskInteger(this, "Stick as mouse",
                         "Pixels the pointer moves each pass of the block at full deflection\n"
                         "(a pass takes about 15 ms: its DELAY 10 and 1 ms for each of its 4 "
                         "lines):",
                         10, 1, 100);
  if (!speed) return;
  long long nextId = StrToInt(GetNextBlockId(FDocument.Slots(), FDocument.Extras(), FBlockIds));
  auto written =
      kestrova::StickAsMouse(static_cast<TMouseStick>(*stick), *speed, FDocument.DecimalSeparator(),
                             [&nextId] { return FormatMinDigits(nextId++); });
  // Into the plain lists of the layer shown.
  SelectList(FLayer, TPressType::Plain);
  for (auto& [slot, lines] : written) slot = ListOf(slot);
  QStringList busy;
  for (const auto& [slot, lines] : written) {
    if (!FDocument.Slot(slot).empty())
      busy << GetJoyLabel(ListAddressOf(slot)->Slot)->text() + (slot % 2 ? " Release" : " Press");
  }
  if (!busy.isEmpty() && !Shell().AskYesNo(this, "Stick as mouse",
                                           "These lists have lines, which will be replaced:\n" +
                                               busy.join("\n") + "\n\nReplace them?")) {
    return;
  }
  QString shown;
  for (const auto& [slot, lines] : written) {
    shown +=
        GetJoyLabel(ListAddressOf(slot)->Slot)->text() + (slot % 2 ? " Release:\n" : " Press:\n");
    for (const auto& line : lines) shown += "    " + QString::fromLatin1(line.c_str()) + "\n";
  }
  FDocument.SetSlots(written);  // one step of the history
  SetCommandIndex(ListAddressOf(written.front().first)->Slot);
  Shell().ShowMessage(this, "Stick as mouse",
                      "Written (Ctrl+Z in the list takes it back):\n\n" + shown);
}

}  // namespace kestrova
