#include "window/ControllerView.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <tuple>

#include "exec/Mapper.h"
#include "session/Monitor.h"

namespace kestrova {

namespace {

const char* const AxisLetters[JoyAxisCount] = {"X", "Y", "Z", "R", "U", "V"};
const char* const PadAxisNames[JoyAxisCount] = {"X: left stick",
                                                "Y: left stick",
                                                "Z: triggers",
                                                "R: right stick up/down",
                                                "U: right stick left/right",
                                                "V"};
const char* const PadButtonNames[16] = {"A",  "B",  "X",     "Y",     "LB", "RB", "Back", "Start",
                                        "LS", "RS", "Guide", "Share", "P1", "P2", "P3",   "P4"};
const char* const HatNames[9] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW", "centre"};
const QString Lit = "background: #f0c040; border: 1px solid #806010;";
const QString Unlit = "background: #e8e8e8; border: 1px solid #a0a0a0; color: #606060;";

}  // namespace

TAxisBar::TAxisBar(QWidget* parent) : QWidget(parent) {
  setMinimumSize(220, 18);
}

void TAxisBar::Set(int value, int tolerance, bool routed) {
  if (value == FValue && tolerance == FTolerance && routed == FRouted) return;
  FValue = value;
  FTolerance = tolerance;
  FRouted = routed;
  update();
}

int TAxisBar::Direction() const {
  if (!FRouted) return 0;
  if (FValue < -FTolerance) return -1;
  if (FValue > FTolerance) return 1;
  return 0;
}

void TAxisBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF area = rect().adjusted(1, 1, -1, -1);
  const auto x = [&](double value) {
    return area.left() + (std::clamp(value, -500.0, 500.0) + 500.0) / 1000.0 * area.width();
  };
  painter.fillRect(area, QColor(250, 250, 250));
  if (FRouted) {
    const double band = std::clamp(FTolerance, 0, 1000);
    painter.fillRect(QRectF(QPointF(x(-band), area.top()), QPointF(x(band), area.bottom())),
                     QColor(210, 225, 245));
    const int direction = Direction();
    if (direction < 0) {
      painter.fillRect(QRectF(QPointF(area.left(), area.top()), QPointF(x(-band), area.bottom())),
                       QColor(240, 192, 64));
    } else if (direction > 0) {
      painter.fillRect(QRectF(QPointF(x(band), area.top()), QPointF(area.right(), area.bottom())),
                       QColor(240, 192, 64));
    }
  }
  painter.setPen(QPen(QColor(40, 40, 40), 2));
  painter.drawLine(QPointF(x(FValue), area.top()), QPointF(x(FValue), area.bottom()));
  painter.setPen(QColor(160, 160, 160));
  painter.drawRect(area);
}

