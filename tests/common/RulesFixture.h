#pragma once
// Two profiles and the settings of rules that pick them by the application in front: RacingGame
// gets the racing profile, every other application the desktop profile.

#include <filesystem>
#include <fstream>
#include <string>

#include "mapping/Profile.h"

namespace kestrova::testing {

struct TRulesFixture {
  std::string RacingProfile;   // types r on stick left
  std::string DesktopProfile;  // types d on stick left
  std::string ConfigHome;      // for XDG_CONFIG_HOME
};

inline TRulesFixture WriteRulesFixture(const std::filesystem::path& dir) {
  TRulesFixture fixture;
  TSlotTable racing;
  racing[0] = {"KEY DOWN r"};
  TSlotTable desktop;
  desktop[0] = {"KEY DOWN d"};
  fixture.RacingProfile = (dir / "racing.kpf").string();
  fixture.DesktopProfile = (dir / "desktop.kpf").string();
  WriteProfileFile(fixture.RacingProfile, racing, {300, 300, 300, 300, 300, 300, 300});
  WriteProfileFile(fixture.DesktopProfile, desktop, {300, 300, 300, 300, 300, 300, 300});
  fixture.ConfigHome = (dir / "config").string();
  std::filesystem::create_directories(dir / "config" / "Kestrova");
  std::ofstream(dir / "config" / "Kestrova" / "Kestrova.ini")
      << "[applications]\nenabled=true\ndefault=" << fixture.DesktopProfile
      << "\nrule1=class|RacingGame|" << fixture.RacingProfile << "\n";
  return fixture;
}

}  // namespace kestrova::testing
