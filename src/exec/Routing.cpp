// Routing: controller changes to events and their Press or Release, on the poll thread.

#include "Mapper.h"

namespace kestrova {

namespace {

// Event indices (the order of EventNames).
enum : int {
  StickLeft = 0,
  StickRight = 1,
  StickUp = 2,
  StickDown = 3,
  RotLeft = 4,
  RotRight = 5,
  ZLeft = 6,
  ZRight = 7,
  FirstButton = 13,       // Button 1
  FirstShiftButton = 21,  // Shift Button 1
  PovCenter = 32,
  ULeft = 33,
  URight = 34,
  VLeft = 35,
  VRight = 36,
  LeftTriggerEvent = 37,
  RightTriggerEvent = 38,
  Button10 = 39,
  ShiftButton10 = 46,
  TouchpadClick = 53,
};
static_assert(TouchpadClick == ShiftButton10 + LastMappedButton - 10 + 1);
static_assert(EventCount == TouchpadClick + 1);

// The hat's eight directions clockwise from North: their values and events.
constexpr int PovValues[] = {0, 4500, 9000, 13500, 18000, 22500, 27000, 31500};
constexpr int PovEvents[] = {8, 9, 10, 11, 12, 29, 30, 31};

}  // namespace

void TMapper::RouteAxis(long long value, long long tolerance, TAxisState& state, int negativeEvent,
                        int positiveEvent) {
  // An axis that goes from beyond one side straight to beyond the other (one reading apart)
  // releases the old side first, as the hat does: its Release list lets go of what its Press
  // list held.
  if (value < -tolerance && state != TAxisState::Negative) {
    if (state == TAxisState::Positive) QueueEvent(positiveEvent, true);
    state = TAxisState::Negative;
    QueueEvent(negativeEvent, false);
  }
  if (value > tolerance && state != TAxisState::Positive) {
    if (state == TAxisState::Negative) QueueEvent(negativeEvent, true);
    state = TAxisState::Positive;
    QueueEvent(positiveEvent, false);
  }
  if (-tolerance <= value && value <= tolerance && state != TAxisState::Center) {
    QueueEvent(state == TAxisState::Negative ? negativeEvent : positiveEvent, true);
    state = TAxisState::Center;
  }
}

void TMapper::Jstick1Axis(TObject*, int X, int Y, int Z, int R, int U, int V, float, float, float,
                          float, float, float) {
  RouteAxis(X + 1LL, XTol(), FXState, StickLeft, StickRight);
  RouteAxis(Y + 1LL, YTol(), FYState, StickUp, StickDown);
  RouteAxis(Z, ZTol(), FZState, ZLeft, ZRight);
  RouteAxis(R, RTol(), FRState, RotLeft, RotRight);
  // A controller without a U or V axis has nothing there to route, whatever it reports.
  if (Jstick1.AxisPresent(jaU)) RouteAxis(U, FTolerances[jaU], FUState, ULeft, URight);
  if (Jstick1.AxisPresent(jaV)) RouteAxis(V, FTolerances[jaV], FVState, VLeft, VRight);
}

void TMapper::RouteTrigger(int value, int tolerance, bool& pulled, int event) {
  if (value > tolerance && !pulled) {
    pulled = true;
    QueueEvent(event, false);
  } else if (value <= tolerance && pulled) {
    pulled = false;
    QueueEvent(event, true);
  }
}

void TMapper::Jstick1Trigger(TObject*, int Left, int Right) {
  const int tolerance = FTolerances[ToleranceCount - 1];
  RouteTrigger(Left, tolerance, FLeftTriggerPulled, LeftTriggerEvent);
  RouteTrigger(Right, tolerance, FRightTriggerPulled, RightTriggerEvent);
}

void TMapper::Jstick1Button(TObject*, int ButtonID, bool ButtonDown) {
  if (!FShiftDown && ButtonID == ShiftButton && ButtonDown) FShiftDown = true;
  if (FShiftDown && ButtonID == ShiftButton && !ButtonDown) FShiftDown = false;
  if (ButtonID == TouchpadButton) return QueueEvent(TouchpadClick, !ButtonDown);
  if (ButtonID < 1 || ButtonID == ShiftButton || ButtonID > LastMappedButton) return;
  const int plain = ButtonID < ShiftButton ? FirstButton + ButtonID - 1 : Button10 + ButtonID - 10;
  const int shifted =
      ButtonID < ShiftButton ? FirstShiftButton + ButtonID - 1 : ShiftButton10 + ButtonID - 10;
  QueueEvent(FShiftDown ? shifted : plain, !ButtonDown, FShiftDown ? plain : shifted);
}

void TMapper::Jstick1Pov(TObject*, int PovValue) {
  const int previous = FPovState;
  bool moved = false;
  for (int direction = 0; direction < 8; ++direction) {
    if (PovValues[direction] == PovValue && FPovState != direction) {
      FPovState = direction;
      moved = true;
    }
  }
  if (moved) {
    if (previous >= 0) QueueEvent(PovEvents[previous], true);
    QueueEvent(PovEvents[FPovState], false);
  }
  if (PovValue == 65535 && FPovState >= 0) {
    QueueEvent(PovEvents[FPovState], true);
    FPovState = -1;
    QueueEvent(PovCenter, false);
    QueueEvent(PovCenter, true);
  }
}

}  // namespace kestrova
