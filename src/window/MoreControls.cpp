#include "window/MoreControls.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>

#include "platform/qt/Named.h"

namespace kestrova {

TFormMoreControls::TFormMoreControls(QWidget* parent) : QWidget(parent) {
  setObjectName("FormMoreControls");
  setAccessibleName("More controls");
  setFixedSize(Width, Height);
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
  ButtonClose = new QPushButton("Close", this);
  ButtonClose->setObjectName("ButtonCloseMoreControls");
  ButtonClose->setGeometry(LeftColumnX, 8 + 11 * RowHeight, 96, 25);
  ButtonClose->setToolTip("Hide these controls (Escape); More controls... shows them again");
  connect(ButtonClose, &QPushButton::clicked, this, [this] {
    hide();
    emit Closed();
  });
}

void TFormMoreControls::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    hide();
    emit Closed();
    return;
  }
  QWidget::keyPressEvent(event);
}

// A line on the left sets the panel apart from the window's own controls.
void TFormMoreControls::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, 4, 0, height() - 5);
}

}  // namespace kestrova
