#include "Keymap.h"

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/Environment.h"

namespace kestrova {

namespace {

// evdev key codes are xkb key codes less 8.
constexpr int EvdevOffset = 8;

// NAME="value" lines of a shell-style file.
std::string ShellValue(const std::string& text, const std::string& name) {
  std::size_t at = 0;
  while ((at = text.find(name + "=", at)) != std::string::npos) {
    if (at == 0 || text[at - 1] == '\n') {
      std::size_t start = at + name.size() + 1;
      std::size_t end = text.find('\n', start);
      std::string value = text.substr(start, end == std::string::npos ? end : end - start);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return value;
    }
    at += name.size();
  }
  return "";
}

}  // namespace

TLayoutNames ChooseLayout(const std::string& given, const std::filesystem::path& keyboardFile) {
  TLayoutNames names;
  if (!given.empty()) {
    const auto colon = given.find(':');
    names.Layout = given.substr(0, colon);
    if (colon != std::string::npos) names.Variant = given.substr(colon + 1);
    names.Source = "--keyboard-layout";
    return names;
  }
  if (!EnvironmentValue("XKB_DEFAULT_LAYOUT").empty()) {
    names.Layout = EnvironmentValue("XKB_DEFAULT_LAYOUT");
    names.Variant = EnvironmentValue("XKB_DEFAULT_VARIANT");
    names.Model = EnvironmentValue("XKB_DEFAULT_MODEL");
    names.Options = EnvironmentValue("XKB_DEFAULT_OPTIONS");
    names.Source = "XKB_DEFAULT_LAYOUT";
    return names;
  }
  std::ifstream file(keyboardFile);
  if (file) {
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    names.Layout = ShellValue(text, "XKBLAYOUT");
    if (!names.Layout.empty()) {
      names.Variant = ShellValue(text, "XKBVARIANT");
      names.Model = ShellValue(text, "XKBMODEL");
      names.Options = ShellValue(text, "XKBOPTIONS");
      names.Source = keyboardFile.string();
      return names;
    }
  }
  names.Layout = "us";
  names.Source = "the default";
  return names;
}

TKeymap CreateKeymap(const TLayoutNames& names) {
  const std::unique_ptr<xkb_context, void (*)(xkb_context*)> context(
      xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), xkb_context_unref);
  if (!context) throw std::runtime_error("cannot start xkbcommon");
  const xkb_rule_names rules{nullptr, names.Model.empty() ? nullptr : names.Model.c_str(),
                             names.Layout.c_str(),
                             names.Variant.empty() ? nullptr : names.Variant.c_str(),
                             names.Options.empty() ? nullptr : names.Options.c_str()};
  TKeymap keymap;
  // The keymap holds its own reference to the context.
  keymap.Keymap.reset(xkb_keymap_new_from_names(context.get(), &rules, XKB_KEYMAP_COMPILE_NO_FLAGS),
                      xkb_keymap_unref);
  if (!keymap.Keymap) {
    throw std::runtime_error("unknown keyboard layout '" + names.Layout +
                             (names.Variant.empty() ? "" : ":" + names.Variant) + "'");
  }
  keymap.Description = names.Layout + (names.Variant.empty() ? "" : " (" + names.Variant + ")");
  // The right Alt key where it selects the third level, as on real keyboards; else any key that
  // does.
  xkb_keymap* xkb = keymap.Keymap.get();
  const xkb_keycode_t rightAlt = xkb_keymap_key_by_name(xkb, "RALT");
  const xkb_keysym_t* syms = nullptr;
  if (rightAlt != XKB_KEYCODE_INVALID &&
      xkb_keymap_key_get_syms_by_level(xkb, rightAlt, 0, 0, &syms) == 1 &&
      syms[0] == XKB_KEY_ISO_Level3_Shift) {
    keymap.AltGrCode = static_cast<int>(rightAlt) - EvdevOffset;
  } else if (auto altGr = StrokeFor(keymap, XKB_KEY_ISO_Level3_Shift); altGr && !altGr->Shift) {
    keymap.AltGrCode = altGr->Code;
  }
  return keymap;
}

