#pragma once
// The controller as Kestrova sees it: each axis's raw value and the value the routing sees, with
// the tolerance band and the direction that would fire; the buttons (9 is shift); the hat. It
// shows the poll thread's own readings, at most 30 times a second, and only while it is open.

#include <QDialog>
#include <QWidget>
#include <array>
#include <atomic>
#include <mutex>
#include <tuple>

#include "joystick/Jstick.h"
#include "mapping/Profile.h"

class QLabel;
class QTimer;

namespace kestrova {

class TMapper;

// -500 .. 500 across, the tolerance band in the middle, the value as a mark; the side past the
// band is lit when the value is there.
class TAxisBar : public QWidget {
  Q_OBJECT
 public:
  explicit TAxisBar(QWidget* parent = nullptr);
  void Set(int value, int tolerance, bool routed);
  int Value() const { return FValue; }
  int Tolerance() const { return FTolerance; }
  // -1, 0 or 1: the direction the routing would fire.
  int Direction() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int FValue = 0;
  int FTolerance = 300;
  bool FRouted = true;  // false: no tolerance band
};

class TFormController : public QDialog {
  Q_OBJECT
 public:
  explicit TFormController(TMapper& mapper, QWidget* parent = nullptr);
  ~TFormController() override;

  QLabel* LabelController;
  std::array<QLabel*, JoyAxisCount> AxisNames{};
  std::array<TAxisBar*, JoyAxisCount> AxisBars{};
  std::array<QLabel*, JoyAxisCount> AxisTexts{};
  QLabel* TriggerText;  // each trigger on its own, in the pad layout
  QLabel* SensorText;   // a pad's gyro and touchpad
  std::array<QLabel*, 32> ButtonLamps{};
  std::array<QLabel*, 9> HatPositions{};  // N NE E SE S SW W NW, then the centre

  // Readings shown so far (for tests and for measuring).
  int Updates() const { return FUpdates; }
  // Brings the view up to date with the newest reading; the timer calls it.
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct TLatest : TReadingObserver {
    void OnReading(const TJoyReading& reading) override;
    std::mutex Lock;
    TJoyReading Reading;
    std::atomic<std::uint64_t> Sequence{0};
  };
  void ShowController(bool answering);

  TMapper& FMapper;
  TLatest FLatest;
  QTimer* FTimer;
  std::uint64_t FShown = 0;
  TTolerances FTolerances{};
  // What each axis's text shows: raw, routed value, tolerance.
  std::array<std::tuple<std::uint32_t, std::int32_t, int>, JoyAxisCount> FAxisShown{};
  int FUpdates = 0;
  bool FAnswering = false;
  bool FPadLayout = false;
  bool FKnown = false;
};

}  // namespace kestrova
