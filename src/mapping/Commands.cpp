#include "Commands.h"

namespace kestrova {

namespace {

std::string Words(std::initializer_list<std::string_view> words) {
  std::string line;
  for (const auto word : words) {
    if (!line.empty()) line += ' ';
    line += word;
  }
  return line;
}

}  // namespace

bool IsNamedKey(std::string_view keyName) {
  static constexpr std::string_view names[] = {"SPACE",  "TAB", "SHIFT", "ENTER", "BS",   "ESC",
                                               "ESCAPE", "ALT", "F1",    "F2",    "F3",   "F4",
                                               "F5",     "F6",  "F7",    "F8",    "F9",   "F10",
                                               "F11",    "F12", "UP",    "DOWN",  "LEFT", "RIGHT"};
  for (const auto name : names) {
    if (name == keyName) return true;
  }
  return false;
}

std::string KeyDownLine(std::string_view key) {
  return Words({KeyDownKeyword, key});
}
std::string KeyUpLine(std::string_view key) {
  return Words({KeyUpKeyword, key});
}
std::string DelayLine(std::string_view ms) {
  return Words({DelayKeyword, ms});
}
std::string BeginBlockLine(std::string_view id, std::string_view count) {
  return Words({BeginBlockKeyword, id, RepeatKeyword, count});
}
std::string EndBlockLine(std::string_view id) {
  return Words({EndBlockKeyword, id});
}
std::string TerminateBlockLine(std::string_view id) {
  return Words({TerminateBlockKeyword, id});
}
std::string MouseMoveLine(std::string_view mode, std::string_view bounds, std::string_view x,
                          std::string_view y, std::string_view xAxis, std::string_view yAxis) {
  return Words({MouseMoveKeyword, mode, bounds, x, y, xAxis, yAxis});
}

}  // namespace kestrova
