#pragma once
// Waking on controller input: the controller's evdev node, opened read-only beside the joystick
// service (each open file of a node gets its own copy of the events), and a udev monitor of the
// input subsystem for hot-plug. Linux only.

#include <memory>

#include "platform/JoyService.h"
#include "platform/WakeSource.h"

namespace kestrova {

// The service tells each controller's node (TJoyService::DevicePath) and must outlive the
// source. A missing udev (containers) only loses the hot-plug wake-ups.
std::unique_ptr<TWakeSource> CreateEvdevWakeSource(TJoyService& service);

}  // namespace kestrova
