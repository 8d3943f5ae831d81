#include "window/FormMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QUndoStack>
#include <set>

#include "about/about.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/mousemove.h"
#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "platform/qt/Named.h"
#include "platform/qt/Shell.h"
#include "window/ControllerView.h"
#include "window/Documents.h"

namespace kestrova {

namespace {

const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);

const QString ConfirmText =
    "You have not saved you current work, are you sure you want to continue?";

}  // namespace

TFormMain::TFormMain(TMapper& mapper, QWidget* parent) : QWidget(parent), FMapper(mapper) {
  FMapper.SetStatusSink([this](const std::string& line) { PostStatusLine(line); });
  setObjectName("FormMain");
  SetCaption("Kestrova");
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  setFixedSize(FullSize);
  BuildEventRows();
  BuildEditor();
  BuildBottom();
  BuildLineEditing();
  FFirstShow = true;  // FormCreate
}

TFormMain::~TFormMain() {
  // Nothing the poll thread or the worker uses may go before they have ended.
  FMapper.Shutdown();
}

void TFormMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    Shell().ShowMessage(this, "Kestrova", QString::fromLocal8Bit(error.what()));
  }
}

void TFormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Guarded([this] { FormShow(); });
}

void TFormMain::FormShow() {
  FitToScreen();
  if (FFirstShow) {
    if (const QScreen* screen = this->screen()) {
      // Centred, and never above or left of the screen's free area.
      const QRect area = screen->availableGeometry();
      const QPoint centred =
          area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2);
      move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }
    MemoTest->clear();
    FMapper.SetTolerances(DefaultTolerances);
    FMapper.SetSlots(TSlotTable{});
    FCommandIndex = -1;
    SetCommandIndex(0);
    SetSaved(true);
    FMapper.Start();  // the worker, the trace files, and last polling
    FFirstShow = false;
  }
  ShowTolerances();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  if (!FExiting) Guarded([&] { canClose = FormCloseQuery(); });
  if (canClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TFormMain::FormCloseQuery() {
  return FSaved || Shell().AskYesNo(this, "Confirm Action", ConfirmText);
}

QLabel* TFormMain::GetJoyLabel(int slot) const {
  // The label of the event that owns the slot: "LabelJoy" + the Press slot.
  return findChild<QLabel*>("LabelJoy" + QString::number(slot - slot % 2));
}

void TFormMain::SetLabelColor(QLabel* label, const QColor& color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
}

void TFormMain::StoreListBox(int slot) {
  if (slot < 0) return;
  std::vector<std::string> lines;
  const QStringList shown = ListBoxCommand->Lines();
  lines.reserve(static_cast<std::size_t>(shown.size()));
  for (const QString& line : shown) lines.push_back(line.toLatin1().toStdString());
  FMapper.SetSlot(slot, std::move(lines));
}

void TFormMain::SetCommandIndex(int slot) {
  if (FCommandIndex != -1) {
    SetLabelColor(GetJoyLabel(FCommandIndex), Black);
    StoreListBox(FCommandIndex);
    ButtonJoy[FCommandIndex]->SetFontColor(Black);
  }
  FCommandIndex = slot;
  LabelCommand->setText("Commands For: " + GetJoyLabel(slot)->text() +
                        (slot % 2 == 0 ? " Press" : " Release"));
  SetLabelColor(GetJoyLabel(slot), Blue);
  ButtonJoy[slot]->SetFontColor(Blue);
  ListBoxCommand->clear();
  QStringList lines;
  const auto stored = FMapper.Slot(slot);
  lines.reserve(static_cast<qsizetype>(stored.size()));
  for (const auto& line : stored) {
    lines << QString::fromLatin1(line.data(), static_cast<int>(line.size()));
  }
  ListBoxCommand->addItems(lines);
  UpdateMarkers();  // the list holds the slot's lines as they are: nothing to store
}

void TFormMain::ButtonJoyClick(QObject* sender) {
  SetCommandIndex(GetIndexFromControlName(sender->objectName().toStdString()));
  if (auto* button = qobject_cast<TGlyphButton*>(sender)) button->SetFontColor(Blue);
}

void TFormMain::RefreshCommands() {
  // What the buttons did to the list becomes a step of the undo history.
  if (FCommandIndex >= 0) {
    std::vector<std::string> before = FMapper.Slot(FCommandIndex);
    StoreListBox(FCommandIndex);
    std::vector<std::string> after = FMapper.Slot(FCommandIndex);
    if (before != after) RecordSlotChange(FCommandIndex, std::move(before), std::move(after));
  }
  UpdateMarkers();
}

void TFormMain::UpdateMarkers() {
  for (int slot = 0; slot <= MaxSlotIndex; ++slot) {
    if (slot == FCommandIndex) continue;
    ButtonJoy[slot]->SetFontColor(FMapper.SlotEmpty(slot) ? Black : Yellow);
  }
  // A second cue that reads at any contrast: a list with commands has a bold caption.
  for (int slot = 0; slot <= MaxSlotIndex; ++slot)
    ButtonJoy[slot]->SetBold(!FMapper.SlotEmpty(slot));
  repaint();
}

void TFormMain::AppendLine(const QString& line) {
  if (FInsertRow < 0 || FInsertRow > ListBoxCommand->count()) {
    ListBoxCommand->addItem(line);
    return;
  }
  ListBoxCommand->InsertItem(FInsertRow, line);
  ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(FInsertRow, 0));
  ++FInsertRow;
}