TFormController::TFormController(TMapper& mapper, QWidget* parent)
    : QDialog(parent), FMapper(mapper), FTimer(new QTimer(this)) {
  setObjectName("FormController");
  setWindowTitle("Controller");
  auto* grid = new QGridLayout(this);
  LabelController = new QLabel(this);
  LabelController->setObjectName("LabelController");
  grid->addWidget(LabelController, 0, 0, 1, 3);
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    AxisNames[axis] = new QLabel(AxisLetters[axis], this);
    AxisBars[axis] = new TAxisBar(this);
    AxisBars[axis]->setObjectName(QString("AxisBar") + AxisLetters[axis]);
    AxisBars[axis]->setAccessibleName(QString("Axis ") + AxisLetters[axis]);
    AxisTexts[axis] = new QLabel(this);
    // A fixed size: new text repaints the label alone, never the dialog's layout.
    AxisTexts[axis]->setFixedSize(210, 18);
    grid->addWidget(AxisNames[axis], 1 + axis, 0);
    grid->addWidget(AxisBars[axis], 1 + axis, 1);
    grid->addWidget(AxisTexts[axis], 1 + axis, 2);
  }
  auto* triggersTitle = new QLabel("Triggers:", this);
  TriggerText = new QLabel(this);
  TriggerText->setObjectName("TriggerText");
  TriggerText->setFixedSize(430, 18);
  grid->addWidget(triggersTitle, 7, 0);
  grid->addWidget(TriggerText, 7, 1, 1, 2);
  auto* buttons = new QGridLayout;
  for (int button = 0; button < 32; ++button) {
    auto* lamp = new QLabel(this);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setMinimumSize(44, 20);
    lamp->setStyleSheet(Unlit);
    ButtonLamps[button] = lamp;
    buttons->addWidget(lamp, button / 8, button % 8);
  }
  auto* buttonsTitle = new QLabel("Buttons:", this);
  grid->addWidget(buttonsTitle, 8, 0, Qt::AlignTop);
  grid->addLayout(buttons, 8, 1, 1, 2);
  auto* rose = new QGridLayout;
  const int cells[9][2] = {{0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 0}, {0, 0}, {1, 1}};
  for (int position = 0; position < 9; ++position) {
    auto* label = new QLabel(HatNames[position], this);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(48, 20);
    label->setStyleSheet(Unlit);
    HatPositions[position] = label;
    rose->addWidget(label, cells[position][0], cells[position][1]);
  }
  auto* hatTitle = new QLabel("Hat:", this);
  grid->addWidget(hatTitle, 9, 0, Qt::AlignTop);
  grid->addLayout(rose, 9, 1, 1, 2, Qt::AlignLeft);
  grid->addWidget(new QLabel("Motion:", this), 10, 0);
  SensorText = new QLabel(this);
  SensorText->setObjectName("SensorText");
  SensorText->setFixedSize(430, 18);
  grid->addWidget(SensorText, 10, 1, 1, 2);
  FTimer->setInterval(33);  // at most 30 updates a second: smooth enough to watch, and cheap
  connect(FTimer, &QTimer::timeout, this, [this] { Refresh(); });
  ShowController(false);
}

TFormController::~TFormController() {
  FMapper.Jstick1.SetReadingObserver(nullptr);
}

void TFormController::TLatest::OnReading(const TJoyReading& reading) {
  {
    std::lock_guard lock(Lock);
    Reading = reading;
  }
  ++Sequence;
}

void TFormController::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FKnown = false;
  FMapper.Jstick1.SetReadingObserver(&FLatest);
  FTimer->start();
}

void TFormController::hideEvent(QHideEvent* event) {
  // Closed, it costs nothing: no observer on the poll thread, no timer.
  FTimer->stop();
  FMapper.Jstick1.SetReadingObserver(nullptr);
  QDialog::hideEvent(event);
}

void TFormController::ShowController(bool answering) {
  const int id = FMapper.Jstick1.JoystickID();
  FAnswering = answering;
  FPadLayout = false;
  QString title = QString::fromStdString(NoControllerLine(id, false));
  if (answering) {
    for (const auto& controller : ListControllers(FMapper.Jstick1.Service())) {
      if (controller.JoystickID != id) continue;
      title = QString::fromStdString(ControllerLine(controller));
      FPadLayout = controller.PadLayout;
    }
  }
  LabelController->setText(title);
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    AxisNames[axis]->setText(FPadLayout ? PadAxisNames[axis] : AxisLetters[axis]);
  }
  for (int button = 0; button < 32; ++button) {
    QString text = QString::number(button + 1);
    if (FPadLayout && button < 16) text += QString(" ") + PadButtonNames[button];
    if (button == 8) text += " shift";
    ButtonLamps[button]->setText(text);
  }
}

