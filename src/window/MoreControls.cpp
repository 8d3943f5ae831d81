#include "window/MoreControls.h"

#include <QLabel>
#include <QSpinBox>

#include "platform/qt/Named.h"

namespace kestrova {

TFormMoreControls::TFormMoreControls(QWidget* parent) : QDialog(parent) {
  setObjectName("FormMoreControls");
  setWindowTitle("More controls");
  setFixedSize(380, 8 + 14 * RowHeight + 8);
  static constexpr const char* names[] = {"U", "V", "Trigger"};
  for (int i = 0; i < 3; ++i) {
    const int y = 8 + (7 + i) * RowHeight + 6;
    auto* label = new QLabel(QString(names[i]) + " Tol.", this);
    label->setGeometry(LeftColumnX, y + 2, 60, 20);
    auto* spin = Named(new QSpinBox(this), QString("Spin") + names[i] + "Tol");
    spin->setRange(0, 1000);
    spin->setSingleStep(10);
    spin->setValue(300);
    spin->setGeometry(LeftColumnX + 66, y, 80, 23);
    spin->setAccessibleName(QString(names[i]) + " tolerance");
    spin->setToolTip(i == 2 ? "How far a trigger is pulled (0..1000) before it counts as pressed"
                            : QString("How far the %1 axis moves from its centre (0..1000) before "
                                      "it counts as left or right")
                                  .arg(names[i]));
    ToleranceSpins[i] = spin;
  }
}

}  // namespace kestrova
