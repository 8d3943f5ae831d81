#include "platform/x11/ActiveWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <stdexcept>

namespace kestrova {

namespace {

// One 32-bit property value of a window (a window id, a process id), or 0.
unsigned long CardinalProperty(Display* display, Window window, const char* name, Atom type) {
  const Atom property = XInternAtom(display, name, True);
  if (property == None) return 0;
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  unsigned long value = 0;
  if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && format == 32 && count == 1) {
    value = *reinterpret_cast<unsigned long*>(data);
  }
  if (data != nullptr) XFree(data);
  return value;
}

// X errors on a window that went away between two requests are no reason to end the program.
int IgnoreErrors(Display*, XErrorEvent*) {
  return 0;
}

class TX11Source : public TActiveWindowSource {
 public:
  TX11Source(Display* display, std::string name, TActiveWindowHandlers handlers)
      : FDisplay(display, XCloseDisplay), FName(std::move(name)), FHandlers(std::move(handlers)) {
    FActive = XInternAtom(FDisplay.get(), "_NET_ACTIVE_WINDOW", False);
    XSelectInput(FDisplay.get(), DefaultRootWindow(FDisplay.get()), PropertyChangeMask);
    XFlush(FDisplay.get());
  }

  int Fd() const override { return ConnectionNumber(FDisplay.get()); }
  bool Reporting() const override { return true; }

  // Reads what the display sent; reports the application now in front when the active window
  // changed.
  void Dispatch() override {
    bool changed = false;
    while (XPending(FDisplay.get()) > 0) {
      XEvent event;
      XNextEvent(FDisplay.get(), &event);
      if (event.type == PropertyNotify && event.xproperty.atom == FActive) changed = true;
    }
    if (changed && FHandlers.OnChanged) FHandlers.OnChanged(ReadX11ActiveWindow(FName));
  }

 private:
  std::unique_ptr<Display, int (*)(Display*)> FDisplay;
  std::string FName;
  TActiveWindowHandlers FHandlers;
  Atom FActive = None;
};

}  // namespace

TActiveWindow ReadX11ActiveWindow(const std::string& displayName) {
  const char* name = displayName.empty() ? nullptr : displayName.c_str();
  const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(name), XCloseDisplay);
  if (!display) {
    const std::string shown = XDisplayName(name);
    throw std::runtime_error(shown.empty() ? "no X display: DISPLAY is not set"
                                           : "Cannot open X display '" + shown + "'");
  }
  const auto previous = XSetErrorHandler(IgnoreErrors);
  TActiveWindow active;
  active.Source = std::string("X11 _NET_ACTIVE_WINDOW on ") + DisplayString(display.get());
  const Window window = CardinalProperty(display.get(), DefaultRootWindow(display.get()),
                                         "_NET_ACTIVE_WINDOW", XA_WINDOW);
  if (window != 0) {
    XClassHint hint{};
    if (XGetClassHint(display.get(), window, &hint) != 0) {
      active.Found = true;
      if (hint.res_class != nullptr) active.Class = hint.res_class;
      if (hint.res_name != nullptr) active.Instance = hint.res_name;
      XFree(hint.res_class);
      XFree(hint.res_name);
    }
    active.Pid = CardinalProperty(display.get(), window, "_NET_WM_PID", XA_CARDINAL);
    active.Executable = ExecutableOfProcess(active.Pid);
  }
  XSync(display.get(), False);
  XSetErrorHandler(previous);
  return active;
}

std::unique_ptr<TActiveWindowSource> CreateX11ActiveWindowSource(TActiveWindowHandlers handlers,
                                                                 const std::string& displayName) {
  Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (display == nullptr) throw std::runtime_error("Cannot open the X display to watch");
  return std::make_unique<TX11Source>(display, displayName, std::move(handlers));
}

}  // namespace kestrova
