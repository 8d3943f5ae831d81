#pragma once
// Kestrova's picture: a kestrel's wing over a game pad, drawn in any size.

#include <QImage>
#include <QRectF>

class QPainter;

namespace kestrova {

void DrawKestrovaLogo(QPainter& painter, const QRectF& area);
// The picture at the given size, on a transparent background.
QImage KestrovaLogo(int width, int height);

}  // namespace kestrova
