#pragma once
// The command line of kestrova.

#include <stdexcept>
#include <string>
#include <vector>

#include "session/Session.h"

namespace kestrova {

extern const char* const HelpText;
extern const char* const VersionText;

// Bad usage; what() says what is wrong.
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What to do, and the options of the run (TSessionOptions).
struct TCommandLine : TSessionOptions {
  bool Headless = false;
  bool ListControllers = false;
  bool Check = false;
  bool Version = false;
  bool Help = false;
  bool Hidden = false;          // start with the tray icon only
  bool LastProfile = false;     // open the newest recent profile when no PROFILE is given
  bool Load = false;            // hand PROFILE to the running instance, or start one with it
  bool Quit = false;            // end the running instance
  bool Monitor = false;         // print what the controller does
  bool CalibrateGyro = false;   // take the pad's gyro bias (held still) and keep it
  bool ShowController = false;  // open the controller view with the window
  bool ActiveWindow = false;    // print the application in front and exit
  bool AppProfiles = false;     // open the application profiles with the window
  bool Force = false;           // load even over unsaved edits of the running instance
  std::string Profile;
};

// Throws EUsage for unknown options, missing or malformed values, and a missing PROFILE where
// one is needed.
TCommandLine ParseOptions(const std::vector<std::string>& arguments);

}  // namespace kestrova
