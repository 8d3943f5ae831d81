#pragma once
// The "More controls" panel: the events of a modern pad beyond the main window's rows (the U and
// V axes, each trigger on its own, buttons 10 to 16 with and without shift) and their tolerances.
// Its rows are built by the main window like its own, so that their Press and Release buttons
// select a slot in the same editor. It is a part of the main window, shown to the right of its
// own controls (the window grows by its width), so that it covers none of them. GUI thread.

#include <QWidget>
#include <array>

class QPushButton;
class QSpinBox;

namespace kestrova {

class TFormMoreControls : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMoreControls(QWidget* parent);

  QPushButton* ButtonClose;  // hides the panel, as Escape in it does

  // The U, V and trigger tolerances, in profile order after the X, Y, Z and R ones.
  std::array<QSpinBox*, 3> ToleranceSpins{};

  // Where the event rows go and the tolerance fields begin, in the panel's coordinates.
  static constexpr int LeftColumnX = 8;
  static constexpr int RightColumnX = 204;
  static constexpr int RowHeight = 19;
  static constexpr int Width = 394;
  static constexpr int Height = 8 + 14 * RowHeight + 8;

 signals:
  void Closed();  // hidden by its Close button or Escape

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrova
