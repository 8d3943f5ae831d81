#pragma once
// The names of keys that have no character of their own, each with its virtual-key code: the
// table the command lines, the key picker, --check and the printed output share. Names are
// matched exactly (upper case) before a key name is read as its first character.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrova {

struct TKeyName {
  std::string_view Name;
  std::uint8_t Vk;
  bool Extended = false;   // the keypad's Enter: the code of Enter on the extended key
  std::string_view Group;  // where the key picker's page shows it
};

// Every named key: SPACE, TAB, SHIFT, ENTER, BS, ESC, ESCAPE, ALT, F1 .. F12, UP, DOWN, LEFT,
// RIGHT first, then CTRL, the right-hand modifiers, the Windows and menu keys, the navigation
// block, the locks, F13 .. F24, the keypad and the media keys.
std::span<const TKeyName> KeyNames();

// The named key of that name; nothing for any other name.
std::optional<TKeyName> FindNamedKey(std::string_view name);

// The name a printed key call shows for a code: the named key's, else the character of a letter
// or digit key; "" for none.
std::string_view KeyNameOfVk(std::uint8_t vk, bool extended = false);

}  // namespace kestrova
