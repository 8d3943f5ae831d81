#include "Replay.h"

#include "mapping/Convert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <sstream>

#include "mapping/Profile.h"
#include "mapping/TextFile.h"

namespace kestrova {

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> fields;
  for (std::string field; stream >> field;) fields.push_back(field);
  return fields;
}

bool Unsigned(const std::string& text, std::uint32_t limit, std::uint32_t& value) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const unsigned long long parsed = std::stoull(text);
  if (parsed > limit) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

}  // namespace

namespace {

// A trigger rests at 0, unlike the other axes (32767): one still pulled when the timeline ends
// is most likely a "rest" written as 32767. On a pad, Z is both triggers on one axis.
void AddReplayWarnings(TReplay& replay, const std::string& fileName) {
  const auto at = [&](std::size_t i) {
    return fileName + ":" + std::to_string(replay.EntryLines[i]) + ": ";
  };
  std::size_t lastTrigger[2] = {SIZE_MAX, SIZE_MAX};
  bool zTold = false;
  for (std::size_t i = 0; i < replay.Entries.size(); ++i) {
    const TReplayEntry& entry = replay.Entries[i];
    if (entry.Kind != TReplayEntry::Axis) continue;
    if (entry.Index >= TReplayEntry::LeftTriggerAxis) {
      lastTrigger[entry.Index - TReplayEntry::LeftTriggerAxis] = i;
    } else if (entry.Index == 2 && replay.Pad && !zTold) {
      replay.Warnings.push_back(at(i) +
                                "on a game pad, axis Z moves both triggers on one axis (above "
                                "32767 the left trigger, below it the right); LT and RT move "
                                "each trigger on its own");
      zTold = true;
    }
  }
  for (int trigger = 0; trigger < 2; ++trigger) {
    const std::size_t i = lastTrigger[trigger];
    if (i == SIZE_MAX || replay.Entries[i].Value == 0) continue;
    replay.Warnings.push_back(at(i) + (trigger == 0 ? "the left" : "the right") +
                              " trigger is still pulled (" +
                              std::to_string(replay.Entries[i].Value) +
                              ") when the timeline ends: a trigger rests at 0, not 32767");
  }
}

}  // namespace

