#pragma once
// Keysyms (the X11 and xkbcommon numbering) of the US-layout keys that virtual-key codes stand
// for. Outputs that know a keyboard layout press whichever key gives that keysym.

#include <cstdint>

namespace kestrova {

constexpr std::uint32_t NoKeysym = 0;

// The keysym of a virtual-key code's key without Shift: 'a' for VK 'A', '2' for VK '2', ';' for
// VK_OEM_1, BackSpace, Return, F1 .. F24, the arrows, ... NoKeysym for codes without one.
std::uint32_t UsKeysymOfVk(std::uint8_t vk);

// The same for a keybd_event call: flags with KEYEVENTF_EXTENDEDKEY make VK_RETURN the keypad's
// Enter (KP_Enter).
std::uint32_t UsKeysymOfKey(std::uint8_t vk, std::uint32_t flags);

// What the same US key gives with Shift: 'A' for 'a', '@' for '2', ':' for ';'. Keysyms without a
// shifted form (space, Return, F1, ...) are returned as they are.
std::uint32_t UsShiftedKeysym(std::uint32_t keysym);

// True for the keysyms of characters (Latin-1), false for keys such as Return or F1.
constexpr bool IsCharacterKeysym(std::uint32_t keysym) {
  return keysym >= 0x20 && keysym <= 0xFF;
}

}  // namespace kestrova