namespace {

// The best stroke for keysym among the keys first .. last: the lowest level of the first key;
// with shift given, only a stroke with that Shift and no AltGr.
std::optional<TKeyStroke> StrokeAmong(xkb_keymap* xkb, std::uint32_t keysym, xkb_keycode_t first,
                                      xkb_keycode_t last, std::optional<bool> shift = {}) {
  const xkb_mod_index_t shiftIndex = xkb_keymap_mod_get_index(xkb, XKB_MOD_NAME_SHIFT);
  // The third level is reached through Mod5 in the layouts xkeyboard-config ships.
  const xkb_mod_index_t level3 = xkb_keymap_mod_get_index(xkb, "Mod5");
  std::optional<TKeyStroke> best;
  xkb_level_index_t bestLevel = 0;
  for (xkb_keycode_t key = first; key <= last; ++key) {
    const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(xkb, key, 0);
    for (xkb_level_index_t level = 0; level < levels && (!best || level < bestLevel); ++level) {
      const xkb_keysym_t* syms = nullptr;
      const int count = xkb_keymap_key_get_syms_by_level(xkb, key, 0, level, &syms);
      if (count != 1 || syms[0] != keysym) continue;
      xkb_mod_mask_t masks[8];
      const std::size_t maskCount =
          xkb_keymap_key_get_mods_for_level(xkb, key, 0, level, masks, std::size(masks));
      // The first way of reaching the level with Shift and AltGr alone (not Lock or NumLock).
      const xkb_mod_mask_t shiftBit = shiftIndex != XKB_MOD_INVALID ? 1u << shiftIndex : 0;
      const xkb_mod_mask_t altGrBit = level3 != XKB_MOD_INVALID ? 1u << level3 : 0;
      for (std::size_t i = 0; i < maskCount; ++i) {
        if ((masks[i] & ~(shiftBit | altGrBit)) != 0) continue;
        if (shift && (((masks[i] & shiftBit) != 0) != *shift || (masks[i] & altGrBit) != 0))
          continue;
        best = TKeyStroke{static_cast<int>(key) - EvdevOffset, (masks[i] & shiftBit) != 0,
                          (masks[i] & altGrBit) != 0};
        bestLevel = level;
        break;
      }
    }
    if (best && bestLevel == 0) break;
  }
  return best;
}

}  // namespace

std::optional<TKeyStroke> StrokeFor(const TKeymap& keymap, std::uint32_t keysym,
                                    std::optional<bool> preferShift) {
  xkb_keymap* const xkb = keymap.Keymap.get();
  const xkb_keycode_t first = xkb_keymap_min_keycode(xkb);
  const xkb_keycode_t last = xkb_keymap_max_keycode(xkb);
  // The keys of a PC keyboard's main block and keypad first, as a typist would press them (not
  // the keypad's parenthesis for "("); then the rest of what the virtual keyboard has. evdev's
  // high codes (KEY_DOLLAR and the like, which some layouts give a character at its first level)
  // reach no application.
  constexpr xkb_keycode_t mainBlockEnd = KEY_F12 + EvdevOffset;
  // A key that needs no other Shift than the one held comes first ("<" as Shift and comma, with
  // Shift held, rather than the ISO key beside the left Shift).
  if (preferShift) {
    if (auto stroke = StrokeAmong(xkb, keysym, first, std::min(last, mainBlockEnd), preferShift)) {
      return stroke;
    }
  }
  if (auto stroke = StrokeAmong(xkb, keysym, first, std::min(last, mainBlockEnd))) return stroke;
  return StrokeAmong(xkb, keysym, mainBlockEnd + 1,
                     std::min<xkb_keycode_t>(last, KEY_MICMUTE + EvdevOffset));
}

}  // namespace kestrova