void TFormController::Refresh() {
  const TTolerances tolerances = FMapper.Tolerances();
  const std::uint64_t sequence = FLatest.Sequence.load();
  // Nothing new and the same tolerances: nothing to do (the timer ticks 60 times a second).
  if (FKnown && sequence == FShown && tolerances == FTolerances) return;
  FTolerances = tolerances;
  TJoyReading reading;
  {
    std::lock_guard lock(FLatest.Lock);
    reading = FLatest.Reading;
  }
  if (!FKnown || reading.Answering != FAnswering) ShowController(reading.Answering);
  FKnown = true;
  static constexpr std::uint32_t JOYINFOEX::*fields[JoyAxisCount] = {
      &JOYINFOEX::dwXpos, &JOYINFOEX::dwYpos, &JOYINFOEX::dwZpos,
      &JOYINFOEX::dwRpos, &JOYINFOEX::dwUpos, &JOYINFOEX::dwVpos};
  for (int axis = 0; axis < JoyAxisCount; ++axis) {
    const bool routed = true;
    const int tolerance = tolerances[static_cast<std::size_t>(axis)];
    // X and Y are routed with an offset of one; the bar shows what the routing compares.
    const int value = reading.Value[axis] + (axis <= jaY ? 1 : 0);
    AxisBars[axis]->Set(value, tolerance, routed);
    AxisBars[axis]->setEnabled(reading.Present[axis]);
    if (!reading.Answering || !reading.Present[axis]) {
      FAxisShown[axis] = {};
      AxisTexts[axis]->setText(reading.Answering ? "not on this controller" : "");
      continue;
    }
    const auto shown = std::make_tuple(reading.Raw.*fields[axis], reading.Value[axis], tolerance);
    if (FAxisShown[axis] == shown) continue;  // its text stands
    FAxisShown[axis] = shown;
    const std::string direction =
        AxisDirection(static_cast<TJoyAxis>(axis), reading.Value[axis], tolerance);
    AxisTexts[axis]->setText(QString("raw %1 -> %2 %3")
                                 .arg(reading.Raw.*fields[axis])
                                 .arg(reading.Value[axis])
                                 .arg(QString::fromStdString(direction)));
  }
  const auto trigger = [&](const char* side, std::uint32_t raw) {
    const int value = TriggerValue(raw);
    return QString("%1 raw %2 -> %3 %4")
        .arg(side)
        .arg(raw)
        .arg(value)
        .arg(QString::fromStdString(TriggerState(value, tolerances[ToleranceCount - 1])));
  };
  TriggerText->setText(!reading.Answering ? QString("no controller")
                       : FPadLayout       ? trigger("left", LeftTrigger(reading.Raw)) + ";  " +
                                          trigger("right", RightTrigger(reading.Raw))
                                    : "none on this controller");
  QString sensors;
  if (reading.Answering && reading.HasGyro) {
    sensors = QString("gyro %1 %2 %3 degrees/s")
                  .arg(reading.Gyro[0], 0, 'f', 1)
                  .arg(reading.Gyro[1], 0, 'f', 1)
                  .arg(reading.Gyro[2], 0, 'f', 1);
  }
  if (reading.Answering && reading.Touching) {
    sensors += QString(sensors.isEmpty() ? "" : ";  ") +
               QString("touch %1 %2").arg(reading.TouchX, 0, 'f', 2).arg(reading.TouchY, 0, 'f', 2);
  }
  if (sensors.isEmpty()) sensors = reading.Answering ? "no gyro or touch" : "";
  if (SensorText->text() != sensors) SensorText->setText(sensors);
  // Style sheets are dear to apply: only lamps that change are restyled.
  const auto light = [](QLabel* lamp, bool lit) {
    if (lamp->property("lit").toBool() == lit) return;
    lamp->setStyleSheet(lit ? Lit : Unlit);
    lamp->setProperty("lit", lit);
  };
  for (int button = 0; button < 32; ++button) {
    light(ButtonLamps[button], (reading.Raw.dwButtons >> button) & 1u);
  }
  const std::string hat = HatDirection(reading.Raw.dwPOV);
  static const char* const hatStates[9] = {"North", "NE",   "East", "SE",    "South",
                                           "SW",    "West", "NW",   "Center"};
  for (int position = 0; position < 9; ++position) {
    light(HatPositions[position], reading.Answering && hat == hatStates[position]);
  }
  if (sequence != FShown) {
    FShown = sequence;
    ++FUpdates;
  }
}

}  // namespace kestrova
