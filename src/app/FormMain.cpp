#include "FormMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "ControllerView.h"
#include "Documents.h"
#include "about/about.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/mousemove.h"
#include "mapping/Commands.h"
#include "mapping/Convert.h"
#include "platform/qt/Named.h"
#include "platform/qt/Shell.h"

namespace kestrova {

namespace {

const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);
const QColor Black(0, 0, 0);

const QString ConfirmText =
    "You have not saved you current work, are you sure you want to continue?";

// Event rows: the left column holds the stick, rotation, Z and hat events, the right one the
// buttons and shift buttons.
constexpr int LeftColumn[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 29, 30, 31, 32};
constexpr int RightColumn[] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28};

}  // namespace

TFormMain::TFormMain(TMapper& mapper, QWidget* parent) : QWidget(parent), FMapper(mapper) {
  FMapper.SetStatusSink([this](const std::string& line) { PostStatusLine(line); });
  setObjectName("FormMain");
  setWindowTitle("Kestrova");
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  setFixedSize(679, 544);
  BuildEventRows();
  BuildEditor();
  BuildBottom();
  FFirstShow = true;  // FormCreate
}

TFormMain::~TFormMain() {
  // Nothing the poll thread or the worker uses may go before they have ended.
  FMapper.Shutdown();
}

void TFormMain::BuildEventRows() {
  const auto place = [this](const int* events, int count, int x, int labelWidth) {
    for (int row = 0; row < count; ++row) {
      const int event = events[row];
      const int press = PressSlotOfEvent(event);
      const int y = 8 + row * 19;
      auto* label = Named(new QLabel(QString::fromUtf8(EventNames[event].data(),
                                                       static_cast<int>(EventNames[event].size())),
                                     this),
                          "LabelJoy" + QString::number(press));
      label->setGeometry(x, y, labelWidth, 17);
      label->setToolTip(label->text() + ": " +
                        QString::fromLatin1(PadControlNames[event].data(),
                                            static_cast<int>(PadControlNames[event].size())) +
                        " (on a game pad)");
      LabelJoy[event] = label;
      for (int slot : {press, press + 1}) {
        auto* button = Named(new TGlyphButton(slot == press ? "Press" : "Release", this),
                             "ButtonJoy" + QString::number(slot));
        button->setGeometry(x + labelWidth + (slot == press ? 0 : 44), y, slot == press ? 44 : 52,
                            17);
        button->setFocusPolicy(Qt::TabFocus);
        // Heard as "Stick Left Press", not as one of 66 "Press" and "Release" buttons.
        button->setAccessibleName(label->text() + (slot == press ? " Press" : " Release"));
        connect(button, &QPushButton::clicked, this,
                [this, button] { Guarded([&] { ButtonJoyClick(button); }); });
        ButtonJoy[slot] = button;
      }
    }
  };
  place(LeftColumn, std::size(LeftColumn), 8, 66);
  place(RightColumn, std::size(RightColumn), 180, 78);
}

