#include "exec/PressRouter.h"

#include <algorithm>
#include <bit>

namespace kestrova {

namespace {

// The timers of an event, in the order they fire when due at the same time.
enum : int { ChordTimer, HoldTimer, TurboTimer, DoubleTimer, TimerCount };

}  // namespace

TPressRouter::TPressRouter(TRunList run)
    : FRun(std::move(run)), FConfig(std::make_shared<const TPressConfig>()) {}

void TPressRouter::SetConfig(std::shared_ptr<const TPressConfig> config) {
  FConfig = config ? std::move(config) : std::make_shared<const TPressConfig>();
}

void TPressRouter::Refresh() {
  if (!FForget) return;
  FForget = false;
  for (TPress& press : FPresses) {
    const bool down = press.Down;
    press = TPress{};
    press.Down = down;
    press.Stale = down;
  }
  FFirstPresses.fill(TFirstPress{});
  FToggled.fill(false);
  FChords.clear();
  FLayer = 0;
  FArmed = 0;
}

void TPressRouter::Run(int layer, TPressType type, int event, bool release) {
  FRun(layer, type, event, release);
  const int switchTo = FConfig->SwitchTo[DenseIndex(layer, type, 2 * event + (release ? 1 : 0))];
  if (switchTo >= 0) FLayer = switchTo;
}

void TPressRouter::Event(int event, bool release, std::int64_t nowMs, int sibling) {
  Refresh();
  Tick(nowMs);
  if (release) {
    Release(event, nowMs, sibling);
  } else {
    Press(event, nowMs);
  }
}

void TPressRouter::Press(int event, std::int64_t now) {
  TPress& press = FPresses[event];
  // A press without its release (it came as the shift sibling's): what its types hold ends.
  if (press.Down && !press.Stale) EndPress(event, now, false);
  press = TPress{};
  press.Down = true;
  press.Layer = FLayer;
  press.PressedAt = now;
  const int layer = FLayer;
  const auto& chords = FConfig->Chords[LayerEvent(layer, event)];
  for (const TPressConfig::TChord& chord : chords) {
    TPress& partner = FPresses[chord.Partner];
    if (!partner.Down || partner.Stale || partner.Layer != layer ||
        partner.Phase == TPhase::Chorded) {
      continue;
    }
    // Together: the partner's own lists, if they have not begun, never run for this press.
    if (partner.Phase == TPhase::ChordWait) {
      partner.Phase = TPhase::Chorded;
      partner.ChordUntil = Never;
    }
    press.Phase = TPhase::Chorded;
    FChords.push_back({layer, chord.Owner, chord.Partner, event});
    Run(layer, TPressType::Chord, chord.Owner, false);
    return;
  }
  if (!chords.empty()) {
    press.Phase = TPhase::ChordWait;
    press.ChordUntil = now + ChordWindowMs;
    FArmed |= 1ull << event;
    return;
  }
  StartOwn(event, now, now);
}

void TPressRouter::StartOwn(int event, std::int64_t pressedAt, std::int64_t now) {
  TPress& press = FPresses[event];
  const TPressConfig& config = *FConfig;
  const int layer = press.Layer;
  press.Phase = TPhase::Own;
  press.ChordUntil = Never;
  Run(layer, TPressType::Plain, event, false);
  if (config.Has(layer, event, TPressType::Toggle)) {
    bool& on = FToggled[LayerEvent(layer, event)];
    Run(layer, TPressType::Toggle, event, on);
    on = !on;
  }
  if (config.Has(layer, event, TPressType::Turbo)) {
    Run(layer, TPressType::Turbo, event, false);
    press.TurboAt = now + config.TurboMs[LayerEvent(layer, event)];
    FArmed |= 1ull << event;
  }
  if (config.Has(layer, event, TPressType::Double)) {
    TFirstPress& first = FFirstPresses[event];
    if (first.Until != Never && first.Layer == layer && pressedAt < first.Until) {
      // The second press: the first is no tap now, and this one neither tap nor hold.
      first = TFirstPress{};
      press.IsDouble = true;
      Run(layer, TPressType::Double, event, false);
      return;
    }
    if (first.TapWaiting) RunTap(first.Layer, event);  // a first press of another layer
    first = TFirstPress{layer, pressedAt + config.DoubleMs, false};
    FArmed |= 1ull << event;
  }
  if (config.Has(layer, event, TPressType::Hold) || config.Has(layer, event, TPressType::Tap)) {
    press.HoldAt = pressedAt + config.HoldMs;
    FArmed |= 1ull << event;
  }
}

void TPressRouter::Release(int event, std::int64_t now, int sibling) {
  TPress& press = FPresses[event];
  if (!press.Down) {
    // Released as the other event of its control (the shift button changed while it was held):
    // that press ends, and this event's Release list runs, as it would without layers.
    int layer = FLayer;
    if (sibling >= 0 && FPresses[sibling].Down) {
      if (FPresses[sibling].Stale) {
        FPresses[sibling] = TPress{};
        return;
      }
      layer = FPresses[sibling].Layer;
      EndPress(sibling, now, false);
    }
    Run(layer, TPressType::Plain, event, true);
    return;
  }
  if (press.Stale) {
    press = TPress{};
    return;
  }
  for (auto chord = FChords.begin(); chord != FChords.end(); ++chord) {
    if (chord->First != event && chord->Second != event) continue;
    const TActiveChord ended = *chord;
    FChords.erase(chord);
    Run(ended.Layer, TPressType::Chord, ended.Owner, true);
    break;
  }
  if (press.Phase == TPhase::Chorded) {
    press = TPress{};
    return;
  }
  // Let go before its partner came: its own lists, pressed and released.
  if (press.Phase == TPhase::ChordWait) StartOwn(event, press.PressedAt, now);
  EndPress(event, now, true);
}

void TPressRouter::EndPress(int event, std::int64_t now, bool plain) {
  TPress& press = FPresses[event];
  const TPressConfig& config = *FConfig;
  const int layer = press.Layer;
  if (press.Phase == TPhase::Own) {
    if (plain) Run(layer, TPressType::Plain, event, true);
    if (press.TurboAt != Never) Run(layer, TPressType::Turbo, event, true);
    if (press.IsDouble) {
      Run(layer, TPressType::Double, event, true);
    } else if (press.HoldRan) {
      if (config.Has(layer, event, TPressType::Hold)) Run(layer, TPressType::Hold, event, true);
    } else if (press.HoldAt != Never && now < press.HoldAt) {
      TFirstPress& first = FFirstPresses[event];
      if (first.Until != Never && first.Layer == layer) {
        first.TapWaiting = true;  // a tap, unless a second press makes it a double
      } else {
        RunTap(layer, event);
      }
    }
  }
  press = TPress{};
}

void TPressRouter::RunTap(int layer, int event) {
  if (!FConfig->Has(layer, event, TPressType::Tap)) return;
  Run(layer, TPressType::Tap, event, false);
  Run(layer, TPressType::Tap, event, true);
}

bool TPressRouter::NextDue(std::int64_t nowMs, int& event, int& timer, std::int64_t& at) {
  at = Never;
  for (std::uint64_t armed = FArmed; armed != 0; armed &= armed - 1) {
    const int e = std::countr_zero(armed);
    const TPress& press = FPresses[e];
    const std::int64_t times[TimerCount] = {press.ChordUntil, press.HoldAt, press.TurboAt,
                                            FFirstPresses[e].Until};
    bool any = false;
    for (int t = 0; t < TimerCount; ++t) {
      any = any || times[t] != Never;
      if (times[t] < at) {
        at = times[t];
        event = e;
        timer = t;
      }
    }
    if (!any) FArmed &= ~(1ull << e);  // none left: not looked at again until one is armed
  }
  return at != Never && at <= nowMs;
}

void TPressRouter::Tick(std::int64_t nowMs) {
  Refresh();
  int event = 0;
  int timer = 0;
  std::int64_t at = Never;
  while (FArmed != 0 && NextDue(nowMs, event, timer, at)) Fire(event, timer, at);
}

std::int64_t TPressRouter::NextDeadline() {
  int event = 0;
  int timer = 0;
  std::int64_t at = Never;
  if (FArmed != 0) NextDue(Never, event, timer, at);
  return at;
}

void TPressRouter::Fire(int event, int timer, std::int64_t at) {
  TPress& press = FPresses[event];
  const int layer = press.Layer;
  switch (timer) {
    case ChordTimer:
      // No partner came: the event's own lists, counted from its press.
      StartOwn(event, press.PressedAt, at);
      break;
    case HoldTimer:
      press.HoldAt = Never;
      press.HoldRan = true;
      if (FFirstPresses[event].Layer == layer) FFirstPresses[event] = TFirstPress{};
      if (FConfig->Has(layer, event, TPressType::Hold)) Run(layer, TPressType::Hold, event, false);
      break;
    case TurboTimer: {
      const int period = FConfig->TurboMs[LayerEvent(layer, event)];
      press.TurboAt = at + std::max(period, 1);
      FArmed |= 1ull << event;
      Run(layer, TPressType::Turbo, event, false);
      break;
    }
    default: {
      TFirstPress first = FFirstPresses[event];
      FFirstPresses[event] = TFirstPress{};
      if (first.TapWaiting) RunTap(first.Layer, event);
    }
  }
}

}  // namespace kestrova
