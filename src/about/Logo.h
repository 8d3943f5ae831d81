#pragma once
// Kestrova's picture: a kestrel's wing over a game pad, drawn in any size.

#include <QImage>
#include <QRectF>

class QPainter;

namespace kestrova {

// The picture is laid out in a 140 x 119 box scaled into area. It fills the box down to
// artBottom (40..119, in the box's units); below it nothing is painted (the About box puts its
// Ok button there).
void DrawKestrovaLogo(QPainter& painter, const QRectF& area, qreal artBottom = 119);
// The picture at the given size, on a transparent background.
QImage KestrovaLogo(int width, int height, qreal artBottom = 119);

}  // namespace kestrova
