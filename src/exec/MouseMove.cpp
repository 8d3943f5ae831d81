// MOUSE MOVE lines: steps scaled by an axis, bounds, absolute or relative moves.

#include "Mapper.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "exec/inputsynth.h"
#include "mapping/Commands.h"
#include "mapping/Convert.h"

namespace kestrova {

void TMapper::MouseMove(const TMouseMoveAction& move) {
  long long x = AxisMultiply(move.AxisX, move.StepX);
  long long y = AxisMultiply(move.AxisY, move.StepY);
  // An output that cannot read the pointer leaves keeping it on the screen to the desktop.
  if (move.Bounded && !move.Absolute && FInjector.PointerReadable()) {
    // The cursor is read afresh for every comparison.
    if (CursorX(FInjector) + x <= 0) x = -CursorX(FInjector);
    if (ScreenWidth() <= CursorX(FInjector) + x) x = ScreenWidth() - CursorX(FInjector) - 1LL;
    if (CursorY(FInjector) + y <= 0) y = -CursorY(FInjector);
    if (ScreenHeight() <= CursorY(FInjector) + y) y = ScreenHeight() - CursorY(FInjector) - 1LL;
  }
  const auto clamp32 = [](long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
  };
  if (move.Absolute) {
    MoveMouseAbsolute(FInjector, clamp32(x), clamp32(y));
  } else {
    MoveMouseRelative(FInjector, clamp32(x), clamp32(y));
  }
}

int TMapper::AxisMultiply(const std::string& axisCode, double value) {
  return AxisMultiply(MouseMoveAxisIndex(axisCode), value);
}

int TMapper::AxisMultiply(int axis, double value) {
  const TAxisValues axes = Jstick1.ReadPosition();
  std::copy(axes.Value.begin(), axes.Value.end(), FMouseMoveAxes.begin());
  static_assert(MouseMoveAxisIndex("X") == jaX && MouseMoveAxisIndex("Y") == jaY &&
                MouseMoveAxisIndex("Z") == jaZ && MouseMoveAxisIndex("R") == jaR &&
                MouseMoveAxisIndex("U") == jaU && MouseMoveAxisIndex("V") == jaV);
  const long double factor = axis >= 0 ? axes.Value[axis] + 1.0L : 1.0L;
  const long double result = std::nearbyint(value * factor);
  return static_cast<int>(std::clamp<long double>(result, INT32_MIN, INT32_MAX));
}

}  // namespace kestrova
