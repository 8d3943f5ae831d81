#include "Recipes.h"

#include "Commands.h"
#include "Slots.h"

namespace kestrova {

std::vector<TSlotLines> StickAsMouse(TMouseStick stick, int speed, char decimalSeparator,
                                     const std::function<std::string()>& nextBlockId) {
  struct TAxis {
    const char* negative;
    const char* positive;
    const char* axis;
  };
  TAxis horizontal{"Stick Left", "Stick Right", "X"};
  TAxis vertical{"Stick Up", "Stick Down", "Y"};
  if (stick == TMouseStick::Right) horizontal = {"U Left", "U Right", "U"};
  if (stick == TMouseStick::ZR) horizontal = {"Z Left", "Z Right", "Z"};
  if (stick != TMouseStick::Left) vertical = {"Rot. Left", "Rot. Right", "R"};

  // speed / 500 = 2 * speed / 1000: three decimals say it exactly.
  const int thousandths = 2 * speed;
  std::string step = std::to_string(thousandths / 1000) + decimalSeparator;
  std::string fraction = std::to_string(1000 + thousandths % 1000).substr(1);
  while (fraction.size() > 1 && fraction.back() == '0') fraction.pop_back();
  step += fraction;

  const std::string none(1, MouseMoveAxisCodes[0]);
  std::vector<TSlotLines> slots;
  for (const TAxis* axis : {&horizontal, &vertical}) {
    const bool across = axis == &horizontal;
    const std::string move =
        across ? MouseMoveLine(MouseMoveRelative, MouseMoveUnbounded, step, "0", axis->axis, none)
               : MouseMoveLine(MouseMoveRelative, MouseMoveUnbounded, "0", step, none, axis->axis);
    for (const char* event : {axis->negative, axis->positive}) {
      const std::string id = nextBlockId();
      slots.push_back({SlotOfEvent(event, "PRESS"),
                       {BeginBlockLine(id, "0"), move, DelayLine("10"), EndBlockLine(id)}});
      slots.push_back({SlotOfEvent(event, "RELEASE"), {TerminateBlockLine(id)}});
    }
  }
  return slots;
}

}  // namespace kestrova
