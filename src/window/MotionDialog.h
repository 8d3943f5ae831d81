#pragma once
// "Motion...": which source moves the pointer and how (a stick off, as a mouse or flick stick; the
// gyro and the touchpad off or as a mouse), each mode's values, and how often an active source is
// read, with a live view: each stick and the speed its deflection gives with the values shown,
// the gyro's rate. OK makes the settings one step of the profile's history; Cancel changes
// nothing. GUI thread.

#include <QDialog>
#include <QWidget>
#include <array>
#include <string_view>
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

  // One value of a mode: a number in a spin box, or a word in a combo box.
  struct TValueControl {
    TMotionMode Mode;
    TMotionValue Value;
    QLabel* Label = nullptr;
    QDoubleSpinBox* Spin = nullptr;
    QComboBox* Choice = nullptr;
  };
  struct TSourceControls {
    QComboBox* Mode = nullptr;  // its items: the modes the source has, in TMotionMode's order
    // The values of every mode; those of the other modes are hidden.
    std::vector<TValueControl> Values;
    TStickView* View = nullptr;        // the sticks'
    QLabel* Result = nullptr;          // "640 px/s", "90 degrees", the gyro's rate
    QPushButton* TurnOnce = nullptr;   // flick: turns one whole turn, to calibrate in the game
    QPushButton* Calibrate = nullptr;  // the gyro: hold still, its bias is taken
  };
  // The spin box of a source's value in a mode; null where there is none.
  QDoubleSpinBox* SpinOf(TMotionSource source, TMotionMode mode, std::string_view name) const;
  std::array<TSourceControls, MotionSourceCount> Sources;
  QSpinBox* SpinPeriod;
  QPushButton* ButtonOk;
  QPushButton* ButtonCancel;

  // The live view once more now (the timer does it ten times a second while shown).
  void UpdateLive();
  // Turns one whole turn with a source's counts as shown, eased over its flick time; done over
  // the following readings of a timer.
  void TurnOnceClick(int source);
  // The gyro's samples of the next two seconds become its bias.
  void CalibrateClick();

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