TReplay ParseReplay(std::string_view text, const std::string& fileName) {
  TReplay replay;
  std::uint64_t previous = 0;  // microseconds
  std::string previousText = "0";
  bool ended = false;
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    // Our own text format: a NUL is a damaged file, not the end of the text.
    const auto line = SplitProfileLines(std::string(text.substr(0, nul)) + "x").size();
    throw EReplayError(fileName + ":" + std::to_string(line) +
                       ": a NUL byte (this is not a text file)");
  }
  const std::vector<std::string> lines = SplitProfileLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto fail = [&](const std::string& reason) {
      return EReplayError(fileName + ":" + std::to_string(i + 1) + ": " + reason);
    };
    const std::vector<std::string> fields = Fields(lines[i].substr(0, lines[i].find('#')));
    if (fields.empty()) continue;
    if (ended) throw fail("nothing may follow the end entry");
    TReplayEntry entry{};
    // Milliseconds, with up to three decimals (microseconds) after a point.
    const std::size_t point = fields[0].find('.');
    const std::string whole = fields[0].substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : fields[0].substr(point + 1);
    std::uint32_t microseconds = 0;
    if (!Unsigned(whole, 0xFFFFFFFFu, entry.TimeMs) ||
        (point != std::string::npos &&
         (fraction.empty() || fraction.size() > 3 ||
          !Unsigned(fraction + std::string(3 - fraction.size(), '0'), 999, microseconds)))) {
      throw fail("the time " + Quoted(fields[0]) +
                 " is not a number of milliseconds (a whole number, or up to three decimals)");
    }
    entry.TimeUs = microseconds;
    if (entry.TimeMs * 1000ULL + entry.TimeUs < previous) {
      throw fail("the time " + fields[0] + " comes before the previous entry's " + previousText);
    }
    const std::string kind = fields.size() > 1 ? fields[1] : "";
    std::size_t expected = 0;
    if (kind == "axis") {
      expected = 4;
      static const std::string axes[] = {"X", "Y", "Z", "R", "U", "V", "LT", "RT"};
      if (fields.size() != expected) {
        throw fail("an axis entry is: <time> axis X|Y|Z|R|U|V|LT|RT <raw>");
      }
      const auto at = std::find(std::begin(axes), std::end(axes), fields[2]);
      if (at == std::end(axes)) {
        throw fail("unknown axis " + Quoted(fields[2]) + " (X, Y, Z, R, U, V, LT or RT)");
      }
      entry.Kind = TReplayEntry::Axis;
      entry.Index = static_cast<int>(at - std::begin(axes));
      if (entry.Index >= TReplayEntry::LeftTriggerAxis) replay.Pad = true;
      if (!Unsigned(fields[3], 65535, entry.Value)) {
        throw fail("the axis value " + Quoted(fields[3]) + " is not in 0..65535");
      }
    } else if (kind == "button") {
      expected = 4;
      if (fields.size() != expected) throw fail("a button entry is: <time> button <n> down|up");
      std::uint32_t number = 0;
      if (!Unsigned(fields[2], 32, number) || number == 0) {
        throw fail("the button " + Quoted(fields[2]) + " is not in 1..32");
      }
      if (fields[3] != "down" && fields[3] != "up") {
        throw fail("a button goes 'down' or 'up', not " + Quoted(fields[3]));
      }
      entry.Kind = TReplayEntry::Button;
      entry.Index = static_cast<int>(number);
      entry.Value = fields[3] == "down" ? 1 : 0;
    } else if (kind == "hat") {
      expected = 3;
      if (fields.size() != expected) throw fail("a hat entry is: <time> hat centre|<angle>");
      entry.Kind = TReplayEntry::Hat;
      if (fields[2] == "centre") {
        entry.Value = JOY_POVCENTERED;
      } else if (!Unsigned(fields[2], 31500, entry.Value) || entry.Value % 4500 != 0) {
        throw fail("the hat angle " + Quoted(fields[2]) + " is not one of 0 4500 9000 ... 31500");
      }
    } else if (kind == "gyro" || kind == "accel") {
      expected = 5;
      if (fields.size() != expected)
        throw fail("a " + kind + " entry is: <time> " + kind + " <x> <y> <z>");
      entry.Kind = kind == "gyro" ? TReplayEntry::Gyro : TReplayEntry::Accel;
      const double limit = kind == "gyro" ? 5000 : 200;
      for (int axis = 0; axis < 3; ++axis) {
        double value = 0;
        if (!TryStrToFloat(fields[2 + axis], '.', value) || !(std::abs(value) <= limit)) {
          throw fail("the " + kind + " value " + Quoted(fields[2 + axis]) +
                     " is not a number in -" + FormatMinDigits(static_cast<long long>(limit), 1) +
                     ".." + FormatMinDigits(static_cast<long long>(limit), 1));
        }
        entry.Values[axis] = static_cast<float>(value);
      }
      replay.Pad = replay.Sensors = true;
    } else if (kind == "touch") {
      if (fields.size() != 5 && fields.size() != 6) {
        throw fail("a touch entry is: <time> touch down|move|up <x> <y> [<finger>]");
      }
      entry.Kind = TReplayEntry::Touch;
      if (fields[2] == "down") {
        entry.Value = TPadSample::TouchDown;
      } else if (fields[2] == "move") {
        entry.Value = TPadSample::TouchMotion;
      } else if (fields[2] == "up") {
        entry.Value = TPadSample::TouchUp;
      } else {
        throw fail("a touch goes 'down', 'move' or 'up', not " + Quoted(fields[2]));
      }
      for (int axis = 0; axis < 2; ++axis) {
        double value = 0;
        if (!TryStrToFloat(fields[3 + axis], '.', value) || !(value >= 0 && value <= 1)) {
          throw fail("the touch position " + Quoted(fields[3 + axis]) + " is not in 0..1");
        }
        entry.Values[axis] = static_cast<float>(value);
      }
      std::uint32_t finger = 0;
      if (fields.size() == 6 && !Unsigned(fields[5], 9, finger)) {
        throw fail("the finger " + Quoted(fields[5]) + " is not in 0..9");
      }
      entry.Index = static_cast<int>(finger);
      replay.Pad = replay.Sensors = true;
    } else if (kind == "end") {
      if (fields.size() != 2) throw fail("an end entry is: <time> end");
      entry.Kind = TReplayEntry::End;
      ended = true;
    } else {
      throw fail("unknown entry " + Quoted(kind) +
                 " (axis, button, hat, gyro, accel, touch or end)");
    }
    previous = entry.TimeMs * 1000ULL + entry.TimeUs;
    previousText = fields[0];
    replay.Entries.push_back(entry);
    replay.EntryLines.push_back(static_cast<int>(i + 1));
  }
  // A pad has no V axis, no hat of its own (the d-pad stands for it) and 16 buttons.
  for (std::size_t i = 0; replay.Pad && i < replay.Entries.size(); ++i) {
    const TReplayEntry& entry = replay.Entries[i];
    const std::string where =
        fileName + ":" + std::to_string(replay.EntryLines[i]) + ": " + "a timeline with " +
        (replay.Sensors ? "gyro, accel or touch entries" : "LT or RT") + " drives a game pad, ";
    if (entry.Kind == TReplayEntry::Axis && entry.Index == 5) {
      throw EReplayError(where + "which has no V axis");
    }
    if (entry.Kind == TReplayEntry::Button && entry.Index > PadButtonCount) {
      throw EReplayError(where + "whose buttons are 1.." + std::to_string(PadButtonCount));
    }
  }
  AddReplayWarnings(replay, fileName);
  if (ended) {
    replay.EndTimeMs = replay.Entries.back().TimeMs;
  } else {
    replay.EndTimeMs = replay.Entries.empty() ? 1000 : replay.Entries.back().TimeMs + 1000ULL;
  }
  return replay;
}

