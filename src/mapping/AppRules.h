#pragma once
// Profiles that follow the application in front: rules from an application (its window class,
// or its executable) to a profile file, and a default profile for every other application. No
// Qt: the rules are plain data, read and written by the settings.

#include <string>
#include <vector>

namespace kestrova {

struct TAppRule {
  enum TMatch { WindowClass, Executable } Match = WindowClass;
  std::string Value;    // "RacingGame", or "/usr/games/racing" or its file name "racing"
  std::string Profile;  // the .kpf to load
};

struct TAppRules {
  bool Enabled = true;  // the tray's switch; rules do nothing while there are none
  std::vector<TAppRule> Rules;
  std::string DefaultProfile;  // for any other application; "" keeps the current profile
};

// "class|RacingGame|/home/me/racing.kpf": one rule as the settings store it; nothing for a
// malformed text.
std::string FormatAppRule(const TAppRule& rule);
bool ParseAppRule(const std::string& text, TAppRule& rule);

}  // namespace kestrova
