// The main window's controls: where each one is, what it is called and what it runs.

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

#include "mapping/Commands.h"
#include "mapping/Slots.h"
#include "platform/qt/Named.h"
#include "window/FormMain.h"
#include "window/MoreControls.h"
#include "window/MotionDialog.h"

namespace kestrova {

namespace {

// Event rows: the left column holds the stick, rotation, Z and hat events, the right one the
// buttons and shift buttons.
constexpr int LeftColumn[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 29, 30, 31, 32};
constexpr int RightColumn[] = {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28};
// The "More controls" panel: the axes and triggers on the left, the buttons on the right.
constexpr int MoreLeftColumn[] = {33, 34, 35, 36, 37, 38, 53};
constexpr int MoreRightColumn[] = {39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52};
static_assert(std::size(MoreLeftColumn) + std::size(MoreRightColumn) == ExtendedEventCount);

}  // namespace

void TFormMain::BuildEventRows() {
  const auto place = [this](QWidget* parent, const int* events, int count, int x, int labelWidth) {
    for (int row = 0; row < count; ++row) {
      const int event = events[row];
      const int press = PressSlotOfEvent(event);
      const int y = 8 + row * 19;
      auto* label = Named(new QLabel(QString::fromUtf8(EventNames[event].data(),
                                                       static_cast<int>(EventNames[event].size())),
                                     parent),
                          "LabelJoy" + QString::number(press));
      label->setGeometry(x, y, labelWidth, 17);
      label->setToolTip(label->text() + ": " +
                        QString::fromLatin1(PadControlNames[event].data(),
                                            static_cast<int>(PadControlNames[event].size())) +
                        " (on a game pad)");
      LabelJoy[event] = label;
      for (int slot : {press, press + 1}) {
        auto* button = Named(new TGlyphButton(slot == press ? "Press" : "Release", parent),
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
  place(this, LeftColumn, std::size(LeftColumn), 8, 66);
  place(this, RightColumn, std::size(RightColumn), 180, 78);

  MoreControls = new TFormMoreControls(this);
  MoreControls->hide();
  connect(MoreControls, &TFormMoreControls::Closed, this,
          [this] { Guarded([&] { ShowMoreControls(false); }); });
  place(MoreControls, MoreLeftColumn, std::size(MoreLeftColumn), TFormMoreControls::LeftColumnX,
        92);
  place(MoreControls, MoreRightColumn, std::size(MoreRightColumn), TFormMoreControls::RightColumnX,
        90);
  for (int i = 0; i < 3; ++i) {
    const int axis = BaseToleranceCount + i;
    connect(MoreControls->ToleranceSpins[i], &QSpinBox::valueChanged, this,
            [this, axis](int value) { Guarded([&] { ToleranceChanged(axis, value); }); });
  }
}

QSize TFormMain::ContentSize() const {
  if (MoreControls->isHidden()) return FullSize;
  return {FullSize.width() + TFormMoreControls::Width,
          std::max(FullSize.height(), TFormMoreControls::Height)};
}

void TFormMain::ShowMoreControls(bool shown) {
  MoreControls->setVisible(shown);
  FitToScreen();
  if (!shown) return;
  MoreControls->raise();
  MoreControls->setFocus();
  // Grown to the right: kept on the screen, never moved above or left of its free area.
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    if (frame.right() > area.right()) {
      move(std::max(area.left(), x() - (frame.right() - area.right())), y());
    }
  }
}

void TFormMain::FitToScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  const QSize content = ContentSize();
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize room = screen->availableGeometry().size() - frame;
  ScrollBarVertical->setValue(0);
  ScrollBarHorizontal->setValue(0);
  ScrollTo({0, 0});
  MoreControls->move(FullSize.width(), 0);
  const bool tall = content.height() > room.height();
  const bool wide = content.width() > room.width();
  ScrollBarVertical->setVisible(tall);
  ScrollBarHorizontal->setVisible(wide);
  if (!tall && !wide) {
    setFixedSize(content);
    return;
  }
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  setFixedSize(std::min(content.width() + (tall ? bar : 0), room.width()),
               std::min(content.height() + (wide ? bar : 0), room.height()));
  const QSize seen(width() - (tall ? bar : 0), height() - (wide ? bar : 0));
  ScrollBarVertical->setRange(0, std::max(0, content.height() - seen.height()));
  ScrollBarVertical->setPageStep(seen.height());
  ScrollBarHorizontal->setRange(0, std::max(0, content.width() - seen.width()));
  ScrollBarHorizontal->setPageStep(seen.width());
  PlaceScrollBars();
}

void TFormMain::ScrollTo(QPoint offset) {
  // Scrolling moves every control, the scroll bars too: they are put back at the edges.
  scroll(FScrolled.x() - offset.x(), FScrolled.y() - offset.y());
  FScrolled = offset;
  PlaceScrollBars();
}

void TFormMain::PlaceScrollBars() {
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const bool both = ScrollBarVertical->isVisibleTo(this) && ScrollBarHorizontal->isVisibleTo(this);
  ScrollBarVertical->setGeometry(width() - bar, 0, bar, height() - (both ? bar : 0));
  ScrollBarHorizontal->setGeometry(0, height() - bar, width() - (both ? bar : 0), bar);
  ScrollBarVertical->raise();
  ScrollBarHorizontal->raise();
}

void TFormMain::wheelEvent(QWheelEvent* event) {
  if (ScrollBarVertical->isVisible()) {
    QCoreApplication::sendEvent(ScrollBarVertical, event);
    return;
  }
  QWidget::wheelEvent(event);
}

void TFormMain::BuildEditor() {
  LabelCommand = Named(new QLabel("Commands For:", this), "LabelCommand");
  LabelCommand->setGeometry(370, 8, 300, 17);
  ListBoxCommand = Named(new TCommandList(this), "ListBoxCommand");
  ListBoxCommand->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBoxCommand->setUniformItemSizes(true);  // a list of a million lines fills in a moment
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
  // An addition in free space: under the test box's hint.
  ButtonMotion = Named(new QPushButton("Motion...", this), "ButtonMotion");
  ButtonMotion->setGeometry(370, 442, 96, 21);
  ButtonMotion->setToolTip("A stick as the mouse, or flick stick, beside the command lists");
  FormMotion = new TFormMotion(FEngine.Motion(), this);
  connect(ButtonMotion, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonMotionClick(); }); });
}