void TFormMain::BuildEditor() {
  LabelCommand = Named(new QLabel("Commands For:", this), "LabelCommand");
  LabelCommand->setGeometry(370, 8, 300, 17);
  ListBoxCommand = Named(new QListWidget(this), "ListBoxCommand");
  ListBoxCommand->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBoxCommand->setGeometry(370, 26, 300, 160);

  struct TCommandButton {
    QPushButton** field;
    const char* name;
    const char* caption;
    int column;
    int row;
  };
  const TCommandButton buttons[] = {
      {&ButtonKeyDown, "ButtonKeyDown", "Key Down", 0, 0},
      {&ButtonKeyUp, "ButtonKeyUp", "Key Up", 0, 1},
      {&ButtonRightMouseDown, "ButtonRightMouseDown", "Right Mouse Down", 0, 2},
      {&ButtonRightMouseUp, "ButtonRightMouseUp", "Right Mouse Up", 0, 3},
      {&ButtonDelete, "ButtonDelete", "Clear", 0, 4},
      {&ButtonLeftMouseDown, "ButtonLeftMouseDown", "Left Mouse Down", 1, 0},
      {&ButtonLeftMouseUp, "ButtonLeftMouseUp", "Left Mouse Up", 1, 1},
      {&ButtonMouseMove, "ButtonMouseMove", "Mouse Move", 1, 2},
      {&ButtonBlockCommand, "ButtonBlockCommand", "Block Command", 1, 3},
      {&ButtonDelay, "ButtonDelay", "Delay", 1, 4},
  };
  for (const auto& b : buttons) {
    *b.field = Named(new QPushButton(b.caption, this), b.name);
    (*b.field)->setGeometry(400 + b.column * 130, 194 + b.row * 20, 110, 17);
  }
  connect(ButtonKeyDown, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonKeyDownClick(); }); });
  connect(ButtonKeyUp, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonKeyUpClick(); }); });
  for (QPushButton* mouse : {ButtonLeftMouseDown, ButtonLeftMouseUp, ButtonRightMouseDown,
                             ButtonRightMouseUp, ButtonMouseMove}) {
    connect(mouse, &QPushButton::clicked, this,
            [this, mouse] { Guarded([&] { MouseComClick(mouse); }); });
  }
  connect(ButtonBlockCommand, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonBlockCommandClick(); }); });
  connect(ButtonDelay, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonDelayClick(); }); });
  connect(ButtonDelete, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonClearClick(); }); });

  auto* inputLabel = new QLabel("Keyboard Input Simulation Test Box:", this);
  inputLabel->setGeometry(370, 300, 300, 17);
  MemoInput = Named(new QPlainTextEdit(this), "MemoInput");
  MemoInput->setGeometry(370, 318, 300, 90);
  auto* hint = new QLabel("(set focus here to see simulated keystrokes)", this);
  hint->setWordWrap(true);
  hint->setGeometry(370, 410, 300, 30);
}

