#include "Logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace kestrova {

void DrawKestrovaLogo(QPainter& painter, const QRectF& area, qreal artBottom) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  // Work in a 140 x 119 box scaled into the area.
  painter.translate(area.topLeft());
  painter.scale(area.width() / 140.0, area.height() / 119.0);

  // Sky.
  QLinearGradient sky(0, 0, 0, 119);
  sky.setColorAt(0, QColor(64, 124, 196));
  sky.setColorAt(1, QColor(20, 52, 104));
  painter.setPen(Qt::NoPen);
  painter.setBrush(sky);
  const qreal bottom = std::clamp<qreal>(artBottom, 40, 119);
  painter.drawRoundedRect(QRectF(2, 2, 136, bottom - 4), 18, 18);
  // The art was drawn for the whole box (its pad ends at 111): squeeze it into the sky.
  const qreal squeeze = std::min<qreal>(1, (bottom - 8) / 111.0);
  painter.translate(70 * (1 - squeeze), 0);
  painter.scale(squeeze, squeeze);

  // The wing: a swept kestrel's wing in rust and cream.
  QPainterPath wing;
  wing.moveTo(14, 52);
  wing.cubicTo(40, 16, 86, 8, 128, 14);
  wing.cubicTo(104, 22, 88, 30, 80, 40);
  wing.cubicTo(70, 36, 44, 40, 14, 52);
  QLinearGradient feathers(14, 50, 128, 14);
  feathers.setColorAt(0, QColor(196, 98, 44));
  feathers.setColorAt(1, QColor(244, 214, 160));
  painter.setBrush(feathers);
  painter.drawPath(wing);
  painter.setPen(QPen(QColor(120, 56, 24), 1.2));
  for (int i = 0; i < 4; ++i) {
    const qreal x = 50 + i * 16;
    painter.drawLine(QPointF(x, 34 - i * 4.5), QPointF(x + 14, 26 - i * 4));
  }

  // The pad.
  QPainterPath pad;
  pad.moveTo(30, 66);
  pad.cubicTo(44, 58, 96, 58, 110, 66);
  pad.cubicTo(124, 74, 132, 104, 118, 108);
  pad.cubicTo(108, 111, 100, 98, 92, 92);
  pad.lineTo(48, 92);
  pad.cubicTo(40, 98, 32, 111, 22, 108);
  pad.cubicTo(8, 104, 16, 74, 30, 66);
  painter.setPen(QPen(QColor(235, 240, 248), 2.5));
  painter.setBrush(QColor(44, 48, 60));
  painter.drawPath(pad);

  // D-pad and buttons.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(235, 240, 248));
  painter.drawRect(QRectF(34, 72, 6, 18));
  painter.drawRect(QRectF(28, 78, 18, 6));
  const QColor buttons[] = {QColor(232, 84, 72), QColor(250, 196, 64), QColor(96, 196, 112),
                            QColor(88, 152, 232)};
  const QPointF centres[] = {{104, 81}, {96, 73}, {96, 89}, {88, 81}};
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(buttons[i]);
    painter.drawEllipse(centres[i], 4.2, 4.2);
  }
  painter.restore();
}

QImage KestrovaLogo(int width, int height, qreal artBottom) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  DrawKestrovaLogo(painter, QRectF(0, 0, width, height), artBottom);
  painter.end();
  return image;
}

}  // namespace kestrova
