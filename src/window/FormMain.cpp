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

TFormMain::TFormMain(TProfileDocument& document, TEngine& engine, QWidget* parent)
    : QWidget(parent), FDocument(document), FEngine(engine) {
  FEngine.SetStatusSink([this](const std::string& line) { PostStatusLine(line); });
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
  BuildPressControls();
  FFirstShow = true;  // FormCreate
  // The start-up state: the editor on slot 0 of the document, the status box empty. The engine
  // starts apart from the window (its session starts it), so a window started hidden is ready
  // all the same.
  MemoTest->clear();
  SetCommandIndex(0);
  ShowTolerances();
  ShowModified();
  FSubscription = FDocument.Subscribe(
      [this](const TDocumentChange& change) { Guarded([&] { DocumentChanged(change); }); });
}

TFormMain::~TFormMain() {
  FDocument.Unsubscribe(FSubscription);
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
    FFirstShow = false;
  }
  ShowTolerances();
}

void TFormMain::ShowWindow() {
  show();
  raise();
  activateWindow();
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
  return FDocument.Saved() || Shell().AskYesNo(this, "Confirm Action", ConfirmText);
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

void TFormMain::ShowSelectedSlot() {
  const int row = ListBoxCommand->currentIndex().row();
  ListBoxCommand->clear();
  QStringList lines;
  const auto& stored = FDocument.Slot(CurrentList());
  lines.reserve(static_cast<qsizetype>(stored.size()));
  for (const auto& line : stored) {
    lines << QString::fromLatin1(line.data(), static_cast<int>(line.size()));
  }
  ListBoxCommand->addItems(lines);
  if (row >= 0 && row < ListBoxCommand->count()) {
    ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(row, 0));
  }
}

void TFormMain::SetCommandIndex(int slot) {
  // The list always shows the document's lines: there is nothing to store into the old slot.
  if (FCommandIndex != -1) {
    SetLabelColor(GetJoyLabel(FCommandIndex), Black);
    ButtonJoy[FCommandIndex]->SetFontColor(Black);
  }
  FCommandIndex = slot;
  const QString type =
      FPressType == TPressType::Plain
          ? QString()
          : " " + QString::fromLatin1(PressTypeNames[static_cast<int>(FPressType)]);
  LabelCommand->setText("Commands For: " + GetJoyLabel(slot)->text() + type +
                        (slot % 2 == 0 ? " Press" : " Release") +
                        (FLayer == 0 ? QString() : " (layer " + QString::number(FLayer) + ")"));
  SetLabelColor(GetJoyLabel(slot), Blue);
  ButtonJoy[slot]->SetFontColor(Blue);
  ListBoxCommand->clear();
  ShowSelectedSlot();
  UpdateMarkers();
}

void TFormMain::ButtonJoyClick(QObject* sender) {
  SetCommandIndex(GetIndexFromControlName(sender->objectName().toStdString()));
  if (auto* button = qobject_cast<TGlyphButton*>(sender)) button->SetFontColor(Blue);
}

void TFormMain::RefreshCommands() {
  // Every edit went to the document at once (and from it to the engine): what is left is the
  // colours.
  UpdateMarkers();
}

void TFormMain::UpdateMarkers() {
  for (int slot = 0; slot <= MaxSlotIndex; ++slot) {
    if (slot == FCommandIndex) continue;
    ButtonJoy[slot]->SetFontColor(FDocument.Slot(ListOf(slot)).empty() ? Black : Yellow);
  }
  // A second cue that reads at any contrast: a list with commands has a bold caption.
  for (int slot = 0; slot <= MaxSlotIndex; ++slot)
    ButtonJoy[slot]->SetBold(!FDocument.Slot(ListOf(slot)).empty());
  ShowPressChoices();
  // The same for motion: bold while a source moves the pointer.
  QFont motion = ButtonMotion->font();
  motion.setBold(FDocument.Motion().Any());
  ButtonMotion->setFont(motion);
  repaint();
}

