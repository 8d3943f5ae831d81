#pragma once
// "Press settings...": the profile's hold and double-press times, and for one event of a layer
// the partner of its chord and the period of its turbo. OK makes them one step of the profile's
// history; Cancel changes nothing. GUI thread.

#include <QDialog>

#include "mapping/Layers.h"

class QComboBox;
class QLabel;
class QSpinBox;

namespace kestrova {

class TFormPressSettings : public QDialog {
  Q_OBJECT
 public:
  explicit TFormPressSettings(QWidget* parent = nullptr);

  // Shows the settings, with those of event in layer to edit.
  void SetSettings(const TPressParams& params, int layer, int event);
  // The settings as the controls show them.
  TPressParams Settings() const;

  QSpinBox* SpinHold;
  QSpinBox* SpinDouble;
  QLabel* LabelEvent;
  QComboBox* ComboPartner;  // "(none)", then every other event, in event order
  QSpinBox* SpinTurbo;

 private:
  TPressParams FParams;
  int FLayer = 0;
  int FEvent = 0;
};

}  // namespace kestrova