void TFormMain::BuildBottom() {
  auto* statusLabel = new QLabel("Joystick Status:", this);
  statusLabel->setGeometry(8, 340, 200, 17);
  MemoTest = Named(new QPlainTextEdit(this), "MemoTest");
  MemoTest->setReadOnly(true);
  MemoTest->setFocusPolicy(Qt::NoFocus);
  MemoTest->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoTest->setGeometry(8, 358, 350, 100);

  struct TTolerance {
    QLineEdit** edit;
    TUpDown** upDown;
    const char* axis;
    int column;
    int row;
    void (TFormMain::*handler)(TUDBtnType);
  };
  const TTolerance tolerances[] = {
      {&EditXTol, &UpDownXTol, "X", 0, 0, &TFormMain::UpDownXTolClick},
      {&EditYTol, &UpDownYTol, "Y", 0, 1, &TFormMain::UpDownYTolClick},
      {&EditZTol, &UpDownZTol, "Z", 1, 0, &TFormMain::UpDownZTolClick},
      {&EditRTol, &UpDownRTol, "R", 1, 1, &TFormMain::UpDownRTolClick},
  };
  for (const auto& t : tolerances) {
    const int x = 8 + t.column * 175;
    const int y = 470 + t.row * 28;
    auto* label = new QLabel(QString(t.axis) + " Tol.", this);
    label->setGeometry(x, y + 2, 40, 20);
    *t.edit = Named(new QLineEdit("0", this), QString("Edit") + t.axis + "Tol");
    (*t.edit)->setReadOnly(true);
    (*t.edit)->setGeometry(x + 42, y, 50, 23);
    *t.upDown = Named(new TUpDown(*t.edit, this), QString("UpDown") + t.axis + "Tol");
    (*t.upDown)->setGeometry(x + 94, y, 40, 23);
    const QString axis = QString(t.axis) + " tolerance";
    (*t.edit)->setAccessibleName(axis);
    (*t.upDown)->setAccessibleName(axis);
    (*t.upDown)->UpButton()->setAccessibleName("Increase " + axis);
    (*t.upDown)->DownButton()->setAccessibleName("Decrease " + axis);
    const auto handler = t.handler;
    connect(*t.upDown, &TUpDown::Click, this,
            [this, handler](TUDBtnType button) { Guarded([&] { (this->*handler)(button); }); });
  }

  // Beside the specified controls, in the row the button column leaves free.
  ButtonController = Named(new QPushButton("Controller...", this), "ButtonController");
  ButtonController->setGeometry(180, 312, 174, 17);
  ButtonController->setToolTip("See the controller as Kestrova reads it, with the tolerances");
  ButtonController->setAccessibleName("Controller view");
  connect(ButtonController, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonControllerClick(); }); });
  ButtonAbout = Named(new QPushButton("&About", this), "ButtonAbout");
  ButtonSaveProfile = Named(new QPushButton("&Save Profile", this), "ButtonSaveProfile");
  ButtonLoadProfile = Named(new QPushButton("&Load Profile", this), "ButtonLoadProfile");
  ButtonHelp = Named(new QPushButton("&Help", this), "ButtonHelp");
  ButtonExit = Named(new QPushButton("&Exit!", this), "ButtonExit");
  ButtonAbout->setGeometry(370, 470, 96, 25);
  ButtonSaveProfile->setGeometry(472, 470, 96, 25);
  ButtonLoadProfile->setGeometry(574, 470, 96, 25);
  ButtonHelp->setGeometry(472, 506, 96, 25);
  ButtonExit->setGeometry(574, 506, 96, 25);
  connect(ButtonAbout, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonAboutClick(); }); });
  connect(ButtonSaveProfile, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonSaveProfileClick(); }); });
  connect(ButtonLoadProfile, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonLoadProfileClick(); }); });
  connect(ButtonHelp, &QPushButton::clicked, this, [this] { Guarded([&] { ButtonHelpClick(); }); });
  connect(ButtonExit, &QPushButton::clicked, this, [this] { Guarded([&] { ButtonExitClick(); }); });
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
  if (FFirstShow) {
    if (const QScreen* screen = this->screen()) {
      const QRect area = screen->availableGeometry();
      move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    MemoTest->clear();
    FMapper.SetXTol(300);
    FMapper.SetYTol(300);
    FMapper.SetZTol(300);
    FMapper.SetRTol(300);
    FMapper.SetSlots(TSlotTable{});
    FCommandIndex = -1;
    SetCommandIndex(0);
    FSaved = true;
    FMapper.Start();  // the worker, the trace files, and last polling
    FFirstShow = false;
  }
  EditXTol->setText(QString::number(FMapper.XTol()));
  EditYTol->setText(QString::number(FMapper.YTol()));
  EditZTol->setText(QString::number(FMapper.ZTol()));
  EditRTol->setText(QString::number(FMapper.RTol()));
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
  return findChild<QLabel*>(QString::fromStdString(kestrova::GetJoyLabel(slot)));
}

void TFormMain::SetLabelColor(QLabel* label, const QColor& color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
}

void TFormMain::StoreListBox(int slot) {
  if (slot < 0) return;
  std::vector<std::string> lines;
  lines.reserve(ListBoxCommand->count());
  for (int i = 0; i < ListBoxCommand->count(); ++i) {
    lines.push_back(ListBoxCommand->item(i)->text().toLatin1().toStdString());
  }
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
  for (const auto& line : FMapper.Slot(slot)) {
    ListBoxCommand->addItem(QString::fromLatin1(line.data(), static_cast<int>(line.size())));
  }
  RefreshCommands();
}

void TFormMain::ButtonJoyClick(QObject* sender) {
  SetCommandIndex(GetIndexFromControlName(sender->objectName().toStdString()));
  if (auto* button = qobject_cast<TGlyphButton*>(sender)) button->SetFontColor(Blue);
}

void TFormMain::RefreshCommands() {
  StoreListBox(FCommandIndex);
  for (int slot = 0; slot <= MaxSlotIndex; ++slot) {
    if (slot == FCommandIndex) continue;
    ButtonJoy[slot]->SetFontColor(FMapper.Slot(slot).empty() ? Black : Yellow);
  }
  repaint();
}

void TFormMain::AppendLine(const QString& line) {
  ListBoxCommand->addItem(line);
}

