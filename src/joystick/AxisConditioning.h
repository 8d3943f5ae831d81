#pragma once
// What the poll thread and direct reads share of conditioning a raw axis.

#include <cstdint>

#include "joystick/Jstick.h"

namespace kestrova {

// The JOYINFOEX field of each axis, in the order X Y Z R U V.
inline constexpr std::uint32_t JOYINFOEX::*AxisFields[JoyAxisCount] = {
    &JOYINFOEX::dwXpos, &JOYINFOEX::dwYpos, &JOYINFOEX::dwZpos,
    &JOYINFOEX::dwRpos, &JOYINFOEX::dwUpos, &JOYINFOEX::dwVpos};

// The null zone of percent on a raw value, when useNullZone is on and the axis is present (X and
// Y count as present always: alwaysPresent). Otherwise the raw bits as a signed value.
std::int32_t NullZonedAxis(std::uint32_t raw, const TAxisFrame& frame, std::uint32_t percent,
                           bool useNullZone, bool alwaysPresent);

}  // namespace kestrova
