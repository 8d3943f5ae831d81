#pragma once
// The "More controls" panel: the events of a modern pad beyond the main window's rows (the U and
// V axes, each trigger on its own, buttons 10 to 16 with and without shift) and their tolerances.
// Its rows are built by the main window like its own, so that their Press and Release buttons
// select a slot in the same editor. GUI thread.

#include <QDialog>
#include <array>

class QSpinBox;

namespace kestrova {

class TFormMoreControls : public QDialog {
  Q_OBJECT
 public:
  explicit TFormMoreControls(QWidget* parent);

  // The U, V and trigger tolerances, in profile order after the X, Y, Z and R ones.
  std::array<QSpinBox*, 3> ToleranceSpins{};

  // Where the event rows go and the tolerance fields begin, in the panel's coordinates.
  static constexpr int LeftColumnX = 8;
  static constexpr int RightColumnX = 190;
  static constexpr int RowHeight = 19;
};

}  // namespace kestrova