TReplay ReadReplayFile(const std::string& fileName) {
  std::string text;
  try {
    text = ReadRegularFile(fileName);
  } catch (const EFileError& error) {
    throw EReplayError(error.what());
  }
  return ParseReplay(text, fileName);
}

TReplayPlayer::TReplayPlayer(const TReplay& replay, TVirtualController& controller,
                             std::function<void()> onEnd)
    : FReplay(replay), FController(controller), FOnEnd(std::move(onEnd)) {}

TReplayPlayer::~TReplayPlayer() {
  Stop();
}

void TReplayPlayer::Start(TClock::time_point start) {
  FThread = std::thread([this, start] { Run(start); });
}

void TReplayPlayer::Stop() {
  {
    std::lock_guard lock(FLock);
    FStopped = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TReplayPlayer::Run(TClock::time_point start) {
  const auto waitUntil = [&](std::uint64_t timeMs, std::uint32_t us = 0) {
    std::unique_lock lock(FLock);
    return !FWake.wait_until(
        lock, start + std::chrono::milliseconds(timeMs) + std::chrono::microseconds(us),
        [this] { return FStopped; });
  };
  // A gyro rate and an accelerometer reading hold from their entry on: sampled every
  // ReplaySampleMs, each sample pushed as a pad's own would come.
  bool holding = false;
  TPadSample gyro;
  gyro.Kind = TPadSample::Gyro;
  TPadSample accel;
  accel.Kind = TPadSample::Accel;
  std::uint64_t nextSampleUs = 0;  // since start
  const auto sampleUntil = [&](std::uint64_t untilUs) {
    while (holding && nextSampleUs <= untilUs) {
      if (!waitUntil(nextSampleUs / 1000, static_cast<std::uint32_t>(nextSampleUs % 1000))) {
        return false;
      }
      const std::uint64_t at = static_cast<std::uint64_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(start.time_since_epoch()).count() +
          static_cast<std::int64_t>(nextSampleUs));
      gyro.TimeUs = accel.TimeUs = at;
      FController.PushSample(accel);
      FController.PushSample(gyro);
      nextSampleUs += ReplaySampleMs * 1000;
    }
    return true;
  };
  for (const auto& entry : FReplay.Entries) {
    if (entry.Kind == TReplayEntry::End) break;
    const std::uint64_t entryUs = entry.TimeMs * 1000ULL + entry.TimeUs;
    if (!sampleUntil(entryUs) || !waitUntil(entry.TimeMs, entry.TimeUs)) return;
    switch (entry.Kind) {
      case TReplayEntry::Gyro:
      case TReplayEntry::Accel: {
        TPadSample& held = entry.Kind == TReplayEntry::Gyro ? gyro : accel;
        std::copy(std::begin(entry.Values), std::end(entry.Values), std::begin(held.Values));
        if (!holding) nextSampleUs = entryUs;
        holding = true;
        break;
      }
      case TReplayEntry::Touch: {
        TPadSample touch;
        touch.Kind = static_cast<TPadSample::TKind>(entry.Value);
        touch.Values[0] = entry.Values[0];
        touch.Values[1] = entry.Values[1];
        touch.Finger = entry.Index;
        FController.PushSample(touch);
        break;
      }
      case TReplayEntry::Axis:
        FController.SetAxis(entry.Index, static_cast<std::uint16_t>(entry.Value));
        break;
      case TReplayEntry::Button:
        FController.SetButton(entry.Index, entry.Value != 0);
        break;
      case TReplayEntry::Hat:
        FController.SetPov(entry.Value);
        break;
      case TReplayEntry::End:
        break;
    }
  }
  if (!sampleUntil(FReplay.EndTimeMs * 1000)) return;
  if (waitUntil(FReplay.EndTimeMs) && FOnEnd) FOnEnd();
}

}  // namespace kestrova
