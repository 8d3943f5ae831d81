#include "window/PressSettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestrova {

namespace {

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

QSpinBox* Milliseconds(QWidget* parent, const char* name, int most) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(1, most);
  spin->setSuffix(" ms");
  return spin;
}

}  // namespace

TFormPressSettings::TFormPressSettings(QWidget* parent) : QDialog(parent) {
  setObjectName("FormPressSettings");
  setWindowTitle("Press settings");
  auto* form = new QFormLayout;
  SpinHold = Milliseconds(this, "SpinHold", MaxPressMs);
  SpinHold->setToolTip("A press held this long is a hold; one let go sooner is a tap");
  form->addRow("Hold time (every event):", SpinHold);
  SpinDouble = Milliseconds(this, "SpinDouble", MaxPressMs);
  SpinDouble->setToolTip("A second press this soon after the first is a double press");
  form->addRow("Double-press time (every event):", SpinDouble);
  LabelEvent = new QLabel(this);
  LabelEvent->setObjectName("LabelEvent");
  form->addRow(LabelEvent);
  ComboPartner = new QComboBox(this);
  ComboPartner->setObjectName("ComboPartner");
  ComboPartner->setToolTip(
      "Held together with this event (pressed within 50 ms of each other, or one while the "
      "other is held), it runs its Chord lists instead of either's own");
  form->addRow("Chord with:", ComboPartner);
  SpinTurbo = Milliseconds(this, "SpinTurbo", MaxTurboMs);
  SpinTurbo->setToolTip("While held, its Turbo Press list runs this often");
  form->addRow("Turbo period:", SpinTurbo);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

void TFormPressSettings::SetSettings(const TPressParams& params, int layer, int event) {
  FParams = params;
  FLayer = layer;
  FEvent = event;
  SpinHold->setValue(params.HoldMs);
  SpinDouble->setValue(params.DoubleMs);
  LabelEvent->setText(Text(EventNames[event]) +
                      (layer == 0 ? QString() : " in layer " + QString::number(layer)) + ":");
  ComboPartner->clear();
  ComboPartner->addItem("(none)", -1);
  for (int other = 0; other < EventCount; ++other) {
    if (other != event) ComboPartner->addItem(Text(EventNames[other]), other);
  }
  ComboPartner->setCurrentIndex(
      std::max(0, ComboPartner->findData(params.ChordPartner(layer, event))));
  SpinTurbo->setValue(params.TurboMs(layer, event));
}

TPressParams TFormPressSettings::Settings() const {
  TPressParams params = FParams;
  params.HoldMs = SpinHold->value();
  params.DoubleMs = SpinDouble->value();
  const int key = LayerEvent(FLayer, FEvent);
  const int partner = ComboPartner->currentData().toInt();
  if (partner < 0) {
    params.ChordPartners.erase(key);
  } else {
    params.ChordPartners[key] = partner;
  }
  // The default is no setting of its own, so that a profile that never set one stays as it was.
  if (SpinTurbo->value() == DefaultTurboMs) {
    params.TurboPeriods.erase(key);
  } else {
    params.TurboPeriods[key] = SpinTurbo->value();
  }
  return params;
}

}  // namespace kestrova
