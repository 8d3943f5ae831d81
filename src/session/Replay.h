#pragma once
// Replay timelines: what a virtual controller does, and when.
//
//   <time> axis X|Y|Z|R|U|V <raw>     raw 0..65535
//   <time> axis LT|RT <raw>           a trigger on its own, 0 let go .. 65535 pulled
//   <time> button <n> down|up         n 1..32
//   <time> hat centre|<angle>         angle 0 4500 9000 ... 31500
//   <time> gyro <x> <y> <z>           the pad turns at these degrees a second (pitch, yaw, roll)
//                                     from then on, in samples every 4 ms
//   <time> accel <x> <y> <z>          gravity and motion, metres a second squared, from then on
//   <time> touch down|move|up <x> <y> [<finger>]
//                                     the touchpad, 0..1 across and down; finger 0 by default
//   <time> end                        shut down then
//
// A timeline with a trigger entry, or a gyro, accel or touch entry, drives a virtual game pad read
// in the pad layout (Z then sets both triggers as that layout reads them; no V axis; buttons
// 1..17, 17 the touchpad's click), whose samples go through the service as a real pad's do; any
// other a virtual joystick with six axes, 32 buttons and a hat. <time> is milliseconds after
// polling starts, never decreasing. # starts a comment that runs to the end of its line; blank
// lines are ignored. The text is 8-bit without NUL bytes.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/JoyService.h"

namespace kestrova {

// A malformed timeline; what() is "FILE:LINE: reason" (or "FILE: reason").
class EReplayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TReplayEntry {
  enum TKind { Axis, Button, Hat, Gyro, Accel, Touch, End };
  static constexpr int LeftTriggerAxis = 6;
  static constexpr int RightTriggerAxis = 7;
  std::uint32_t TimeMs;
  std::uint32_t TimeUs = 0;  // and microseconds, 0..999
  TKind Kind;
  int Index;            // axis 0..5 (X Y Z R U V), 6 and 7 the triggers; or button 1..32
  std::uint32_t Value;  // raw axis, 1 / 0 for a button, hat value; a touch's TPadSample kind
  float Values[3] = {0, 0, 0};  // gyro, accel, touch x and y
};

constexpr int PadButtonCount = 17;
constexpr int ReplaySampleMs = 4;  // a held gyro rate is sampled this often

struct TReplay {
  std::vector<TReplayEntry> Entries;
  std::vector<int> EntryLines;  // each entry's line in its file
  bool Pad = false;             // drives a game pad (it has a trigger entry)
  bool Sensors = false;         // and its motion sensors and touchpad
  // When the run ends: at the end entry, or 1000 ms after the last entry (past 2^32 - 1 when
  // that entry comes late).
  std::uint64_t EndTimeMs = 1000;
  // What runs but likely not as meant ("FILE:LINE: ..."): a trigger left pulled at the end, Z
  // driving both triggers of a pad. Told as status lines when the run starts.
  std::vector<std::string> Warnings;
};

TReplay ParseReplay(std::string_view text, const std::string& fileName);
TReplay ReadReplayFile(const std::string& fileName);

// Plays a timeline on a virtual controller on a thread of its own. Entries are applied at
// start + time; when the end time comes, onEnd is called (on the player's thread). The
// destructor stops and joins it.
class TReplayPlayer {
 public:
  using TClock = std::chrono::steady_clock;
  TReplayPlayer(const TReplay& replay, TVirtualController& controller, std::function<void()> onEnd);
  ~TReplayPlayer();
  void Start(TClock::time_point start);
  void Stop();

 private:
  void Run(TClock::time_point start);

  const TReplay& FReplay;
  TVirtualController& FController;
  std::function<void()> FOnEnd;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStopped = false;
  std::thread FThread;
};

}  // namespace kestrova
