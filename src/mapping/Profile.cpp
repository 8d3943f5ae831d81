#include "Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "Convert.h"
#include "TextFile.h"

namespace kestrova {

namespace {

EProfileError IndexError(long long index, int line, std::string meaning) {
  return EProfileError("List index out of bounds (" + std::to_string(index) + ")", line,
                       std::move(meaning));
}

int ToInteger(const std::string& text, int line, const std::string& what) {
  int value = 0;
  if (!TryStrToInt(text, value)) {
    throw EProfileError(Quoted(text) + " is not a valid integer value", line,
                        "line " + std::to_string(line) + " should be " + what + ", a whole number");
  }
  return value;
}

// What a file of each version holds.
struct TFormat {
  std::string_view Header;
  int Slots;
  int Tolerances;
};
constexpr TFormat Version1{ProfileHeader, BaseSlotCount, BaseToleranceCount};
constexpr TFormat Version2{ProfileHeader2, SlotCount, ToleranceCount};

// Where a file that ends too early ends.
std::string EndsEarly(int lastTag, const TFormat& format) {
  const std::string whole = "a profile has " + std::to_string(format.Slots) +
                            " command tags (0 to " + std::to_string(format.Slots - 1) +
                            ") and then its tolerances";
  if (lastTag < 0) return "the file ends before any command tag; " + whole;
  if (lastTag == format.Slots - 1) {
    return "the file ends after command tag " + std::to_string(lastTag) + ", without the " +
           std::string(TolerancesMarker) + " section; " + whole;
  }
  return "the file ends after command tag " + std::to_string(lastTag) + "; a profile has " +
         std::to_string(format.Slots);
}

// "four (X, Y, Z and R)"
std::string ToleranceList(const TFormat& format) {
  std::string list = format.Tolerances == BaseToleranceCount ? "four (" : "seven (";
  for (int axis = 0; axis < format.Tolerances; ++axis) {
    if (axis > 0) list += axis + 1 == format.Tolerances ? " and " : ", ";
    list += ToleranceNames[axis];
  }
  return list + ")";
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

const std::array<std::string_view, ToleranceCount> ToleranceNames = {"X", "Y", "Z",      "R",
                                                                     "U", "V", "Trigger"};

bool NeedsVersion2(const TSlotTable& slots, const TTolerances& tolerances,
                   const TMotionSettings& motion, const TExtraLists& extras) {
  if (motion != DefaultMotion || !extras.Empty()) return true;
  for (int slot = BaseSlotCount; slot < SlotCount; ++slot) {
    if (!slots[slot].empty()) return true;
  }
  for (int axis = BaseToleranceCount; axis < ToleranceCount; ++axis) {
    if (tolerances[axis] != DefaultTolerance) return true;
  }
  return false;
}

std::vector<std::string> SplitProfileLines(std::string_view text) {
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::string FormatProfile(const TSlotTable& slots, const TTolerances& tolerances,
                          const TMotionSettings& motion, const TExtraLists& extras) {
  std::string text;
  const auto add = [&text](std::string_view line) {
    text.append(line);
    text.append("\r\n");
  };
  const TFormat& format = NeedsVersion2(slots, tolerances, motion, extras) ? Version2 : Version1;
  add(format.Header);
  for (int slot = 0; slot < format.Slots; ++slot) {
    add(std::string(CommandTag) + " " + std::to_string(slot));
    for (const auto& line : slots[slot]) add(line);
  }
  for (const auto& [id, lines] : extras.Lists) {
    add(std::string(CommandTag) + " " + std::to_string(id));
    for (const auto& line : lines) add(line);
  }
  add(TolerancesMarker);
  for (int axis = 0; axis < format.Tolerances; ++axis) add(std::to_string(tolerances[axis]));
  if (const auto press = FormatPressLines(extras.Press); !press.empty()) {
    add(PressMarker);
    for (const std::string& line : press) add(line);
  }
  if (motion != DefaultMotion) {
    add(MotionMarker);
    for (const std::string& line : FormatMotionLines(motion)) add(line);
  }
  return text;
}

std::string WithMeaning(const EProfileError& error) {
  if (error.Meaning().empty()) return error.what();
  return std::string(error.what()) + " (" + error.Meaning() + ")";
}

TLoadedProfile ParseProfile(std::string_view text, const TSlotTable& current) {
  const std::vector<std::string> lines = SplitProfileLines(text);
  const auto count = static_cast<long long>(lines.size());
  if (lines.empty()) throw IndexError(0, 1, "the file is empty");
  if (lines[0] != ProfileHeader && lines[0] != ProfileHeader2) throw EProfileMismatch();
  const TFormat& format = lines[0] == ProfileHeader ? Version1 : Version2;
  const int maxSlot = format.Slots - 1;

  TLoadedProfile profile;
  profile.Version = format.Tolerances == ToleranceCount ? 2 : 1;
  profile.Slots = current;
  for (int extended = format.Slots; extended < SlotCount; ++extended) {
    profile.Slots[extended].clear();
  }
  int slot = -1;  // the list being read: a slot, or a list id beyond the slot table
  std::vector<std::string>* list = nullptr;
  std::vector<int>* sourceLines = nullptr;
  long long index = 1;
  for (;; ++index) {
    if (index >= count) {
      throw IndexError(index, static_cast<int>(index + 1), EndsEarly(slot, format));
    }
    const std::string& line = lines[index];
    const int lineNumber = static_cast<int>(index + 1);
    if (Contains(line, CommandTag)) {
      slot = ToInteger(GetCmdParam(line, 0), lineNumber, "a command tag's number");
      const bool extra = profile.Version == 2 && slot > maxSlot && ListAddressOf(slot);
      if ((slot < 0 || slot > maxSlot) && !extra) {
        throw IndexError(
            slot, lineNumber,
            "line " + std::to_string(lineNumber) + " tags command list " + std::to_string(slot) +
                "; a profile has lists 0 to " + std::to_string(maxSlot) +
                (slot > maxSlot && ListAddressOf(slot)
                     ? " (lists after that need the header " + std::string(ProfileHeader2) + ")"
                 : profile.Version == 2
                     ? " and the lists of layers and press types (layer x 10000 + type x 1000 "
                       "+ slot)"
                     : ""));
      }
      if (extra) {
        list = &profile.Extras.Lists[slot];
        sourceLines = &profile.ExtraSourceLines[slot];
      } else {
        list = &profile.Slots[slot];
        sourceLines = &profile.SourceLines[slot];
      }
      list->clear();
      sourceLines->clear();
    } else if (Contains(line, TolerancesMarker)) {
      break;
    } else if (list != nullptr) {
      list->push_back(line);
      sourceLines->push_back(lineNumber);
    }
  }
  profile.TolerancesLine = static_cast<int>(index + 1);
  for (int axis = 0; axis < format.Tolerances; ++axis) {
    const long long at = index + 1 + axis;
    const std::string name(ToleranceNames[axis]);
    if (at >= count) {
      throw IndexError(at, static_cast<int>(at + 1),
                       "the file ends before the " + name + " tolerance; a profile has " +
                           ToleranceList(format));
    }
    profile.ToleranceTexts[axis] = lines[at];
    profile.Tolerances[axis] =
        ToInteger(lines[at], static_cast<int>(at + 1), "the " + name + " tolerance");
  }
  // What follows the tolerances of a version-2 file: its press and motion sections, each line by
  // line to the other's marker or the end.
  long long at = index + 1 + format.Tolerances;
  while (profile.Version == 2 && at < count &&
         (lines[at] == MotionMarker || lines[at] == PressMarker)) {
    const bool motion = lines[at] == MotionMarker;
    for (++at; at < count && lines[at] != (motion ? PressMarker : MotionMarker); ++at) {
      const int lineNumber = static_cast<int>(at + 1);
      const auto problem = motion ? ReadMotionLine(lines[at], profile.Motion)
                                  : ReadPressLine(lines[at], profile.Extras.Press);
      if (problem) {
        throw EProfileError(std::string(motion ? "Bad motion" : "Bad press") + " setting in line " +
                                std::to_string(lineNumber),
                            lineNumber, *problem);
      }
    }
  }
  // A list tagged without lines is none.
  std::erase_if(profile.Extras.Lists, [](const auto& entry) { return entry.second.empty(); });
  // Slots kept from before have no file lines.
  for (int i = 0; i < SlotCount; ++i) {
    profile.SourceLines[i].resize(profile.Slots[i].size(), 0);
  }
  return profile;
}

TLoadedProfile ReadProfileFile(const std::filesystem::path& path, const TSlotTable& current) {
  std::string text;
  try {
    text = ReadRegularFile(path);
  } catch (const EFileError& error) {
    throw EProfileError(error.what(), 0);
  }
  return ParseProfile(text, current);
}

void WriteProfileFile(const std::filesystem::path& path, const TSlotTable& slots,
                      const TTolerances& tolerances, const TMotionSettings& motion,
                      const TExtraLists& extras) {
  const std::string text = FormatProfile(slots, tolerances, motion, extras);
  const EProfileError failure("Cannot create file " + path.string(), 0);
  // A link is saved through: the file it points at is replaced, the link stays.
  std::error_code error;
  std::filesystem::path target = path;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
    target = std::filesystem::weakly_canonical(path, error);
    if (error) throw failure;
  }

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // The rename below needs only the folder's permission: the file's own must be asked.
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) throw failure;

  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string temporary = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) throw failure;

