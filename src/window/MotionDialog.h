#pragma once
// "Motion...": which stick moves the pointer and how (off, as a mouse, flick stick), each mode's
// values, and how often an active source is read, with a live view of each stick and the speed
// its deflection gives with the values shown. OK makes the settings one step of the profile's
// history; Cancel changes nothing. GUI thread.

#include <QDialog>
#include <QWidget>
#include <array>
#include <vector>

#include "mapping/MotionSettings.h"
#include "motion/Motion.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace kestrova {

// A stick's position in its square, with the dead zone and the outer zone as circles.
class TStickView : public QWidget {
  Q_OBJECT
 public:
  explicit TStickView(QWidget* parent);
  void Show(TStick stick, double deadZone, double outerZone);
  TStick Stick() const { return FStick; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TStick FStick;
  double FDeadZone = 0;
  double FOuterZone = 0;
};

class TFormMotion : public QDialog {
  Q_OBJECT
 public:
  // The live view reads the motion's latest readings; the calibration turn moves through it.
  explicit TFormMotion(TMotion& motion, QWidget* parent = nullptr);

  // Shows settings to edit.
  void SetSettings(const TMotionSettings& settings);
  // The settings as the controls show them.
  TMotionSettings Settings() const;

  struct TSourceControls {
    QComboBox* Mode = nullptr;
    // The values of every mode; those of the other modes are hidden.
    std::vector<std::pair<TMotionValue, QDoubleSpinBox*>> Values;
    std::vector<QLabel*> Labels;
    TStickView* View = nullptr;
    QLabel* Result = nullptr;         // "640 px/s" or "90 degrees"
    QPushButton* TurnOnce = nullptr;  // flick: turns one whole turn, to calibrate in the game
  };
  std::array<TSourceControls, MotionSourceCount> Sources;
  QSpinBox* SpinPeriod;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  // The live view once more now (the timer does it ten times a second while shown).
  void UpdateLive();
  // Turns one whole turn with a source's counts as shown, eased over its flick time; done over
  // the following readings of a timer.
  void TurnOnceClick(int source);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ShowMode(int source);

  TMotion& FMotion;
  QTimer* FLiveTimer;
  QTimer* FTurnTimer;
  double FTurnCounts = 0;  // of the turn under way
  double FTurnGiven = 0;
  double FTurnMs = 0;
  double FTurnElapsedMs = 0;
};

}  // namespace kestrova
