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
  auto* sources = new QHBoxLayout;
  layout->addLayout(sources);
  for (int source = 0; source < MotionSourceCount; ++source) {
    TSourceControls& controls = Sources[source];
    const QString name = QString::fromLatin1(MotionSourceNames[source].data(),
                                             static_cast<int>(MotionSourceNames[source].size()));
    auto* box = new QGroupBox(name, this);
    box->setObjectName(QString(name).remove(' '));
    auto* grid = new QGridLayout(box);
    controls.Mode = new QComboBox(box);
    for (const std::string_view mode : MotionModeNames) {
      controls.Mode->addItem(QString::fromLatin1(mode.data(), static_cast<int>(mode.size())));
    }
    controls.Mode->setItemText(1, "Mouse");
    controls.Mode->setItemText(2, "Flick stick");
    controls.Mode->setAccessibleName(name + " mode");
    grid->addWidget(new QLabel("Mode", box), 0, 0);
    grid->addWidget(controls.Mode, 0, 1);
    int row = 1;
    for (const TMotionMode mode : {TMotionMode::Mouse, TMotionMode::Flick}) {
      for (const TMotionValue& value : MotionValuesOf(mode)) {
        auto* label = new QLabel(
            QString::fromLatin1(value.Label.data(), static_cast<int>(value.Label.size())), box);
        auto* spin = new QDoubleSpinBox(box);
        spin->setObjectName(name.section(' ', 0, 0) + QString::fromLatin1(value.Name.data()) +
                            (mode == TMotionMode::Flick ? "Flick" : ""));
        spin->setRange(value.Min, value.Max);
        spin->setDecimals(value.Decimals);
        spin->setAccessibleName(name + " " + label->text());
        grid->addWidget(label, row, 0);
        grid->addWidget(spin, row, 1);
        ++row;
        controls.Values.push_back({value, spin});
        controls.Labels.push_back(label);
      }
    }
    controls.View = new TStickView(box);
    controls.Result = new QLabel(box);
    controls.Result->setObjectName(name.section(' ', 0, 0) + "Result");
    controls.TurnOnce = new QPushButton("Turn once", box);
    controls.TurnOnce->setToolTip(
        "Turns the view by the counts of one whole turn: where the game turns by more or less, "
        "change the counts until it turns exactly once");
    grid->addWidget(controls.View, row, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(controls.Result, row + 1, 0, 1, 2);
    grid->addWidget(controls.TurnOnce, row + 2, 0, 1, 2);
    sources->addWidget(box);
    connect(controls.Mode, &QComboBox::currentIndexChanged, this, [this, source] {
      ShowMode(source);
      UpdateLive();
    });
    connect(controls.TurnOnce, &QPushButton::clicked, this,
            [this, source] { TurnOnceClick(source); });
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

void TFormMotion::SetSettings(const TMotionSettings& settings) {
  for (int source = 0; source < MotionSourceCount; ++source) {
    TSourceControls& controls = Sources[source];
    const TSourceMotion& values = settings.Sources[source];
    for (auto& [value, spin] : controls.Values) spin->setValue(values.*value.Field);
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
    const std::vector<TMotionValue> shown = MotionValuesOf(values.Mode);
    const bool flick = values.Mode == TMotionMode::Flick;
    for (const auto& [value, spin] : controls.Values) {
      const bool ofFlick = spin->objectName().endsWith("Flick");
      if (values.Mode == TMotionMode::Off || ofFlick != flick) continue;
      values.*value.Field = spin->value();
    }
  }
  settings.PeriodMs = SpinPeriod->value();
  return settings;
}

void TFormMotion::ShowMode(int source) {
  TSourceControls& controls = Sources[source];
  const auto mode = static_cast<TMotionMode>(controls.Mode->currentIndex());
  for (std::size_t i = 0; i < controls.Values.size(); ++i) {
    const bool ofFlick = controls.Values[i].second->objectName().endsWith("Flick");
    const bool shown = mode != TMotionMode::Off && ofFlick == (mode == TMotionMode::Flick);
    controls.Values[i].second->setVisible(shown);
    controls.Labels[i]->setVisible(shown);
  }
  controls.TurnOnce->setVisible(mode == TMotionMode::Flick);
}

void TFormMotion::UpdateLive() {
  const TMotionLive live = FMotion.Live();
  const TMotionSettings settings = Settings();
  for (int source = 0; source < MotionSourceCount; ++source) {
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
