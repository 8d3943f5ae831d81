#pragma once
// The profile file (.kpf): 8-bit text, CR LF lines. The header, then for every slot a tag line
// "#Command Tag <i>" followed by the slot's command lines, then "#Tolerances" and the tolerances.
// Version 1 ("#Kestrova Beta Profile") has slots 0..65 and the X, Y, Z and R tolerances; version 2
// ("#Kestrova Profile 2") every slot and also the U, V and trigger tolerances, then the tags of
// the lists of layers and press types that have lines (by list id, see Layers.h), and after the
// tolerances the "#Press" and "#Motion" sections where they say something. A profile is written
// as version 1 whenever that says all of it.

#include <array>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Layers.h"
#include "MotionSettings.h"
#include "Slots.h"

namespace kestrova {

constexpr std::string_view ProfileHeader = "#Kestrova Beta Profile";
constexpr std::string_view ProfileHeader2 = "#Kestrova Profile 2";
constexpr std::string_view CommandTag = "#Command Tag";
constexpr std::string_view TolerancesMarker = "#Tolerances";
constexpr std::string_view ProfileMismatchMessage =
    "The profile you are trying to load is for a different version of Kestrova- sorry!";

// A profile that cannot be loaded or saved. what() is the system's message; Line() is the
// 1-based line of the file where reading stopped (0 for file-level errors).
class EProfileError : public std::runtime_error {
 public:
  EProfileError(const std::string& message, int line, std::string meaning = {})
      : std::runtime_error(message), FLine(line), FMeaning(std::move(meaning)) {}
  int Line() const { return FLine; }
  // What the message means for this file, in plain words ("the file ends after command tag 29;
  // a profile has 66"); empty where the message says it all.
  const std::string& Meaning() const { return FMeaning; }

 private:
  int FLine;
  std::string FMeaning;
};

// The message of a profile error with what it means, where it says more: "List index out of
// bounds (30) (the file ends after command tag 29; a profile has 66)".
std::string WithMeaning(const EProfileError& error);

// The first line is not the header.
class EProfileMismatch : public EProfileError {
 public:
  EProfileMismatch() : EProfileError(std::string(ProfileMismatchMessage), 1) {}
};

// The tolerances in the order X, Y, Z, R, U, V, triggers; a version-1 profile has the first four.
constexpr int BaseToleranceCount = 4;
constexpr int ToleranceCount = 7;
constexpr int DefaultTolerance = 300;
// Those not given are at the default, as a version-1 profile leaves them: {1, 2, 3, 4} are the X,
// Y, Z and R tolerances with U, V and the triggers' at 300.
class TTolerances : public std::array<int, ToleranceCount> {
 public:
  constexpr TTolerances() { fill(DefaultTolerance); }
  constexpr TTolerances(std::initializer_list<int> given) {
    fill(DefaultTolerance);
    std::size_t index = 0;
    for (const int tolerance : given) {
      if (index < size()) (*this)[index++] = tolerance;
    }
  }
};
inline constexpr TTolerances DefaultTolerances{};
// "X", "Y", "Z", "R", "U", "V", "Trigger"
extern const std::array<std::string_view, ToleranceCount> ToleranceNames;

// Whether a profile needs version 2: a line in a slot after 65, a U, V or trigger tolerance
// other than the default, or motion settings other than the defaults.
bool NeedsVersion2(const TSlotTable& slots, const TTolerances& tolerances,
                   const TMotionSettings& motion = DefaultMotion,
                   const TExtraLists& extras = NoExtraLists);

// What a load gives: the whole slot table as it stands after the load, the tolerances as read,
// and for every slot line the 1-based line of the file it came from (0 where it was kept).
struct TLoadedProfile {
  TSlotTable Slots;
  std::array<std::vector<int>, SlotCount> SourceLines;
  int Version = 1;
  TTolerances Tolerances = DefaultTolerances;
  std::array<std::string, ToleranceCount> ToleranceTexts;  // "" for those the file has not
  int TolerancesLine = 0;                                  // line of the marker
  TMotionSettings Motion;  // the defaults where the file has no motion section
  // The lists of layers and press types, and the press settings: none kept from before.
  TExtraLists Extras;
  std::map<int, std::vector<int>> ExtraSourceLines;  // list id -> file lines, as SourceLines
};

// Splits 8-bit text into lines ending at CR, LF or CR LF; a NUL ends the text.
std::vector<std::string> SplitProfileLines(std::string_view text);

// The file's text, every line ending in CR LF; a version-2 file ends in the motion section
// where the motion settings are not the defaults.
std::string FormatProfile(const TSlotTable& slots, const TTolerances& tolerances,
                          const TMotionSettings& motion = DefaultMotion,
                          const TExtraLists& extras = NoExtraLists);

// Parses a whole file's text over the current slot table: slots the file does not tag keep their
// lines, except that a version-1 file leaves every slot after 65 empty (and the U, V and trigger
// tolerances at their defaults), as it was written from such a profile. Throws EProfileMismatch, or
// EProfileError with "List index out of bounds (%d)" or
// "'%s' is not a valid integer value", or for a line of the motion section that is none
// "Bad motion setting in line %d" (of the press section "Bad press setting in line %d"); nothing
// is half-applied since the result is separate.
TLoadedProfile ParseProfile(std::string_view text, const TSlotTable& current);

// Reads and parses a file; "Cannot open file %s" when it cannot be read.
TLoadedProfile ReadProfileFile(const std::filesystem::path& path, const TSlotTable& current);

// The profile for reading: each list that has lines under the name of its event and kind
// ("Stick Left Press:", its tag in brackets), its lines indented, then the tolerances.
std::string ProfileAsText(const TSlotTable& slots, const TTolerances& tolerances,
                          const TMotionSettings& motion = DefaultMotion,
                          const TExtraLists& extras = NoExtraLists);

// Writes a temporary file beside the target and renames it over the target, so that a failed
// save leaves the old file as it was. A link is saved through to the file it points at. A target
// the user may not write is refused; another user's file keeps its owner. "Cannot create file
// %s" when the save fails.
void WriteProfileFile(const std::filesystem::path& path, const TSlotTable& slots,
                      const TTolerances& tolerances, const TMotionSettings& motion = DefaultMotion,
                      const TExtraLists& extras = NoExtraLists);

}  // namespace kestrova
