#pragma once
// The user's keyboard layout, through libxkbcommon: which key, with which modifiers, types a
// keysym. Internal to the uinput output (and its tests).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

struct xkb_keymap;

namespace kestrova {

// Rules, model, layout, variant and options of a keymap, as xkbcommon names them.
struct TLayoutNames {
  std::string Model;
  std::string Layout;
  std::string Variant;
  std::string Options;
  std::string Source;  // where they came from, for the start-up status line
};

// The layout to use: "LAYOUT[:VARIANT]" when given, else XKB_DEFAULT_LAYOUT and
// XKB_DEFAULT_VARIANT, else the XKBLAYOUT, XKBVARIANT, XKBMODEL and XKBOPTIONS of the system's
// keyboard file (Debian's /etc/default/keyboard), else "us".
TLayoutNames ChooseLayout(const std::string& given,
                          const std::filesystem::path& keyboardFile = "/etc/default/keyboard");

// A key press that types a keysym: the evdev key code and the modifiers its level needs.
struct TKeyStroke {
  int Code = 0;
  bool Shift = false;
  bool AltGr = false;
};

// The user's layout compiled, and what the stroke search needs of it.
struct TKeymap {
  std::shared_ptr<xkb_keymap> Keymap;
  int AltGrCode = 0;        // the key that selects the third level (AltGr), 0 when none does
  std::string Description;  // "de (nodeadkeys)" and the like
};

// Throws std::runtime_error when xkbcommon cannot build the layout.
TKeymap CreateKeymap(const TLayoutNames& names);

// The lowest level of the first key that gives keysym in the first layout, among the keys the
// virtual keyboard has (up to KEY_MICMUTE); nothing when the layout cannot type it.
// preferShift: a stroke with that Shift (and no AltGr) first, where the layout has one.
std::optional<TKeyStroke> StrokeFor(const TKeymap& keymap, std::uint32_t keysym,
                                    std::optional<bool> preferShift = {});

}  // namespace kestrova
