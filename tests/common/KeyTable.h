#pragma once
// What each named key beyond letters and digits must come out as, written out independently of
// the program's own tables: its virtual-key code (what printed calls show), the X keysym of its
// key, and the evdev code the uinput output sends. One table, checked against every output.

#include <linux/input-event-codes.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::testing {

struct TExpectedKey {
  std::string Name;
  std::uint8_t Vk;
  std::uint32_t Keysym;
  int Evdev;
};

inline const std::vector<TExpectedKey>& ExpectedNamedKeys() {
  static const std::vector<TExpectedKey> keys = {
      {"CTRL", 0x11, 0xFFE3, KEY_LEFTCTRL},
      {"RCTRL", 0xA3, 0xFFE4, KEY_RIGHTCTRL},
      {"RSHIFT", 0xA1, 0xFFE2, KEY_RIGHTSHIFT},
      {"RALT", 0xA5, 0xFFEA, KEY_RIGHTALT},
      {"WIN", 0x5B, 0xFFEB, KEY_LEFTMETA},
      {"RWIN", 0x5C, 0xFFEC, KEY_RIGHTMETA},
      {"MENU", 0x5D, 0xFF67, KEY_COMPOSE},
      {"HOME", 0x24, 0xFF50, KEY_HOME},
      {"END", 0x23, 0xFF57, KEY_END},
      {"PGUP", 0x21, 0xFF55, KEY_PAGEUP},
      {"PGDN", 0x22, 0xFF56, KEY_PAGEDOWN},
      {"INSERT", 0x2D, 0xFF63, KEY_INSERT},
      {"DELETE", 0x2E, 0xFFFF, KEY_DELETE},
      {"PAUSE", 0x13, 0xFF13, KEY_PAUSE},
      {"PRINT", 0x2C, 0xFF61, KEY_SYSRQ},
      {"CAPSLOCK", 0x14, 0xFFE5, KEY_CAPSLOCK},
      {"NUMLOCK", 0x90, 0xFF7F, KEY_NUMLOCK},
      {"SCROLLLOCK", 0x91, 0xFF14, KEY_SCROLLLOCK},
      {"F13", 0x7C, 0xFFCA, KEY_F13},
      {"F18", 0x81, 0xFFCF, KEY_F18},
      {"F24", 0x87, 0xFFD5, KEY_F24},
      {"NUM0", 0x60, 0xFFB0, KEY_KP0},
      {"NUM5", 0x65, 0xFFB5, KEY_KP5},
      {"NUM9", 0x69, 0xFFB9, KEY_KP9},
      {"NUM*", 0x6A, 0xFFAA, KEY_KPASTERISK},
      {"NUM+", 0x6B, 0xFFAB, KEY_KPPLUS},
      {"NUM-", 0x6D, 0xFFAD, KEY_KPMINUS},
      {"NUM.", 0x6E, 0xFFAE, KEY_KPDOT},
      {"NUM/", 0x6F, 0xFFAF, KEY_KPSLASH},
      {"NUMENTER", 0x0D, 0xFF8D, KEY_KPENTER},
      {"VOLUP", 0xAF, 0x1008FF13, KEY_VOLUMEUP},
      {"VOLDOWN", 0xAE, 0x1008FF11, KEY_VOLUMEDOWN},
      {"MUTE", 0xAD, 0x1008FF12, KEY_MUTE},
      {"PLAY", 0xB3, 0x1008FF14, KEY_PLAYPAUSE},
      {"NEXT", 0xB0, 0x1008FF17, KEY_NEXTSONG},
      {"PREV", 0xB1, 0x1008FF16, KEY_PREVIOUSSONG},
  };
  return keys;
}

// Every character typed with Shift on a US keyboard, with the code of the key that types it.
struct TShiftedCharacter {
  char Character;
  std::uint8_t Vk;
};

inline const std::vector<TShiftedCharacter>& ShiftedCharacters() {
  static const std::vector<TShiftedCharacter> characters = [] {
    std::vector<TShiftedCharacter> all = {
        {'!', '1'}, {'"', 0xDE}, {'#', '3'},  {'$', '4'},  {'%', '5'},  {'&', '7'},  {'(', '9'},
        {')', '0'}, {'*', '8'},  {'+', 0xBB}, {':', 0xBA}, {'<', 0xBC}, {'>', 0xBE}, {'?', 0xBF},
        {'@', '2'}, {'^', '6'},  {'_', 0xBD}, {'{', 0xDB}, {'|', 0xDC}, {'}', 0xDD}, {'~', 0xC0}};
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      all.push_back({letter, static_cast<std::uint8_t>(letter)});
    return all;
  }();
  return characters;
}

}  // namespace kestrova::testing
