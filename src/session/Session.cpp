#include "Session.h"

#include "session/Output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "mapping/Convert.h"
#include "platform/Environment.h"
#include "platform/evdev/EvdevWake.h"
#include "platform/print/PrintInjector.h"
#include "platform/sdl/SdlJoyService.h"
#include "platform/uinput/UinputInjector.h"
#include "platform/x11/X11Injector.h"

namespace kestrova {

namespace {

std::string FormatTime(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", ms);
  return text;
}

}  // namespace

TRecordPrinter::TRecordPrinter()
    : FWriter(STDOUT_FILENO, [this](std::size_t dropped) {
        return FormatTime(Now()) + " dropped " + std::to_string(dropped) +
               " lines: standard output did not keep up\n";
      }) {}

void TRecordPrinter::SetStart(TClock::time_point start) {
  std::lock_guard lock(FLock);
  FStart = start;
}

double TRecordPrinter::Now() const {
  std::lock_guard lock(FLock);
  return std::chrono::duration<double, std::milli>(TClock::now() - FStart).count();
}

void TRecordPrinter::SetOnClosed(std::function<void()> onClosed) {
  FWriter.SetOnClosed(std::move(onClosed));
}

bool TRecordPrinter::Closed() const {
  return FWriter.Closed();
}

std::vector<std::string> TSession::ReplayWarnings() const {
  std::vector<std::string> warnings;
  if (!FReplay) return warnings;
  for (const std::string& warning : FReplay->Warnings) warnings.push_back("Replay: " + warning);
  return warnings;
}

void TRecordPrinter::Print(const std::string& text) {
  FWriter.Write(FormatTime(Now()) + " " + text + "\n");
}

void TRecordPrinter::Finish(std::chrono::milliseconds stallLimit) {
  FWriter.Finish(stallLimit);
}

TSession::TSession(const TSessionOptions& options, TProfileDocument& document,
                   TMapper::TStatusSink statusSink)
    : FOptions(options) {
  if (!options.Replay.empty()) FReplay = ReadReplayFile(options.Replay);
  FJoysticks = CreateSdlJoyService();
  int joystickId = options.Joystick;
  if (FReplay) {
    TVirtualControllerDesc desc;
    desc.GameController = desc.ReadOrder = FReplay->Pad;
    desc.Sensors = FReplay->Sensors;
    FVirtualController = AttachSdlVirtualController(desc);
    // The timeline drives the virtual controller, whatever number it has among the others.
    joystickId = 0;
    for (const auto& controller : ListControllers(*FJoysticks)) {
      if (controller.Name == desc.Name) joystickId = controller.JoystickID;
    }
    if (joystickId == 0) throw std::runtime_error("the virtual controller does not answer");
  }
  const TOutputChoice output = ChooseOutput(options.Output, [] {
    TDesktopEnvironment desktop = ReadDesktopEnvironment();
    desktop.UinputProblem = UinputProblem();
    return desktop;
  }());
  FOutputNote = output.Note;
  if (output.Output == "print") {
    FOutputDescription = "Output: print (nothing is injected)";
    const TPoint cursor = options.CursorGiven
                              ? TPoint{options.CursorX, options.CursorY}
                              : TPoint{options.ScreenWidth / 2, options.ScreenHeight / 2};
    FInjector = CreatePrintInjector(options.ScreenWidth, options.ScreenHeight, cursor,
                                    [this](const std::string& line) { FPrinter.Print(line); });
  } else if (output.Output == "uinput") {
    TUinputOptions uinput;
    uinput.KeyboardLayout = options.KeyboardLayout;
    TScreenSize screen{options.ScreenWidth, options.ScreenHeight, options.ScreenSource};
    if (!options.ScreenGiven) screen = DrmScreenSize();
    uinput.ScreenWidth = screen.Width;
    uinput.ScreenHeight = screen.Height;
    TUinputOutput created = CreateUinputInjector(uinput);
    FInjector = std::move(created.Injector);
    FOutputDescription = "Output: uinput (keyboard layout " + created.Layout + "; screen " +
                         std::to_string(screen.Width) + "x" + std::to_string(screen.Height) +
                         " from " + screen.Source + ")";
  } else {
    FInjector = CreateX11Injector();
    FOutputDescription = "Output: x11 (XTest on display " + EnvironmentValue("DISPLAY") + ")";
  }
  FEngine =
      std::make_unique<TEngine>(*FInjector, *FJoysticks, FSleeper, document, std::move(statusSink));
  FEngine->Mapper().Jstick1.SetJoystickID(joystickId);
  Mapper().Jstick1.SetThreadIntensity(static_cast<std::uint32_t>(options.PollInterval));
  if (options.Wake == "input") {
    FWake = CreateEvdevWakeSource(*FJoysticks);
    Mapper().Jstick1.SetWakeSource(FWake.get());
  }
  Mapper().Jstick1.OnConnection = [this](TObject*, bool answering) {
    if (!FControllerSink) return;
    const int id = Mapper().Jstick1.JoystickID();
    if (!answering) return FControllerSink(NoControllerLine(id, FAnsweredBefore));
    FAnsweredBefore = true;
    for (const auto& controller : ListControllers(*FJoysticks)) {
      if (controller.JoystickID != id) continue;
      FControllerSink(ControllerLine(controller));
      // Sticks and buttons work either way; what the pad has beyond them is said once.
      const TPadFeatures features = FJoysticks->PadFeatures(static_cast<std::uint32_t>(id - 1));
      if (!features.SensorProblem.empty()) {
        FControllerSink("Controller " + std::to_string(id) + " has motion sensors Kestrova " +
                        "cannot read: " + features.SensorProblem);
      } else if (features.Gyro || features.Touchpad) {
        FControllerSink("Controller " + std::to_string(id) + " has " +
                        (features.Gyro && features.Touchpad ? "a gyro and a touchpad"
                         : features.Gyro                    ? "a gyro"
                                                            : "a touchpad"));
      }
      return;
    }
  };
}

std::string TSession::WakeDescription() const {
  const std::string interval = "every " + std::to_string(FOptions.PollInterval) + " ms";
  if (!FWake) return "Wake: " + interval;
  // The node the poll thread waits on, or will at its next wait.
  std::string node = FWake->Node();
  if (node.empty()) {
    node = FJoysticks->DevicePath(
        static_cast<std::uint32_t>(FEngine->Mapper().Jstick1.JoystickID() - 1));
  }
  return "Wake: on controller input" +
         (node.empty() ? " (" + interval + " while the controller has no device node)"
                       : " (" + node + ")");
}

TSession::~TSession() {
  Shutdown();
}

void TSession::Start() {
  FStart = TRecordPrinter::TClock::now();
  FPrinter.SetStart(FStart);
  FEngine->Start();
}

double TSession::ReplayOrigin() const {
  return std::chrono::duration<double>(FStart.time_since_epoch()).count();
}

void TSession::StartReplay(std::function<void()> onEnd) {
  if (!FReplay || FPlayer) return;
  while (Mapper().Jstick1.PollPasses() == 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  FPlayer = std::make_unique<TReplayPlayer>(*FReplay, *FVirtualController, std::move(onEnd));
  FPlayer->Start(FStart);
}

void TSession::Shutdown() {
  FEngine->Shutdown();
  FPlayer.reset();
  // What the reader takes is still printed; a reader that stalls is not waited for.
  FPrinter.Finish(std::chrono::milliseconds(50));
}

}  // namespace kestrova
