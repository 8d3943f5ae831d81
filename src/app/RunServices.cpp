#include "RunServices.h"

#include <cstdio>

#include "platform/fake/RecordingInjector.h"
#include "platform/sdl/SdlJoyService.h"
#include "platform/x11/X11Injector.h"

namespace kestrova {

void TRecordPrinter::SetStart(TClock::time_point start) {
  std::lock_guard lock(FLock);
  FStart = start;
}

void TRecordPrinter::Print(const std::string& text) {
  std::lock_guard lock(FLock);
  const double ms = std::chrono::duration<double, std::milli>(TClock::now() - FStart).count();
  std::printf("%.3f %s\n", ms, text.c_str());
  std::fflush(stdout);
}

TRunServices OpenRunServices(const TCommandLine& options, TRecordPrinter& printer) {
  TRunServices services;
  if (!options.Replay.empty()) services.Replay = ReadReplayFile(options.Replay);
  services.Joysticks = CreateSdlJoyService();
  services.JoystickID = options.Joystick;
  if (services.Replay) {
    const TVirtualControllerDesc desc;
    services.VirtualController = AttachSdlVirtualController(desc);
    if (!options.JoystickGiven) {
      services.JoystickID = 0;
      for (const auto& controller : ListControllers(*services.Joysticks)) {
        if (controller.Name == desc.Name) services.JoystickID = controller.JoystickID;
      }
      if (services.JoystickID == 0)
        throw std::runtime_error("the virtual controller does not answer");
    }
  }
  if (options.Output == "print") {
    auto recorder = std::make_unique<TRecordingInjector>(options.ScreenWidth, options.ScreenHeight,
                                                         TPoint{options.CursorX, options.CursorY});
    recorder->SetKeepRecords(false);
    recorder->SetSink([&printer](const std::string& line) { printer.Print(line); });
    services.Injector = std::move(recorder);
  } else {
    services.Injector = CreateX11Injector();
  }
  return services;
}

}  // namespace kestrova
