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
#include <QUndoCommand>
#include <QUndoStack>

#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"
#include "mapping/Recipes.h"
#include "mapping/Slots.h"
#include "platform/qt/Shell.h"
#include "window/FormMain.h"
#include "window/MoreControls.h"

namespace kestrova {

namespace {

// One change of a slot's lines: undo puts the lines before back, redo the lines after.
class TSlotChange : public QUndoCommand {
 public:
  TSlotChange(TFormMain& form, int slot, std::vector<std::string> before,
              std::vector<std::string> after, bool applied)
      : FForm(form),
        FSlot(slot),
        FBefore(std::move(before)),
        FAfter(std::move(after)),
        FSkipRedo(applied) {
    setText("LabelJoy" + QString::number(slot - slot % 2));
  }
  void undo() override { FForm.ShowSlotLines(FSlot, FBefore); }
  void redo() override {
    if (FSkipRedo) {
      FSkipRedo = false;  // done already when it was recorded
      return;
    }
    FForm.ShowSlotLines(FSlot, FAfter);
  }

 private:
  TFormMain& FForm;
  int FSlot;
  std::vector<std::string> FBefore;
  std::vector<std::string> FAfter;
  bool FSkipRedo;
};

// One change of a tolerance, done already when it is recorded.
class TToleranceChange : public QUndoCommand {
 public:
  TToleranceChange(TFormMain& form, int axis, int before, int after)
      : FForm(form), FAxis(axis), FBefore(before), FAfter(after) {}
  void undo() override { FForm.SetTolerance(FAxis, FBefore); }
  void redo() override {
    if (FSkipRedo) {
      FSkipRedo = false;
      return;
    }
    FForm.SetTolerance(FAxis, FAfter);
  }

 private:
  TFormMain& FForm;
  int FAxis;
  int FBefore;
  int FAfter;
  bool FSkipRedo = true;
};

std::vector<std::string> LinesOf(const QStringList& shown) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(shown.size()));
  for (const QString& line : shown) lines.push_back(line.toLatin1().toStdString());
  return lines;
}

}  // namespace

