#include "Keysyms.h"

#include "platform/Injector.h"

namespace kestrova {

std::uint32_t UsKeysymOfVk(std::uint8_t vk) {
  if (vk >= 'A' && vk <= 'Z') return 'a' + (vk - 'A');
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= VK_F1 && vk <= VK_F1 + 23) return 0xFFBE + (vk - VK_F1);  // F1 .. F24
  if (vk >= 0x60 && vk <= 0x69) return 0xFFB0 + (vk - 0x60);          // KP_0 .. KP_9
  switch (vk) {
    case VK_BACK:
      return 0xFF08;
    case VK_TAB:
      return 0xFF09;
    case VK_RETURN:
      return 0xFF0D;
    case VK_SHIFT:
      return 0xFFE1;  // Shift_L
    case VK_CONTROL:
      return 0xFFE3;  // Control_L
    case VK_MENU:
      return 0xFFE9;  // Alt_L
    case VK_ESCAPE:
      return 0xFF1B;
    case VK_SPACE:
      return ' ';
    case VK_LEFT:
      return 0xFF51;
    case VK_UP:
      return 0xFF52;
    case VK_RIGHT:
      return 0xFF53;
    case VK_DOWN:
      return 0xFF54;
    case 0x21:
      return 0xFF55;  // Prior
    case 0x22:
      return 0xFF56;  // Next
    case 0x23:
      return 0xFF57;  // End
    case 0x24:
      return 0xFF50;  // Home
    case 0x2D:
      return 0xFF63;  // Insert
    case 0x2E:
      return 0xFFFF;  // Delete
    case 0xA1:
      return 0xFFE2;  // Shift_R
    case 0xA3:
      return 0xFFE4;  // Control_R
    case 0xA5:
      return 0xFFEA;  // Alt_R (AltGr where the layout makes it one)
    case 0x5B:
      return 0xFFEB;  // Super_L
    case 0x5C:
      return 0xFFEC;  // Super_R
    case 0x5D:
      return 0xFF67;  // Menu
    case 0x13:
      return 0xFF13;  // Pause
    case 0x2C:
      return 0xFF61;  // Print
    case 0x14:
      return 0xFFE5;  // Caps_Lock
    case 0x90:
      return 0xFF7F;  // Num_Lock
    case 0x91:
      return 0xFF14;  // Scroll_Lock
    case 0x6A:
      return 0xFFAA;  // KP_Multiply
    case 0x6B:
      return 0xFFAB;  // KP_Add
    case 0x6D:
      return 0xFFAD;  // KP_Subtract
    case 0x6E:
      return 0xFFAE;  // KP_Decimal
    case 0x6F:
      return 0xFFAF;  // KP_Divide
    case 0xAD:
      return 0x1008FF12;  // XF86AudioMute
    case 0xAE:
      return 0x1008FF11;  // XF86AudioLowerVolume
    case 0xAF:
      return 0x1008FF13;  // XF86AudioRaiseVolume
    case 0xB0:
      return 0x1008FF17;  // XF86AudioNext
    case 0xB1:
      return 0x1008FF16;  // XF86AudioPrev
    case 0xB3:
      return 0x1008FF14;  // XF86AudioPlay
    case 0xBA:
      return ';';
    case 0xBB:
      return '=';
    case 0xBC:
      return ',';
    case 0xBD:
      return '-';
    case 0xBE:
      return '.';
    case 0xBF:
      return '/';
    case 0xC0:
      return '`';
    case 0xDB:
      return '[';
    case 0xDC:
      return '\\';
    case 0xDD:
      return ']';
    case 0xDE:
      return '\'';
    default:
      return NoKeysym;
  }
}

std::uint32_t UsShiftedKeysym(std::uint32_t keysym) {
  if (keysym >= 'a' && keysym <= 'z') return keysym - 'a' + 'A';
  static constexpr struct {
    char plain;
    char shifted;
  } pairs[] = {{'1', '!'},  {'2', '@'}, {'3', '#'}, {'4', '$'}, {'5', '%'}, {'6', '^'},
               {'7', '&'},  {'8', '*'}, {'9', '('}, {'0', ')'}, {';', ':'}, {'=', '+'},
               {',', '<'},  {'-', '_'}, {'.', '>'}, {'/', '?'}, {'`', '~'}, {'[', '{'},
               {'\\', '|'}, {']', '}'}, {'\'', '"'}};
  for (const auto& pair : pairs) {
    if (keysym == static_cast<unsigned char>(pair.plain)) {
      return static_cast<unsigned char>(pair.shifted);
    }
  }
  return keysym;
}

std::uint32_t UsKeysymOfKey(std::uint8_t vk, std::uint32_t flags) {
  if (vk == VK_RETURN && (flags & KEYEVENTF_EXTENDEDKEY)) return 0xFF8D;  // KP_Enter
  return UsKeysymOfVk(vk);
}

}  // namespace kestrova