  // The new file gets the old one's permissions and owner, or the usual ones for a new file.
  mode_t mode = 0;
  bool keepsOwner = true;
  if (exists) {
    mode = old.st_mode & 07777;
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      keepsOwner = ::fchown(fd, old.st_uid, old.st_gid) == 0 || old.st_uid == ::geteuid();
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (!keepsOwner) {
    // Another user's file that we may write, but not give back to its owner once replaced:
    // written in place, so that it stays theirs.
    ::close(fd);
    ::unlink(temporary.c_str());
    const int inPlace = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (inPlace < 0) throw failure;
    const bool written = WriteAll(inPlace, text) && ::fsync(inPlace) == 0;
    if (::close(inPlace) != 0 || !written) throw failure;
    return;
  }
  const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw failure;
  }
}

std::string ProfileAsText(const TSlotTable& slots, const TTolerances& tolerances,
                          const TMotionSettings& motion, const TExtraLists& extras) {
  std::string text;
  const auto addList = [&text](int id, const std::vector<std::string>& lines) {
    const TListAddress list = *ListAddressOf(id);
    text += std::string(EventNames[list.Slot / 2]);
    if (list.Type != TPressType::Plain) {
      text += " " + std::string(PressTypeNames[static_cast<int>(list.Type)]);
    }
    text += list.Slot % 2 == 0 ? " Press" : " Release";
    if (list.Layer != 0) text += " in layer " + std::to_string(list.Layer);
    text += ": (#Command Tag " + std::to_string(id) + ")\n";
    for (const auto& line : lines) text += "    " + line + "\n";
  };
  for (int slot = 0; slot < SlotCount; ++slot) {
    if (!slots[slot].empty()) addList(slot, slots[slot]);
  }
  for (const auto& [id, lines] : extras.Lists) addList(id, lines);
  if (text.empty()) text = "(no list has lines)\n";
  text += "Tolerances:";
  for (int axis = 0; axis < ToleranceCount; ++axis) {
    text += (axis == 0 ? " " : ", ") + std::string(ToleranceNames[axis]) + " " +
            std::to_string(tolerances[axis]);
  }
  text += "\n";
  if (const auto press = FormatPressLines(extras.Press); !press.empty()) {
    text += "Press settings:\n";
    for (const std::string& line : press) text += "    " + line + "\n";
  }
  if (motion != DefaultMotion) {
    text += "Motion:\n";
    for (const std::string& line : FormatMotionLines(motion)) text += "    " + line + "\n";
  }
  return text;
}

}  // namespace kestrova