void TFormMain::BuildLineEditing() {
  UndoStack = new QUndoStack(this);
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
  add("Edit...", QKeySequence(Qt::Key_F2), [this] { EditSelectedLine(); });
  add("Delete", QKeySequence::Delete, [this] { DeleteSelectedLines(); });
  add("Move up", QKeySequence(Qt::ALT | Qt::Key_Up), [this] { MoveSelectedLine(-1); });
  add("Move down", QKeySequence(Qt::ALT | Qt::Key_Down), [this] { MoveSelectedLine(1); });
  MenuCommandList->addSeparator();
  add("Cut", QKeySequence::Cut, [this] {
    if (CopySelectedLine()) DeleteSelectedLines();
  });
  add("Copy", QKeySequence::Copy, [this] { CopySelectedLine(); });
  add("Paste after the selected line", QKeySequence::Paste, [this] { PasteLines(); });
  MenuCommandList->addSeparator();
  MenuCommandList->addAction("Profile as text...", this, [this] {
    Guarded([this] {
      StoreListBox(FCommandIndex);
      auto* view = new QPlainTextEdit(this);
      view->setObjectName("ProfileText");
      view->setWindowFlag(Qt::Window);
      view->setAttribute(Qt::WA_DeleteOnClose);
      view->setReadOnly(true);
      view->setWindowTitle("Kestrova - the profile as text");
      view->setPlainText(
          QString::fromLatin1(ProfileAsText(FMapper.Slots(), FMapper.Tolerances()).c_str()));
      view->resize(480, 520);
      view->show();
    });
  });
  MenuCommandList->addSeparator();
  add("Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { UndoStack->undo(); });
  add("Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { UndoStack->redo(); });
  ListBoxCommand->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListBoxCommand, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    MenuCommandList->popup(ListBoxCommand->viewport()->mapToGlobal(at));
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

void TFormMain::RecordSlotChange(int slot, std::vector<std::string> before,
                                 std::vector<std::string> after, bool applied) {
  UndoStack->push(new TSlotChange(*this, slot, std::move(before), std::move(after), applied));
}

int TFormMain::ToleranceOf(int axis) const {
  return FMapper.Tolerance(axis);
}

void TFormMain::ToleranceClicked(int axis) {
  SetSaved(false);
  const QLineEdit* const edits[] = {EditXTol, EditYTol, EditZTol, EditRTol};
  const int before = ToleranceOf(axis);
  const int after = StrToInt(edits[axis]->text().toStdString());
  SetTolerance(axis, after);
  if (before != after) UndoStack->push(new TToleranceChange(*this, axis, before, after));
}

void TFormMain::ToleranceChanged(int axis, int value) {
  const int before = ToleranceOf(axis);
  if (before == value) return;
  SetTolerance(axis, value);
  UndoStack->push(new TToleranceChange(*this, axis, before, value));
}

void TFormMain::SetTolerance(int axis, int value) {
  if (axis < BaseToleranceCount) {
    QLineEdit* const edits[] = {EditXTol, EditYTol, EditZTol, EditRTol};
    if (edits[axis]->text() != QString::number(value)) edits[axis]->setText(QString::number(value));
  } else {
    QSpinBox* spin = MoreControls->ToleranceSpins[axis - BaseToleranceCount];
    const QSignalBlocker quiet(spin);
    spin->setValue(value);
  }
  FMapper.SetTolerance(axis, value);
  SetSaved(false);
}

void TFormMain::ShowTolerances() {
  QLineEdit* const edits[] = {EditXTol, EditYTol, EditZTol, EditRTol};
  for (int axis = 0; axis < BaseToleranceCount; ++axis) {
    edits[axis]->setText(QString::number(FMapper.Tolerance(axis)));
  }
  for (int axis = BaseToleranceCount; axis < ToleranceCount; ++axis) {
    QSpinBox* spin = MoreControls->ToleranceSpins[axis - BaseToleranceCount];
    const QSignalBlocker quiet(spin);
    spin->setValue(FMapper.Tolerance(axis));
  }
}

void TFormMain::ShowSlotLines(int slot, const std::vector<std::string>& lines) {
  if (slot != FCommandIndex) SetCommandIndex(slot);
  FMapper.SetSlot(slot, lines);
  QStringList shown;
  for (const auto& line : lines) {
    shown << QString::fromLatin1(line.data(), static_cast<int>(line.size()));
  }
  ListBoxCommand->clear();
  ListBoxCommand->addItems(shown);
  SetSaved(false);
  UpdateMarkers();
}

void TFormMain::DeleteSelectedLines() {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0 || !ListBoxCommand->selectionModel()->isRowSelected(row, {})) return;
  std::vector<std::string> before = LinesOf(ListBoxCommand->Lines());
  std::vector<std::string> after = before;
  after.erase(after.begin() + row);
  RecordSlotChange(FCommandIndex, std::move(before), std::move(after), false);
}

void TFormMain::EditSelectedLine() {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0) return;
  const QString current = ListBoxCommand->item(row)->text();
  const auto edited = Shell().AskText(this, "Kestrova", "Command line:", current);
  if (!edited || *edited == current) return;
  const std::string line = edited->trimmed().toLatin1().toStdString();
  if (const auto problem = CheckCommandLine(line, FMapper.DecimalSeparator())) {
    Shell().ShowMessage(this, "Kestrova", "Not changed: " + QString::fromLatin1(problem->c_str()));
    return;
  }
  std::vector<std::string> before = LinesOf(ListBoxCommand->Lines());
  std::vector<std::string> after = before;
  after[static_cast<std::size_t>(row)] = line;
  RecordSlotChange(FCommandIndex, std::move(before), std::move(after), false);
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
    if (const auto problem = CheckCommandLine(line, FMapper.DecimalSeparator())) {
      Shell().ShowMessage(this, "Kestrova", "Not pasted: " + QString::fromLatin1(problem->c_str()));
      return;
    }
    pasted.push_back(line);
  }
  if (pasted.empty()) return;
  std::vector<std::string> before = LinesOf(ListBoxCommand->Lines());
  std::vector<std::string> after = before;
  const int row = ListBoxCommand->currentIndex().row();
  const auto at = row < 0 ? after.end() : after.begin() + row + 1;
  after.insert(at, pasted.begin(), pasted.end());
  RecordSlotChange(FCommandIndex, std::move(before), std::move(after), false);
}

