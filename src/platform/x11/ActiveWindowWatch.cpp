#include "ActiveWindowWatch.h"

#include <X11/Xlib.h>

#include <stdexcept>

namespace kestrova {

namespace {

class TX11Watch : public TActiveWindowWatch {
 public:
  TX11Watch(Display* display, std::string name) : FDisplay(display), FName(std::move(name)) {
    FActive = XInternAtom(FDisplay, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(FDisplay, DefaultRootWindow(FDisplay), PropertyChangeMask);
    XFlush(FDisplay);
  }
  ~TX11Watch() override { XCloseDisplay(FDisplay); }

  int Fd() const override { return ConnectionNumber(FDisplay); }

  std::optional<TActiveWindow> Changed() override {
    bool changed = false;
    while (XPending(FDisplay) > 0) {
      XEvent event;
      XNextEvent(FDisplay, &event);
      if (event.type == PropertyNotify && event.xproperty.atom == FActive) changed = true;
    }
    if (!changed) return std::nullopt;
    return ReadActiveWindow(FName);
  }

 private:
  Display* FDisplay;
  std::string FName;
  Atom FActive = None;
};

}  // namespace

std::unique_ptr<TActiveWindowWatch> CreateActiveWindowWatch(const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (display == nullptr) throw std::runtime_error("Cannot open the X display to watch");
  return std::make_unique<TX11Watch>(display, displayName);
}

}  // namespace kestrova
