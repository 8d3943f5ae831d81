// Routing: controller changes to event names and kinds, on the poll thread.

#include "Mapper.h"

namespace kestrova {

void TMapper::RouteAxis(long long value, long long tolerance, std::string& state,
                        const char* negativeState, const char* negativeEvent,
                        const char* positiveState, const char* positiveEvent) {
  // An axis that goes from beyond one side straight to beyond the other (one reading apart)
  // releases the old side first, as the hat does: its Release list lets go of what its Press
  // list held.
  if (value < -tolerance && state != negativeState) {
    if (state == positiveState) ExecuteCommands(positiveEvent, "RELEASE");
    state = negativeState;
    ExecuteCommands(negativeEvent, "PRESS");
  }
  if (value > tolerance && state != positiveState) {
    if (state == negativeState) ExecuteCommands(negativeEvent, "RELEASE");
    state = positiveState;
    ExecuteCommands(positiveEvent, "PRESS");
  }
  if (-tolerance <= value && value <= tolerance && state != "Center") {
    if (state == negativeState) ExecuteCommands(negativeEvent, "RELEASE");
    if (state == positiveState) ExecuteCommands(positiveEvent, "RELEASE");
    state = "Center";
  }
}

void TMapper::Jstick1Axis(TObject*, int X, int Y, int Z, int R, int U, int V, float, float, float,
                          float, float, float) {
  RouteAxis(X + 1LL, XTol(), FXState, "Left", "Stick Left", "Right", "Stick Right");
  RouteAxis(Y + 1LL, YTol(), FYState, "Up", "Stick Up", "Down", "Stick Down");
  RouteAxis(Z, ZTol(), FZState, "ZLeft", "Z Left", "ZRight", "Z Right");
  RouteAxis(R, RTol(), FRState, "RotLeft", "Rot. Left", "RotRight", "Rot. Right");
  // A controller without a U or V axis has nothing there to route, whatever it reports.
  if (Jstick1.AxisPresent(jaU)) {
    RouteAxis(U, FTolerances[jaU], FUState, "ULeft", "U Left", "URight", "U Right");
  }
  if (Jstick1.AxisPresent(jaV)) {
    RouteAxis(V, FTolerances[jaV], FVState, "VLeft", "V Left", "VRight", "V Right");
  }
}

void TMapper::RouteTrigger(int value, int tolerance, bool& pulled, const char* event) {
  if (value > tolerance && !pulled) {
    pulled = true;
    ExecuteCommands(event, "PRESS");
  } else if (value <= tolerance && pulled) {
    pulled = false;
    ExecuteCommands(event, "RELEASE");
  }
}

void TMapper::Jstick1Trigger(TObject*, int Left, int Right) {
  const int tolerance = FTolerances[ToleranceCount - 1];
  RouteTrigger(Left, tolerance, FLeftTriggerPulled, "Left Trigger");
  RouteTrigger(Right, tolerance, FRightTriggerPulled, "Right Trigger");
}

void TMapper::Jstick1Button(TObject*, int ButtonID, bool ButtonDown) {
  if (!FShiftDown && ButtonID == ShiftButton && ButtonDown) FShiftDown = true;
  if (FShiftDown && ButtonID == ShiftButton && !ButtonDown) FShiftDown = false;
  if (ButtonID != ShiftButton && ButtonID <= LastMappedButton) {
    const std::string name = (FShiftDown ? "Shift Button " : "Button ") + std::to_string(ButtonID);
    ExecuteCommands(name, ButtonDown ? "PRESS" : "RELEASE");
  }
}

void TMapper::Jstick1Pov(TObject*, int PovValue) {
  static constexpr struct {
    int value;
    const char* state;
  } directions[] = {{0, "North"},     {4500, "NE"},  {9000, "East"},  {13500, "SE"},
                    {18000, "South"}, {22500, "SW"}, {27000, "West"}, {31500, "NW"}};
  const std::string previous = FPovState;
  bool moved = false;
  for (const auto& direction : directions) {
    if (direction.value == PovValue && FPovState != direction.state) {
      FPovState = direction.state;
      moved = true;
    }
  }
  if (moved) {
    if (previous != "Center") ExecuteCommands("POV " + previous, "RELEASE");
    ExecuteCommands("POV " + FPovState, "PRESS");
  }
  if (PovValue == 65535 && FPovState != "Center") {
    ExecuteCommands("POV " + FPovState, "RELEASE");
    FPovState = "Center";
    ExecuteCommands("POV Center", "PRESS");
    ExecuteCommands("POV Center", "RELEASE");
  }
}

}  // namespace kestrova