namespace {

// The lines that move together with the line at row: a block's begin line takes the block to
// its end line with it, an end line the block from its begin line; any other line goes alone.
std::pair<int, int> MovingRange(const std::vector<std::string>& lines, int row) {
  const std::string& line = lines[static_cast<std::size_t>(row)];
  if (Contains(line, BeginBlockKeyword)) {
    const std::string end = EndBlockLine(GetCmdParam(line, 2));
    for (int i = row + 1; i < static_cast<int>(lines.size()); ++i) {
      if (lines[static_cast<std::size_t>(i)] == end) return {row, i};
    }
  } else if (Contains(line, EndBlockKeyword)) {
    const std::string id = GetCmdParam(line, 0);
    for (int i = row - 1; i >= 0; --i) {
      const std::string& earlier = lines[static_cast<std::size_t>(i)];
      if (Contains(earlier, BeginBlockKeyword) && GetCmdParam(earlier, 2) == id) return {i, row};
    }
  }
  return {row, row};
}

}  // namespace

void TFormMain::MoveSelectedLine(int by) {
  const int row = ListBoxCommand->currentIndex().row();
  if (row < 0) return;
  const auto [first, last] = MovingRange(LinesOf(ListBoxCommand->Lines()), row);
  // One line up or down past the moving lines.
  const int target = by > 0 ? last + 2 : first - 1;
  if (target < 0 || target > ListBoxCommand->count()) return;
  MoveLine(row, target);
}

void TFormMain::MoveLine(int row, int target) {
  std::vector<std::string> before = LinesOf(ListBoxCommand->Lines());
  const int count = static_cast<int>(before.size());
  if (row < 0 || row >= count || target < 0 || target > count) return;
  const auto [first, last] = MovingRange(before, row);
  if (target >= first && target <= last + 1) return;  // within the lines that move: nowhere
  std::vector<std::string> after = before;
  const std::vector<std::string> moving(after.begin() + first, after.begin() + last + 1);
  after.erase(after.begin() + first, after.begin() + last + 1);
  const int landed = target > last ? target - (last - first + 1) : target;
  after.insert(after.begin() + landed, moving.begin(), moving.end());
  RecordSlotChange(FCommandIndex, std::move(before), std::move(after), false);
  ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(landed + (row - first), 0));
}

void TFormMain::InsertAfterSelected(const std::function<void()>& appendHandler) {
  const int row = ListBoxCommand->currentIndex().row();
  FInsertRow = row < 0 ? -1 : row + 1;
  const auto reset = qScopeGuard([this] { FInsertRow = -1; });
  appendHandler();
}

void TFormMain::StickAsMouse() {
  const QStringList sticks = {"Left stick (X and Y)", "Right stick of a pad (U and R)",
                              "Second stick of a joystick (Z and R)"};
  const auto stick =
      Shell().AskItem(this, "Stick as mouse", "Which stick moves the mouse?", sticks, 0);
  if (!stick) return;
  const auto speed =
      Shell().AskInteger(this, "Stick as mouse",
                         "Pixels the pointer moves every 10 ms at full deflection:", 10, 1, 100);
  if (!speed) return;
  StoreListBox(FCommandIndex);
  long long nextId = StrToInt(FMapper.GetNextBlockId());
  const auto written =
      kestrova::StickAsMouse(static_cast<TMouseStick>(*stick), *speed, FMapper.DecimalSeparator(),
                             [&nextId] { return FormatMinDigits(nextId++); });
  QStringList busy;
  for (const auto& [slot, lines] : written) {
    if (!FMapper.SlotEmpty(slot))
      busy << GetJoyLabel(slot)->text() + (slot % 2 ? " Release" : " Press");
  }
  if (!busy.isEmpty() && !Shell().AskYesNo(this, "Stick as mouse",
                                           "These lists have lines, which will be replaced:\n" +
                                               busy.join("\n") + "\n\nReplace them?")) {
    return;
  }
  QString shown;
  UndoStack->beginMacro("Stick as mouse");
  for (const auto& [slot, lines] : written) {
    RecordSlotChange(slot, FMapper.Slot(slot), lines, false);
    shown += GetJoyLabel(slot)->text() + (slot % 2 ? " Release:\n" : " Press:\n");
    for (const auto& line : lines) shown += "    " + QString::fromLatin1(line.c_str()) + "\n";
  }
  UndoStack->endMacro();
  SetCommandIndex(written.front().first);
  Shell().ShowMessage(this, "Stick as mouse",
                      "Written (Ctrl+Z in the list takes it back):\n\n" + shown);
}

}  // namespace kestrova
