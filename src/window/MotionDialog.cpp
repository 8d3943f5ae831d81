#include "window/MotionDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "motion/StickMotion.h"

namespace kestrova {

namespace {

constexpr int TurnStepMs = 4;

}  // namespace

TStickView::TStickView(QWidget* parent) : QWidget(parent) {
  setFixedSize(90, 90);
  setAccessibleName("Stick position");
}

void TStickView::Show(TStick stick, double deadZone, double outerZone) {
  FStick = stick;
  FDeadZone = deadZone;
  FOuterZone = outerZone;
  update();
}

void TStickView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF square = QRectF(rect()).adjusted(4, 4, -4, -4);
  const QPointF centre = square.center();
  const double radius = square.width() / 2;
  painter.fillRect(rect(), palette().base());
  painter.setPen(palette().mid().color());
  painter.drawRect(square);
  painter.drawEllipse(centre, radius, radius);
  painter.setPen(QPen(palette().text().color(), 1, Qt::DashLine));
  painter.drawEllipse(centre, radius * FDeadZone / 100, radius * FDeadZone / 100);
  const double outer = radius * (1 - FOuterZone / 100);
  painter.drawEllipse(centre, outer, outer);
  painter.setPen(Qt::NoPen);
  painter.setBrush(palette().highlight());
  painter.drawEllipse(centre + QPointF(FStick.X * radius, FStick.Y * radius), 4, 4);
}

