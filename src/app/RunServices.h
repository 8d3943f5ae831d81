#pragma once
// What a run of kestrova needs besides the mapper: the controllers (SDL2, and the virtual one
// of a replay), the injector (XTest, or printed records), and the replay timeline.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Options.h"
#include "Replay.h"
#include "platform/Injector.h"
#include "platform/JoyService.h"

namespace kestrova {

// Writes "<t> <text>" lines to standard output, t in milliseconds since SetStart with three
// decimals, each flushed at once. Any thread.
class TRecordPrinter {
 public:
  using TClock = std::chrono::steady_clock;
  void SetStart(TClock::time_point start);
  void Print(const std::string& text);

 private:
  std::mutex FLock;
  TClock::time_point FStart = TClock::now();
};

struct TRunServices {
  std::optional<TReplay> Replay;
  std::unique_ptr<TJoyService> Joysticks;
  std::unique_ptr<TVirtualController> VirtualController;
  std::unique_ptr<TInjector> Injector;
  int JoystickID = 1;  // the controller to read, 1-based
};

// Reads the timeline, starts SDL2 (and the virtual controller of a replay), and opens the
// injector the options ask for. Throws std::runtime_error (EReplayError for a bad timeline)
// with a message for the user.
TRunServices OpenRunServices(const TCommandLine& options, TRecordPrinter& printer);

}  // namespace kestrova