void TFormMain::SetSaved(bool saved) {
  FSaved = saved;
  setWindowModified(!saved);
}

void TFormMain::SetCaption(const QString& caption) {
  // "[*]" is where the desktop's marker for unsaved changes goes while they are unsaved.
  setWindowTitle(caption + "[*]");
}

QString TFormMain::Caption() const {
  QString caption = windowTitle();
  if (caption.endsWith("[*]")) caption.chop(3);
  return caption;
}

void TFormMain::AskKey(std::string (*lineOf)(std::string_view key)) {
  SetSaved(false);
  if (FDialogs.Keyboard) {
    FDialogs.Keyboard->exec();
    if (!FDialogs.Keyboard->KeyName.isEmpty())
      AppendLine(QString::fromLatin1(lineOf(FDialogs.Keyboard->KeyName.toLatin1().toStdString())));
  }
  RefreshCommands();
}

void TFormMain::ButtonKeyDownClick() {
  AskKey(KeyDownLine);
}
void TFormMain::ButtonKeyUpClick() {
  AskKey(KeyUpLine);
}

void TFormMain::MouseComClick(QObject* sender) {
  SetSaved(false);
  if (sender == ButtonLeftMouseDown) AppendLine(QLatin1StringView(LeftMouseDownLine));
  if (sender == ButtonLeftMouseUp) AppendLine(QLatin1StringView(LeftMouseUpLine));
  if (sender == ButtonRightMouseDown) AppendLine(QLatin1StringView(RightMouseDownLine));
  if (sender == ButtonRightMouseUp) AppendLine(QLatin1StringView(RightMouseUpLine));
  if (sender == ButtonMouseMove && FDialogs.MouseMove &&
      FDialogs.MouseMove->exec() == QDialog::Accepted) {
    AppendLine(FDialogs.MouseMove->CommandLine);
  }
  RefreshCommands();
}

void TFormMain::MoreMouseClick(const QString& line) {
  QString chosen = line;
  if (line == QLatin1StringView(MouseWheelKeyword) ||
      line == QLatin1StringView(MouseHWheelKeyword)) {
    const auto notches = Shell().AskInteger(
        this, "Kestrova",
        line == QLatin1StringView(MouseWheelKeyword)
            ? "Notches of the wheel (positive: away from you, negative: towards you):"
            : "Notches of the horizontal wheel (positive: to the right):",
        1, -100, 100);
    if (!notches || *notches == 0) return;
    chosen = line + " " + QString::number(*notches);
  }
  SetSaved(false);
  AppendLine(chosen);
  RefreshCommands();
}

void TFormMain::ButtonBlockCommandClick() {
  SetSaved(false);
  StoreListBox(FCommandIndex);
  const QString next = QString::fromStdString(FMapper.GetNextBlockId());
  if (!FDialogs.Block) return;
  TFormBlock& dialog = *FDialogs.Block;
  dialog.NextBlockId = next;
  dialog.BlockIds.clear();
  for (const auto& id : FMapper.BlockIds()) dialog.BlockIds.append(QString::fromLatin1(id.c_str()));
  // End Block closes the innermost block still open (the last begin line whose end line does not
  // follow it); where every block is closed, the last one begun, as before. Closing the last one
  // begun whatever followed it wrote its end line twice in nested blocks and never the outer one.
  dialog.OpenBlockId.clear();
  QString lastBegun;
  std::set<std::string> endedLater;
  for (int i = ListBoxCommand->count() - 1; i >= 0 && dialog.OpenBlockId.isEmpty(); --i) {
    const std::string line = ListBoxCommand->item(i)->text().toLatin1().toStdString();
    if (Contains(line, EndBlockKeyword)) endedLater.insert(GetCmdParam(line, 0));
    if (!Contains(line, BeginBlockKeyword)) continue;
    const std::string id = GetCmdParam(line, 2);
    if (lastBegun.isEmpty()) lastBegun = QString::fromLatin1(id.c_str());
    if (!endedLater.contains(id)) dialog.OpenBlockId = QString::fromLatin1(id.c_str());
  }
  if (dialog.OpenBlockId.isEmpty()) dialog.OpenBlockId = lastBegun;
  if (dialog.exec() == QDialog::Accepted) {
    AppendLine(dialog.CommandLine);
    RefreshCommands();
  }
}

void TFormMain::ButtonDelayClick() {
  SetSaved(false);
  AppendLine(QString::fromLatin1(DelayLine("1")));
  RefreshCommands();
}

