#include "cli/Options.h"

#include <cstdio>

#include "mapping/Convert.h"

namespace kestrova {

const char* const HelpText =
    "kestrova [OPTIONS] [PROFILE]\n"
    "  --headless           run without a window; PROFILE is required\n"
    "  --hidden             start with the tray icon only (the window shows where there is no\n"
    "                       tray)\n"
    "  --last-profile       open the newest of the recent profiles (what a start at login does)\n"
    "  --load PROFILE       hand PROFILE to the running Kestrova (of this user and controller),\n"
    "                       or start one with it; --force loads over its unsaved edits\n"
    "  --quit               end the running Kestrova (keys it holds are released); over unsaved\n"
    "                       edits only with --force\n"
    "  --joystick N         use controller N (1..16; default 1)\n"
    "  --replay FILE        drive a virtual controller from the timeline FILE instead of a real "
    "one\n"
    "  --output auto|x11|uinput|print\n"
    "                       where keys and mouse go (default auto: uinput on a Wayland desktop\n"
    "                       or without X when /dev/uinput is writable, else x11); x11: XTest on\n"
    "                       $DISPLAY; uinput: virtual kernel devices that every desktop reads;\n"
    "                       print: inject nothing, print each injected call\n"
    "  --keyboard-layout LAYOUT[:VARIANT]\n"
    "                       the layout uinput types for (default: XKB_DEFAULT_LAYOUT, else\n"
    "                       /etc/default/keyboard, else us)\n"
    "  --screen WxH         screen size for print output (default 1920x1080) and for uinput's\n"
    "                       absolute moves (default: the connected display's mode)\n"
    "  --cursor X,Y         starting pointer position for --output print (default: the centre)\n"
    "  --poll-interval MS   milliseconds between two reads of the controller (1..100; default "
    "10)\n"
    "  --wake input|interval\n"
    "                       input (default): read the controller as soon as it reports input,\n"
    "                       and every --poll-interval ms only where it has no device node;\n"
    "                       interval: read it every --poll-interval ms\n"
    "  --active-window      print the application in front (window class, executable) and exit\n"
    "  --app-profiles       open the rules that switch profiles by application, with the window\n"
    "  --list-controllers   list the controllers and exit\n"
    "  --monitor            print what the controller does, a line per change, until stopped;\n"
    "                       injects nothing; with PROFILE, also the events it routes (with\n"
    "                       their layer where it is not 0) and what it would inject\n"
    "  --show-controller    open the window's controller view at start\n"
    "  --calibrate-gyro     hold the pad still for two seconds: its gyro's resting rate is taken\n"
    "                       off from then on (kept for this pad) and the program exits\n"
    "  --check              check PROFILE for problems and exit\n"
    "  --version, --help\n";

const char* const VersionText = "Kestrova " KESTROVA_VERSION "\n";

namespace {

int IntegerIn(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  // Plain decimal digits only: no blanks, signs or hex on the command line.
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || !TryStrToInt(text, value) || value < low || value > high) {
    throw EUsage(option + " takes a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not " + Quoted(text));
  }
  return value;
}

void SplitPair(const std::string& option, const std::string& text, char separator, int low,
               int& first, int& second) {
  const auto at = text.find(separator);
  if (at == std::string::npos) {
    throw EUsage(option + " takes two numbers separated by '" + separator + "', not '" + text +
                 "'");
  }
  first = IntegerIn(option, text.substr(0, at), low, 100000);
  second = IntegerIn(option, text.substr(at + 1), low, 100000);
}

}  // namespace

TCommandLine ParseOptions(const std::vector<std::string>& arguments) {
  TCommandLine options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw EUsage(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--headless") {
      options.Headless = true;
    } else if (argument == "--hidden") {
      options.Hidden = true;
    } else if (argument == "--last-profile") {
      options.LastProfile = true;
    } else if (argument == "--load") {
      options.Load = true;  // the PROFILE anywhere on the line: --load --force FILE works too
    } else if (argument == "--quit") {
      options.Quit = true;
    } else if (argument == "--monitor") {
      options.Monitor = true;
    } else if (argument == "--wake") {
      options.Wake = value();
      if (options.Wake != "input" && options.Wake != "interval") {
        throw EUsage("--wake is input or interval, not " + Quoted(options.Wake));
      }
    } else if (argument == "--app-profiles") {
      options.AppProfiles = true;
    } else if (argument == "--active-window") {
      options.ActiveWindow = true;
    } else if (argument == "--show-controller") {
      options.ShowController = true;
    } else if (argument == "--force") {
      options.Force = true;
    } else if (argument == "--list-controllers") {
      options.ListControllers = true;
    } else if (argument == "--calibrate-gyro") {
      options.CalibrateGyro = true;
    } else if (argument == "--check") {
      options.Check = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--joystick") {
      options.Joystick = IntegerIn(argument, value(), 1, 16);
      options.JoystickGiven = true;
    } else if (argument == "--replay") {
      options.Replay = value();
    } else if (argument == "--output") {
      options.Output = value();
      if (options.Output != "auto" && options.Output != "x11" && options.Output != "uinput" &&
          options.Output != "print") {
        throw EUsage("--output is auto, x11, uinput or print, not " + Quoted(options.Output));
      }
    } else if (argument == "--screen") {
      SplitPair(argument, value(), 'x', 1, options.ScreenWidth, options.ScreenHeight);
      options.ScreenGiven = true;
    } else if (argument == "--keyboard-layout") {
      options.KeyboardLayout = value();
      if (options.KeyboardLayout.empty() || options.KeyboardLayout.find(' ') != std::string::npos) {
        throw EUsage(
            "--keyboard-layout takes LAYOUT or LAYOUT:VARIANT, such as de or de:nodeadkeys");
      }
    } else if (argument == "--cursor") {
      SplitPair(argument, value(), ',', 0, options.CursorX, options.CursorY);
      options.CursorGiven = true;
    } else if (argument == "--poll-interval") {
      options.PollInterval = IntegerIn(argument, value(), 1, 100);
    } else if (argument.starts_with("-") && argument != "-") {
      throw EUsage("unknown option " + Elided(argument));
    } else if (options.Profile.empty()) {
      options.Profile = argument;
    } else {
      throw EUsage("only one PROFILE, not " + Quoted(options.Profile) + " and " + Quoted(argument));
    }
  }
  if (options.Help || options.Version) return options;
  if ((options.Headless || options.Check || options.Load) && options.Profile.empty()) {
    throw EUsage(std::string(options.Check      ? "--check"
                             : options.Headless ? "--headless"
                                                : "--load") +
                 " needs a PROFILE");
  }
  if (options.CursorGiven &&
      (options.CursorX >= options.ScreenWidth || options.CursorY >= options.ScreenHeight)) {
    throw EUsage("--cursor " + std::to_string(options.CursorX) + "," +
                 std::to_string(options.CursorY) + " is outside the " +
                 std::to_string(options.ScreenWidth) + "x" + std::to_string(options.ScreenHeight) +
                 " screen (0.." + std::to_string(options.ScreenWidth - 1) + ", 0.." +
                 std::to_string(options.ScreenHeight - 1) + ")");
  }
  if (!options.CursorGiven) {
    options.CursorX = options.ScreenWidth / 2;
    options.CursorY = options.ScreenHeight / 2;
  }
  return options;
}

}  // namespace kestrova
