#pragma once
// The command line of kestrova.

#include <stdexcept>
#include <string>
#include <vector>

namespace kestrova {

extern const char* const HelpText;
extern const char* const VersionText;

// Bad usage; what() says what is wrong.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCommandLine {
  bool Headless = false;
  bool ListControllers = false;
  bool Check = false;
  bool Version = false;
  bool Help = false;
  int Joystick = 1;
  bool JoystickGiven = false;
  std::string Replay;
  std::string Output = "x11";
  int ScreenWidth = 1920;
  int ScreenHeight = 1080;
  bool CursorGiven = false;
  int CursorX = 0;
  int CursorY = 0;
  int PollInterval = 10;
  std::string Profile;
};

// Throws EUsage for unknown options, missing or malformed values, and a missing PROFILE where
// one is needed.
TCommandLine ParseOptions(const std::vector<std::string>& arguments);

}  // namespace kestrova
