#include "platform/KeyNames.h"

#include <array>

namespace kestrova {

namespace {

constexpr std::string_view Basic = "Basic";
constexpr std::string_view Modifiers = "Modifiers";
constexpr std::string_view Navigation = "Navigation";
constexpr std::string_view Function = "Function";
constexpr std::string_view Keypad = "Keypad";
constexpr std::string_view Media = "Media";

constexpr auto Table = std::to_array<TKeyName>({
    {"SPACE", 0x20, false, Basic},
    {"TAB", 0x09, false, Basic},
    {"SHIFT", 0x10, false, Modifiers},
    {"ENTER", 0x0D, false, Basic},
    {"BS", 0x08, false, Basic},
    {"ESC", 0x1B, false, Basic},
    {"ESCAPE", 0x1B, false, Basic},
    {"ALT", 0x12, false, Modifiers},
    {"F1", 0x70, false, Function},
    {"F2", 0x71, false, Function},
    {"F3", 0x72, false, Function},
    {"F4", 0x73, false, Function},
    {"F5", 0x74, false, Function},
    {"F6", 0x75, false, Function},
    {"F7", 0x76, false, Function},
    {"F8", 0x77, false, Function},
    {"F9", 0x78, false, Function},
    {"F10", 0x79, false, Function},
    {"F11", 0x7A, false, Function},
    {"F12", 0x7B, false, Function},
    {"UP", 0x26, false, Navigation},
    {"DOWN", 0x28, false, Navigation},
    {"LEFT", 0x25, false, Navigation},
    {"RIGHT", 0x27, false, Navigation},
    // Beyond the first table: further rows of the same kind.
    {"CTRL", 0x11, false, Modifiers},
    {"RCTRL", 0xA3, false, Modifiers},
    {"RSHIFT", 0xA1, false, Modifiers},
    {"RALT", 0xA5, false, Modifiers},
    {"WIN", 0x5B, false, Modifiers},
    {"RWIN", 0x5C, false, Modifiers},
    {"MENU", 0x5D, false, Modifiers},
    {"HOME", 0x24, false, Navigation},
    {"END", 0x23, false, Navigation},
    {"PGUP", 0x21, false, Navigation},
    {"PGDN", 0x22, false, Navigation},
    {"INSERT", 0x2D, false, Navigation},
    {"DELETE", 0x2E, false, Navigation},
    {"PAUSE", 0x13, false, Navigation},
    {"PRINT", 0x2C, false, Navigation},
    {"CAPSLOCK", 0x14, false, Modifiers},
    {"NUMLOCK", 0x90, false, Modifiers},
    {"SCROLLLOCK", 0x91, false, Modifiers},
    {"F13", 0x7C, false, Function},
    {"F14", 0x7D, false, Function},
    {"F15", 0x7E, false, Function},
    {"F16", 0x7F, false, Function},
    {"F17", 0x80, false, Function},
    {"F18", 0x81, false, Function},
    {"F19", 0x82, false, Function},
    {"F20", 0x83, false, Function},
    {"F21", 0x84, false, Function},
    {"F22", 0x85, false, Function},
    {"F23", 0x86, false, Function},
    {"F24", 0x87, false, Function},
    {"NUM0", 0x60, false, Keypad},
    {"NUM1", 0x61, false, Keypad},
    {"NUM2", 0x62, false, Keypad},
    {"NUM3", 0x63, false, Keypad},
    {"NUM4", 0x64, false, Keypad},
    {"NUM5", 0x65, false, Keypad},
    {"NUM6", 0x66, false, Keypad},
    {"NUM7", 0x67, false, Keypad},
    {"NUM8", 0x68, false, Keypad},
    {"NUM9", 0x69, false, Keypad},
    {"NUM*", 0x6A, false, Keypad},
    {"NUM+", 0x6B, false, Keypad},
    {"NUM-", 0x6D, false, Keypad},
    {"NUM.", 0x6E, false, Keypad},
    {"NUM/", 0x6F, false, Keypad},
    {"NUMENTER", 0x0D, true, Keypad},
    {"VOLUP", 0xAF, false, Media},
    {"VOLDOWN", 0xAE, false, Media},
    {"MUTE", 0xAD, false, Media},
    {"PLAY", 0xB3, false, Media},
    {"NEXT", 0xB0, false, Media},
    {"PREV", 0xB1, false, Media},
});

}  // namespace

std::span<const TKeyName> KeyNames() {
  return Table;
}

std::optional<TKeyName> FindNamedKey(std::string_view name) {
  for (const TKeyName& key : Table) {
    if (key.Name == name) return key;
  }
  return std::nullopt;
}

std::string_view KeyNameOfVk(std::uint8_t vk, bool extended) {
  for (const TKeyName& key : Table) {
    if (key.Vk == vk && key.Extended == extended) return key.Name;
  }
  static constexpr std::string_view Characters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    return Characters.substr(Characters.find(static_cast<char>(vk)), 1);
  }
  return {};
}

}  // namespace kestrova
