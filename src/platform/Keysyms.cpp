#include "Keysyms.h"

#include "platform/Injector.h"

namespace kestrova {

std::uint32_t UsKeysymOfVk(std::uint8_t vk) {
  if (vk >= 'A' && vk <= 'Z') return 'a' + (vk - 'A');
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= VK_F1 && vk <= VK_F1 + 23) return 0xFFBE + (vk - VK_F1);  // F1 .. F24
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

}  // namespace kestrova
