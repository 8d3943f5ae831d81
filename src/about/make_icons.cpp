// Writes Kestrova's icon as DIR/<size>.png for each size given: make_icons DIR SIZE...

#include <QDir>
#include <QPainter>
#include <cstdio>

#include "Logo.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_icons DIR SIZE...\n");
    return 2;
  }
  QDir().mkpath(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    // A square icon: the picture centred, keeping its proportions.
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    const qreal height = size * 119.0 / 140.0;
    kestrova::DrawKestrovaLogo(painter, QRectF(0, (size - height) / 2, size, height));
    painter.end();
    const QString path = QString("%1/%2.png").arg(argv[1]).arg(size);
    if (!icon.save(path, "PNG")) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