void TFormMain::ButtonClearClick() {
  SetSaved(false);
  ListBoxCommand->clear();
  RefreshCommands();
}

void TFormMain::UpDownXTolClick(TUDBtnType) {
  ToleranceClicked(0);
}

void TFormMain::UpDownYTolClick(TUDBtnType) {
  ToleranceClicked(1);
}

void TFormMain::UpDownZTolClick(TUDBtnType) {
  ToleranceClicked(2);
}

void TFormMain::UpDownRTolClick(TUDBtnType) {
  ToleranceClicked(3);
}

void TFormMain::SaveProfile() {
  const QString path = Shell().GetSaveFileName(this);
  if (path.isEmpty()) return;
  StoreListBox(FCommandIndex);
  WriteProfileFile(path.toStdString(), FMapper.Slots(), FMapper.Tolerances());
  SetCaption("Kestrova - " + path);
  SetSaved(true);
  UndoStack->clear();
  if (OnProfileFile) OnProfileFile(path);
}

void TFormMain::LoadProfile() {
  if (!ConfirmDiscard()) return;
  const QString path = Shell().GetOpenFileName(this);
  if (path.isEmpty() || !QFileInfo::exists(path)) return;
  LoadProfileFile(path);
}

void TFormMain::LoadProfileFile(const QString& path) {
  const QString error = TryLoadProfileFile(path);
  if (!error.isEmpty()) Shell().ShowMessage(this, "Kestrova", error);
}

QString TFormMain::TryLoadProfileFile(const QString& path) {
  TLoadedProfile profile;
  try {
    profile = ReadProfileFile(path.toStdString(), FMapper.Slots());
  } catch (const EProfileMismatch& mismatch) {
    return mismatch.what();
  } catch (const EProfileError& error) {
    // The system's message, and under it the file and what the message means for it.
    QString text = QString::fromLocal8Bit(error.what()) + "\n\n" + path;
    if (!error.Meaning().empty()) text += ":\n" + QString::fromStdString(error.Meaning());
    return text;
  }
  ApplyProfile(std::move(profile), path);
  return {};
}

void TFormMain::ApplyProfile(TLoadedProfile profile, const QString& path) {
  FMapper.SetSlots(std::move(profile.Slots));
  FMapper.SetTolerances(profile.Tolerances);
  ShowTolerances();
  // The file's own texts of the four fields ("+300" stays "+300").
  EditXTol->setText(QString::fromLatin1(profile.ToleranceTexts[0].c_str()));
  EditYTol->setText(QString::fromLatin1(profile.ToleranceTexts[1].c_str()));
  EditZTol->setText(QString::fromLatin1(profile.ToleranceTexts[2].c_str()));
  EditRTol->setText(QString::fromLatin1(profile.ToleranceTexts[3].c_str()));
  // Slot 0 is shown; the list box held the replaced profile's lines and is stored nowhere.
  if (FCommandIndex != -1) {
    SetLabelColor(GetJoyLabel(FCommandIndex), Black);
    ButtonJoy[FCommandIndex]->SetFontColor(Black);
  }
  FCommandIndex = -1;
  SetCommandIndex(0);
  SetCaption("Kestrova - " + path);
  SetSaved(true);
  UndoStack->clear();
  if (OnProfileFile) OnProfileFile(path);
}

bool TFormMain::ConfirmDiscard() {
  return FSaved || Shell().AskYesNo(this, "Confirm Action", ConfirmText);
}

QString TFormMain::ProfilePath() const {
  const QString prefix = "Kestrova - ";
  const QString caption = Caption();
  return caption.startsWith(prefix) ? caption.mid(prefix.size()) : QString();
}

void TFormMain::ButtonHelpClick() {
  OpenDocument(this, "help.htm");
}

void TFormMain::ButtonExitClick() {
  FExiting = true;
  close();
  QCoreApplication::exit(0);
}

void TFormMain::ButtonControllerClick() {
  if (!FDialogs.Controller) return;
  FDialogs.Controller->show();
  FDialogs.Controller->raise();
  FDialogs.Controller->activateWindow();
}

void TFormMain::ButtonAboutClick() {
  if (!FDialogs.About) return;
  FDialogs.About->LabelTitle->setText("Kestrova");
  FDialogs.About->LabelVersion->setText("Version " KESTROVA_VERSION);
  FDialogs.About->LabelProducedBy1->setText(AuthorLine);
  FDialogs.About->exec();
}

void TFormMain::AddStatusLine(const QString& text) {
  const int lines = MemoTest->document()->isEmpty() ? 0 : MemoTest->document()->blockCount();
  if (lines > 50) MemoTest->clear();
  MemoTest->appendPlainText(text);
}

void TFormMain::PostStatusLine(const std::string& text) {
  const QString line = QString::fromLatin1(text.data(), static_cast<int>(text.size()));
  QMetaObject::invokeMethod(
      this, [this, line] { AddStatusLine(line); }, Qt::QueuedConnection);
}

}  // namespace kestrova