void TFormMain::AppendLine(const QString& line) {
  const std::string text = line.toLatin1().toStdString();
  if (FInsertRow < 0 || FInsertRow > static_cast<int>(FDocument.Slot(CurrentList()).size())) {
    FDocument.Append(CurrentList(), text);
    return;
  }
  FDocument.Insert(CurrentList(), FInsertRow, {text});
  ListBoxCommand->setCurrentIndex(ListBoxCommand->model()->index(FInsertRow, 0));
  ++FInsertRow;
}

void TFormMain::ShowModified() {
  setWindowModified(FDocument.Modified());
}

void TFormMain::DocumentChanged(const TDocumentChange& change) {
  switch (change.Kind) {
    case TDocumentChange::Edited:
      if (change.Focus >= 0 && change.Focus != CurrentList()) {
        const TListAddress list = *ListAddressOf(change.Focus);
        SelectList(list.Layer, list.Type);
        SetCommandIndex(list.Slot);
      }
      for (const int slot : change.Slots) {
        if (slot == CurrentList()) ShowSelectedSlot();
      }
      for (const int axis : change.Axes) ShowTolerance(axis);
      UpdateMarkers();
      break;
    case TDocumentChange::Replaced:
      // Slot 0 is shown.
      if (FCommandIndex != -1) {
        SetLabelColor(GetJoyLabel(FCommandIndex), Black);
        ButtonJoy[FCommandIndex]->SetFontColor(Black);
      }
      FCommandIndex = -1;
      SelectList(0, TPressType::Plain);
      SetCommandIndex(0);
      ShowTolerances();
      SetCaption("Kestrova - " + ProfilePath());
      break;
    case TDocumentChange::Stored:
      SetCaption("Kestrova - " + ProfilePath());
      break;
    case TDocumentChange::Flags:
      break;
  }
  ShowModified();
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
  FDocument.MarkEdited();
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
  FDocument.MarkEdited();
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
  FDocument.MarkEdited();
  AppendLine(chosen);
  RefreshCommands();
}

void TFormMain::ButtonBlockCommandClick() {
  FDocument.MarkEdited();
  const QString next =
      QString::fromStdString(GetNextBlockId(FDocument.Slots(), FDocument.Extras(), FBlockIds));
  if (!FDialogs.Block) return;
  TFormBlock& dialog = *FDialogs.Block;
  dialog.NextBlockId = next;
  dialog.BlockIds.clear();
  for (const auto& id : FBlockIds) dialog.BlockIds.append(QString::fromLatin1(id.c_str()));
  // End Block closes the innermost block still open (the last begin line whose end line does not
  // follow it); where every block is closed, the last one begun. Closing the last one begun
  // whatever followed it wrote its end line twice in nested blocks and never the outer one.
  dialog.OpenBlockId = QString::fromLatin1(OpenBlockId(FDocument.Slot(CurrentList())).c_str());
  if (dialog.exec() == QDialog::Accepted) {
    AppendLine(dialog.CommandLine);
    RefreshCommands();
  }
}

void TFormMain::ButtonDelayClick() {
  FDocument.MarkEdited();
  AppendLine(QString::fromLatin1(DelayLine("1")));
  RefreshCommands();
}

void TFormMain::ButtonClearClick() {
  FDocument.MarkEdited();
  FDocument.Clear(CurrentList());
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
  FDocument.Save(path.toStdString());
}

void TFormMain::LoadProfile() {
  if (!ConfirmDiscard()) return;
  const QString path = Shell().GetOpenFileName(this);
  if (path.isEmpty() || !QFileInfo::exists(path)) return;
  LoadProfileFile(path);
}

void TFormMain::LoadProfileFile(const QString& path) {
  const std::string error = FDocument.TryLoad(path.toStdString());
  if (!error.empty()) Shell().ShowMessage(this, "Kestrova", QString::fromStdString(error));
}

bool TFormMain::ConfirmDiscard() {
  return FDocument.Saved() || Shell().AskYesNo(this, "Confirm Action", ConfirmText);
}

QString TFormMain::ProfilePath() const {
  return QString::fromStdString(FDocument.Path());
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
