#pragma once
// Layers and press types: which lists an event's press and release run, and when, for a profile
// that has lists beyond layer 0's Press and Release or LAYER lines.
//
// A press runs its Press list at once, as ever, and its Release list at its release; beside them:
// a Toggle list pair alternates from press to press; a Turbo Press list runs at the press and
// every period while held, its Release list once at the release; a press held for the hold time
// or longer runs the Hold Press list then, and the Hold Release list at its release, while one
// released sooner is a tap and runs the Tap lists at its release; a second press within the
// double-press time of the first runs the Double lists (and the first is then no tap). An event
// with Double lists knows a tap only when that time has passed. An event that is part of a chord
// waits up to ChordWindowMs for its partner: pressed together, or one while the other is held,
// they run the chord's lists (Release when the first of them lets go) and neither runs its own
// for that press. Every list of a press runs in the layer it was pressed in; a list with LAYER
// lines makes their layer the one the next press routes in.
//
// Times are milliseconds of one monotonic clock; a timer due at the time of an event fires
// before it (a press held exactly the hold time is a hold). Poll thread only, but Forget.

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "mapping/Layers.h"

namespace kestrova {

struct TPressConfig {
  struct TChord {
    int Partner;
    int Owner;  // the event whose Chord lists these are
  };
  // For each LayerEvent: the press types with lines (bit 1 << type), the chords it is part of,
  // its turbo period.
  std::array<std::uint8_t, LayerCount * EventCount> Types{};
  std::array<std::vector<TChord>, LayerCount * EventCount> Chords;
  std::array<int, LayerCount * EventCount> TurboMs{};
  // For each list (DenseIndex): the layer its LAYER lines switch to, -1 for none.
  std::array<std::int8_t, DenseListCount> SwitchTo{};
  int HoldMs = DefaultHoldMs;
  int DoubleMs = DefaultDoubleMs;
  // Whether any of this is in use: otherwise routing runs layer 0's lists as ever.
  bool Active = false;

  bool Has(int layer, int event, TPressType type) const {
    return (Types[LayerEvent(layer, event)] >> static_cast<int>(type)) & 1;
  }
};

class TPressRouter {
 public:
  // Runs a list of a layer's event (for a chord: of its owner). Called on the poll thread.
  using TRunList = std::function<void(int layer, TPressType type, int event, bool release)>;
  static constexpr std::int64_t Never = std::numeric_limits<std::int64_t>::max();

  explicit TPressRouter(TRunList run);

  // The configuration routing follows from the next call on; it stays as long as it is used.
  void SetConfig(std::shared_ptr<const TPressConfig> config);
  // An event's press or release at nowMs (timers due by then fire first). sibling: the event the
  // same control raises in the other state of the shift button (-1 for none), whose press ends
  // when its release comes as this event's.
  void Event(int event, bool release, std::int64_t nowMs, int sibling = -1);
  // Fires the timers due by nowMs, in their order.
  void Tick(std::int64_t nowMs);
  // When the next timer is due; Never for none.
  std::int64_t NextDeadline();
  // The layer the next press routes in.
  int Layer() const { return FLayer; }
  // After a switch of profile: what is held was pressed in another profile, so its release runs
  // nothing; timers, toggles and double presses start over in layer 0. It takes effect at the
  // next event or tick.
  void Forget() { FForget = true; }

 private:
  enum class TPhase : std::uint8_t { Idle, ChordWait, Own, Chorded };
  struct TPress {
    bool Down = false;
    bool Stale = false;  // pressed before Forget
    bool HoldRan = false;
    bool IsDouble = false;
    TPhase Phase = TPhase::Idle;
    int Layer = 0;
    std::int64_t PressedAt = 0;
    std::int64_t ChordUntil = Never;
    std::int64_t HoldAt = Never;
    std::int64_t TurboAt = Never;
  };
  // The first press of a possible double: when its time ends and whether its tap waits for that.
  struct TFirstPress {
    int Layer = 0;
    std::int64_t Until = Never;
    bool TapWaiting = false;
  };
  struct TActiveChord {
    int Layer;
    int Owner;
    int First;
    int Second;
  };

  void Refresh();
  void Run(int layer, TPressType type, int event, bool release);
  void Press(int event, std::int64_t now);
  void Release(int event, std::int64_t now, int sibling);
  // The event's own lists start: at pressedAt, or later after waiting for a chord's partner.
  void StartOwn(int event, std::int64_t pressedAt, std::int64_t now);
  // The press ends: its types' Release lists, and its plain one where plain.
  void EndPress(int event, std::int64_t now, bool plain);
  void RunTap(int layer, int event);
  // The next timer due by nowMs: its event, which timer, and when; false for none.
  bool NextDue(std::int64_t nowMs, int& event, int& timer, std::int64_t& at);
  void Fire(int event, int timer, std::int64_t at);

  TRunList FRun;
  std::shared_ptr<const TPressConfig> FConfig;
  std::array<TPress, EventCount> FPresses{};
  std::array<TFirstPress, EventCount> FFirstPresses{};
  std::array<bool, LayerCount * EventCount> FToggled{};
  std::vector<TActiveChord> FChords;
  int FLayer = 0;
  // The events that may have a timer armed, a bit each: only they are looked at for the next.
  std::uint64_t FArmed = 0;
  static_assert(EventCount <= 64);
  bool FForget = false;
};

}  // namespace kestrova