void TFormMain::AskKey(std::string (*lineOf)(std::string_view key)) {
  FSaved = false;
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
  FSaved = false;
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

void TFormMain::ButtonBlockCommandClick() {
  FSaved = false;
  StoreListBox(FCommandIndex);
  const QString next = QString::fromStdString(FMapper.GetNextBlockId());
  if (!FDialogs.Block) return;
  TFormBlock& dialog = *FDialogs.Block;
  dialog.NextBlockId = next;
  dialog.BlockIds.clear();
  for (const auto& id : FMapper.BlockIds()) dialog.BlockIds.append(QString::fromLatin1(id.c_str()));
  dialog.OpenBlockId.clear();
  for (int i = ListBoxCommand->count() - 1; i >= 0; --i) {
    const std::string line = ListBoxCommand->item(i)->text().toLatin1().toStdString();
    if (Contains(line, BeginBlockKeyword)) {
      dialog.OpenBlockId = QString::fromLatin1(GetCmdParam(line, 2).c_str());
      break;
    }
  }
  if (dialog.exec() == QDialog::Accepted) {
    AppendLine(dialog.CommandLine);
    RefreshCommands();
  }
}

void TFormMain::ButtonDelayClick() {
  FSaved = false;
  AppendLine(QString::fromLatin1(DelayLine("1")));
  RefreshCommands();
}

void TFormMain::ButtonClearClick() {
  FSaved = false;
  ListBoxCommand->clear();
  RefreshCommands();
}

void TFormMain::UpDownXTolClick(TUDBtnType) {
  FSaved = false;
  FMapper.SetXTol(StrToInt(EditXTol->text().toStdString()));
}

void TFormMain::UpDownYTolClick(TUDBtnType) {
  FSaved = false;
  FMapper.SetYTol(StrToInt(EditYTol->text().toStdString()));
}

void TFormMain::UpDownZTolClick(TUDBtnType) {
  FSaved = false;
  FMapper.SetZTol(StrToInt(EditZTol->text().toStdString()));
}

void TFormMain::UpDownRTolClick(TUDBtnType) {
  FSaved = false;
  FMapper.SetRTol(StrToInt(EditRTol->text().toStdString()));
}

void TFormMain::SaveProfile() {
  const QString path = Shell().GetSaveFileName(this);
  if (path.isEmpty()) return;
  StoreListBox(FCommandIndex);
  WriteProfileFile(path.toStdString(), FMapper.Slots(),
                   {FMapper.XTol(), FMapper.YTol(), FMapper.ZTol(), FMapper.RTol()});
  setWindowTitle("Kestrova - " + path);
  FSaved = true;
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
  ApplyProfile(profile, path);
  return {};
}

void TFormMain::ApplyProfile(const TLoadedProfile& profile, const QString& path) {
  FMapper.SetSlots(profile.Slots);
  FMapper.SetXTol(profile.Tolerances[0]);
  FMapper.SetYTol(profile.Tolerances[1]);
  FMapper.SetZTol(profile.Tolerances[2]);
  FMapper.SetRTol(profile.Tolerances[3]);
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
  setWindowTitle("Kestrova - " + path);
  FSaved = true;
  if (OnProfileFile) OnProfileFile(path);
}

void TFormMain::SwitchProfileFor(const QString& profile, const QString& application) {
  if (profile.isEmpty() || QFileInfo(profile).absoluteFilePath() == ProfilePath()) return;
  if (!FSaved) {
    AddStatusLine("Not switched to " + profile + " for " + application +
                  ": the profile shown has unsaved edits");
    return;
  }
  FMapper.DropQueueAndRelease();  // a switch never leaves a key down
  const QString error = TryLoadProfileFile(QFileInfo(profile).absoluteFilePath());
  if (!error.isEmpty()) {
    AddStatusLine("Not switched to " + profile + " for " + application + ": " +
                  error.section('\n', 0, 0));
    return;
  }
  AddStatusLine("Switched to " + profile + " for " + application);
}

bool TFormMain::ConfirmDiscard() {
  return FSaved || Shell().AskYesNo(this, "Confirm Action", ConfirmText);
}

QString TFormMain::ProfilePath() const {
  const QString prefix = "Kestrova - ";
  return windowTitle().startsWith(prefix) ? windowTitle().mid(prefix.size()) : QString();
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