TFormMotion::TFormMotion(TMotion& motion, QWidget* parent)
    : QDialog(parent), FMotion(motion), FLiveTimer(new QTimer(this)), FTurnTimer(new QTimer(this)) {
  setObjectName("FormMotion");
  setWindowTitle("Motion");
  auto* layout = new QVBoxLayout(this);
  auto* sources = new QGridLayout;
  layout->addLayout(sources);
  for (int source = 0; source < MotionSourceCount; ++source) {
    const auto kind = static_cast<TMotionSource>(source);
    TSourceControls& controls = Sources[source];
    const QString name = QString::fromLatin1(MotionSourceNames[source].data(),
                                             static_cast<int>(MotionSourceNames[source].size()));
    const QString prefix = name.section(' ', 0, 0);
    auto* box = new QGroupBox(name, this);
    box->setObjectName(QString(name).remove(' '));
    auto* grid = new QGridLayout(box);
    controls.Mode = new QComboBox(box);
    controls.Mode->addItem("Off");
    controls.Mode->addItem("Mouse");
    if (HasMode(kind, TMotionMode::Flick)) controls.Mode->addItem("Flick stick");
    controls.Mode->setAccessibleName(name + " mode");
    grid->addWidget(new QLabel("Mode", box), 0, 0);
    grid->addWidget(controls.Mode, 0, 1);
    int row = 1;
    for (const TMotionMode mode : {TMotionMode::Mouse, TMotionMode::Flick}) {
      for (const TMotionValue& value : MotionValuesOf(kind, mode)) {
        TValueControl control{mode, value};
        control.Label = new QLabel(
            QString::fromLatin1(value.Label.data(), static_cast<int>(value.Label.size())), box);
        const QString object = prefix + QString::fromLatin1(value.Name.data()) +
                               (mode == TMotionMode::Flick ? "Flick" : "");
        QWidget* field = nullptr;
        if (value.Choices.empty()) {
          control.Spin = new QDoubleSpinBox(box);
          control.Spin->setRange(value.Min, value.Max);
          control.Spin->setDecimals(value.Decimals);
          field = control.Spin;
        } else {
          control.Choice = new QComboBox(box);
          for (const std::string_view choice : value.Choices) {
            control.Choice->addItem(
                QString::fromLatin1(choice.data(), static_cast<int>(choice.size())));
          }
          field = control.Choice;
        }
        field->setObjectName(object);
        field->setAccessibleName(name + " " + control.Label->text());
        grid->addWidget(control.Label, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
        controls.Values.push_back(control);
      }
    }
    controls.Result = new QLabel(box);
    controls.Result->setObjectName(prefix + "Result");
    if (IsStick(kind)) {
      controls.View = new TStickView(box);
      grid->addWidget(controls.View, row++, 0, 1, 2, Qt::AlignHCenter);
      controls.TurnOnce = new QPushButton("Turn once", box);
      controls.TurnOnce->setToolTip(
          "Turns the view by the counts of one whole turn: where the game turns by more or less, "
          "change the counts until it turns exactly once");
      connect(controls.TurnOnce, &QPushButton::clicked, this,
              [this, source] { TurnOnceClick(source); });
    } else if (kind == TMotionSource::Gyro) {
      controls.Calibrate = new QPushButton("Calibrate (hold still)", box);
      controls.Calibrate->setToolTip(
          "Lay the pad down or hold it still for two seconds: its resting rate is taken off "
          "(kept for this pad, not in the profile)");
      connect(controls.Calibrate, &QPushButton::clicked, this, [this] { CalibrateClick(); });
    }
    grid->addWidget(controls.Result, row++, 0, 1, 2);
    if (controls.TurnOnce) grid->addWidget(controls.TurnOnce, row++, 0, 1, 2);
    if (controls.Calibrate) grid->addWidget(controls.Calibrate, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    sources->addWidget(box, source / 2, source % 2);
    connect(controls.Mode, &QComboBox::currentIndexChanged, this, [this, source] {
      ShowMode(source);
      UpdateLive();
    });
  }
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel("Read an active source every (ms)", this));
  SpinPeriod = new QSpinBox(this);
  SpinPeriod->setObjectName("SpinPeriod");
  SpinPeriod->setRange(1, 20);
  SpinPeriod->setAccessibleName("Motion period in milliseconds");
  bottom->addWidget(SpinPeriod);
  bottom->addStretch();
  ButtonOk = new QPushButton("&Ok", this);
  ButtonCancel = new QPushButton("&Cancel", this);
  ButtonOk->setDefault(true);
  bottom->addWidget(ButtonOk);
  bottom->addWidget(ButtonCancel);
  layout->addLayout(bottom);
  connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(FLiveTimer, &QTimer::timeout, this, [this] { UpdateLive(); });
  connect(FTurnTimer, &QTimer::timeout, this, [this] {
    FTurnElapsedMs += TurnStepMs;
    const double due =
        FTurnMs > 0 ? FTurnCounts * TFlickStick::Eased(FTurnElapsedMs / FTurnMs) : FTurnCounts;
    const double step = std::trunc(due - FTurnGiven);
    if (step != 0) FMotion.Move(static_cast<int>(step), 0);
    FTurnGiven += step;
    if (FTurnElapsedMs >= FTurnMs) FTurnTimer->stop();
  });
  SetSettings(TMotionSettings{});
}

QDoubleSpinBox* TFormMotion::SpinOf(TMotionSource source, TMotionMode mode,
                                    std::string_view name) const {
  for (const TValueControl& control : Sources[static_cast<int>(source)].Values) {
    if (control.Mode == mode && control.Value.Name == name) return control.Spin;
  }
  return nullptr;
}

void TFormMotion::SetSettings(const TMotionSettings& settings) {
  for (int source = 0; source < MotionSourceCount; ++source) {
    TSourceControls& controls = Sources[source];
    const TSourceMotion& values = settings.Sources[source];
    for (TValueControl& control : controls.Values) {
      const double value = values.*control.Value.Field;
      if (control.Spin) control.Spin->setValue(value);
      if (control.Choice) control.Choice->setCurrentIndex(static_cast<int>(value));
    }
    controls.Mode->setCurrentIndex(static_cast<int>(values.Mode));
    ShowMode(source);
  }
  SpinPeriod->setValue(settings.PeriodMs);
  UpdateLive();
}

TMotionSettings TFormMotion::Settings() const {
  TMotionSettings settings;
  for (int source = 0; source < MotionSourceCount; ++source) {
    const TSourceControls& controls = Sources[source];
    TSourceMotion& values = settings.Sources[source];
    values.Mode = static_cast<TMotionMode>(controls.Mode->currentIndex());
    // The values of the mode shown; the other mode's keep their defaults.
    for (const TValueControl& control : controls.Values) {
      if (control.Mode != values.Mode) continue;
      values.*control.Value.Field =
          control.Spin ? control.Spin->value() : control.Choice->currentIndex();
    }
  }
  settings.PeriodMs = SpinPeriod->value();
  return settings;
}

void TFormMotion::ShowMode(int source) {
  TSourceControls& controls = Sources[source];
  const auto mode = static_cast<TMotionMode>(controls.Mode->currentIndex());
  for (TValueControl& control : controls.Values) {
    const bool shown = control.Mode == mode;
    control.Label->setVisible(shown);
    if (control.Spin) control.Spin->setVisible(shown);
    if (control.Choice) control.Choice->setVisible(shown);
  }
  if (controls.TurnOnce) controls.TurnOnce->setVisible(mode == TMotionMode::Flick);
}

void TFormMotion::UpdateLive() {
  const TMotionLive live = FMotion.Live();
  const TMotionSettings settings = Settings();
  for (const TMotionSource kind : {TMotionSource::LeftStick, TMotionSource::RightStick}) {
    const int source = static_cast<int>(kind);
    TSourceControls& controls = Sources[source];
    const TSourceMotion& values = settings.Sources[source];
    const TStick stick = live.Sticks[source];
    const bool off = values.Mode == TMotionMode::Off;
    controls.View->Show(stick, off ? 0 : values.DeadZone, off ? 0 : values.OuterZone);
    const double length = std::min(1.0, std::hypot(stick.X, stick.Y));
    if (values.Mode == TMotionMode::Mouse) {
      const double fraction = ZoneFraction(values, length);
      const double speed = values.Speed * std::pow(fraction, values.Curve);
      controls.Result->setText(QString("%1 px/s").arg(std::lround(speed)));
    } else if (values.Mode == TMotionMode::Flick) {
      const bool pushed = length >= 1 - values.OuterZone / 100;
      controls.Result->setText(
          pushed ? QString("%1 degrees").arg(std::lround(TFlickStick::AngleOf(stick))) : "-");
    } else {
      controls.Result->setText("off");
    }
  }
  const TRate& rate = live.GyroRate;
  Sources[static_cast<int>(TMotionSource::Gyro)].Result->setText(
      live.Calibrating ? QString("calibrating: hold still")
                       : QString("%1 %2 %3 degrees/s%4")
                             .arg(rate[0], 0, 'f', 1)
                             .arg(rate[1], 0, 'f', 1)
                             .arg(rate[2], 0, 'f', 1)
                             .arg(live.GateOpen ? "" : " (off now)"));
  Sources[static_cast<int>(TMotionSource::Touchpad)].Result->setText(live.Touching ? "touched"
                                                                                   : "-");
}

void TFormMotion::CalibrateClick() {
  FMotion.CalibrateGyro(2000);
}

void TFormMotion::TurnOnceClick(int source) {
  const TSourceMotion values = Settings().Sources[source];
  FTurnCounts = values.TurnCounts;
  FTurnMs = values.FlickMs;
  FTurnGiven = 0;
  FTurnElapsedMs = 0;
  FTurnTimer->start(TurnStepMs);
}

void TFormMotion::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FMotion.Watch(true);
  FLiveTimer->start(100);
}

void TFormMotion::hideEvent(QHideEvent* event) {
  FLiveTimer->stop();
  FMotion.Watch(false);
  QDialog::hideEvent(event);
}

}  // namespace kestrova
