#pragma once
// Key and mouse primitives on top of an injector. Stateless: every value (cursor, screen size)
// is read from the injector when it is needed. Called on the executor's worker thread.

#include <cstdint>
#include <string_view>

#include "platform/Injector.h"

namespace kestrova {

// Virtual-key code of a key name: a named key (KeyNames.h: "SPACE", "F1", "CTRL", "NUM5", ...;
// exact, upper-case) or else the low byte of VkKeyScanA of the first character. 0 for an empty
// name. The keypad's Enter is VK_RETURN sent as an extended key.
std::uint16_t KeyNameToVk(TInjector& injector, std::string_view keyName);

// True for a one-character name on the shifted layer of a US keyboard (A-Z and ! " # $ % & ( )
// * + : < > ? @ ^ _ { | } ~).
bool NeedsShift(std::string_view keyName);

// Shift down (when needed) then the key down; the key up then shift up. An empty name sends
// nothing.
void PressKey(TInjector& injector, std::string_view keyName);
void ReleaseKey(TInjector& injector, std::string_view keyName);

// Cursor position in screen pixels; each call reads it afresh.
int CursorX(TInjector& injector);
int CursorY(TInjector& injector);

// Screen size in pixels, read afresh.
int ScreenWidthOf(TInjector& injector);
int ScreenHeightOf(TInjector& injector);

// To pixel (x, y): x * (65535 / width), nearest, halves to even.
void MoveMouseAbsolute(TInjector& injector, int x, int y);
// By (dx, dy) pixels through an absolute position: (dx + cursor x) * (65536 / width), truncated.
// An output that cannot read the pointer gets the step as relative motion instead.
void MoveMouseRelative(TInjector& injector, int dx, int dy);

// button "LEFT", "MIDDLE", "BACK", "FORWARD" or else the right button; action "PRESS" or else a
// release; at the cursor.
void MouseButton(TInjector& injector, std::string_view button, std::string_view action);

// notches of the wheel, positive away from the user (horizontal: to the right), as WHEEL_DELTA
// units each.
void MouseWheel(TInjector& injector, int notches, bool horizontal);

}  // namespace kestrova