void TFormMain::BuildBottom() {
  auto* statusLabel = new QLabel("Joystick Status:", this);
  statusLabel->setGeometry(8, 340, 200, 17);
  // An addition in free space: the rest of the status box's caption row.
  ButtonMoreMouse = Named(new QPushButton("More mouse...", this), "ButtonMoreMouse");
  ButtonMoreMouse->setGeometry(214, 339, 140, 18);
  ButtonMoreMouse->setToolTip(
      "Middle, back and forward mouse buttons, the wheels, and a stick as the mouse in one step");
  MenuMoreMouse = Named(new QMenu(ButtonMoreMouse), "MenuMoreMouse");
  for (const std::string_view line :
       {MiddleMouseDownLine, MiddleMouseUpLine, BackMouseDownLine, BackMouseUpLine,
        ForwardMouseDownLine, ForwardMouseUpLine, MouseWheelKeyword, MouseHWheelKeyword}) {
    const QString text = QString::fromLatin1(line.data(), static_cast<int>(line.size()));
    const bool wheel = line == MouseWheelKeyword || line == MouseHWheelKeyword;
    MenuMoreMouse->addAction(wheel ? text + " n..." : text, this,
                             [this, text] { Guarded([&] { MoreMouseClick(text); }); });
  }
  MenuMoreMouse->addSeparator();
  MenuMoreMouse->addAction("Stick as mouse...", this, [this] { Guarded([&] { StickAsMouse(); }); });
  MenuMoreMouse->addAction("Stick as mouse (as command blocks)...", this,
                           [this] { Guarded([&] { StickAsMouseBlocks(); }); });
  ButtonMoreMouse->setMenu(MenuMoreMouse);
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

  // An addition in free space: the row the button column leaves empty.
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
  // An addition in free space: under About, the events of a modern pad beyond the rows above.
  ButtonMoreControls = Named(new QPushButton("More controls...", this), "ButtonMoreControls");
  ButtonMoreControls->setGeometry(370, 506, 96, 25);
  ButtonMoreControls->setToolTip(
      "The right stick's left and right (U), V, each trigger on its own, and buttons 10 to 16, "
      "beside these controls (click again to hide them)");
  connect(ButtonMoreControls, &QPushButton::clicked, this,
          [this] { Guarded([&] { ShowMoreControls(MoreControls->isHidden()); }); });
  ButtonExit->setGeometry(574, 506, 96, 25);
  connect(ButtonAbout, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonAboutClick(); }); });
  connect(ButtonSaveProfile, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonSaveProfileClick(); }); });
  connect(ButtonLoadProfile, &QPushButton::clicked, this,
          [this] { Guarded([&] { ButtonLoadProfileClick(); }); });
  connect(ButtonHelp, &QPushButton::clicked, this, [this] { Guarded([&] { ButtonHelpClick(); }); });
  connect(ButtonExit, &QPushButton::clicked, this, [this] { Guarded([&] { ButtonExitClick(); }); });

  for (QScrollBar** bar : {&ScrollBarVertical, &ScrollBarHorizontal}) {
    const bool vertical = bar == &ScrollBarVertical;
    *bar = Named(new QScrollBar(vertical ? Qt::Vertical : Qt::Horizontal, this),
                 vertical ? "ScrollBarVertical" : "ScrollBarHorizontal");
    (*bar)->hide();
    connect(*bar, &QScrollBar::valueChanged, this, [this, vertical](int value) {
      ScrollTo(vertical ? QPoint(FScrolled.x(), value) : QPoint(value, FScrolled.y()));
    });
  }
}

}  // namespace kestrova
