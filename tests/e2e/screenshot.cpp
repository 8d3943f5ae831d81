// Saves a PNG of the whole X screen: screenshot FILE.PNG (DISPLAY names the server).

// Qt first: Xlib defines macros (Status, None) that clash with its names.
#include <QImage>
#include <cstdio>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshot FILE.png\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "screenshot: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  XImage* shot =
      XGetImage(display, RootWindow(display, screen), 0, 0, width, height, AllPlanes, ZPixmap);
  if (!shot) return 1;
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, static_cast<QRgb>(XGetPixel(shot, x, y)) | 0xFF000000u);
    }
  }
  XDestroyImage(shot);
  XCloseDisplay(display);
  return image.save(argv[1], "PNG") ? 0 : 1;
}
