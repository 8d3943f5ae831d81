#include "Commands.h"

#include "platform/KeyNames.h"

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
  return FindNamedKey(keyName).has_value();
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
std::string MouseWheelLine(std::string_view notches) {
  return Words({MouseWheelKeyword, notches});
}
std::string MouseHWheelLine(std::string_view notches) {
  return Words({MouseHWheelKeyword, notches});
}

std::string_view SoleArgument(std::string_view line, std::string_view keyword) {
  if (line.size() <= keyword.size() + 1 || !line.starts_with(keyword) ||
      line[keyword.size()] != ' ') {
    return {};
  }
  const std::string_view word = line.substr(keyword.size() + 1);
  return word.find(' ') == std::string_view::npos ? word : std::string_view();
}

std::string LayerLine(int layer) {
  return std::string(LayerKeyword) + " " + std::to_string(layer);
}

std::string ProfileLine(std::string_view file) {
  return std::string(ProfileKeyword) + " " + std::string(file);
}

std::string_view ProfileFileOf(std::string_view line) {
  if (line.size() <= ProfileKeyword.size() + 1 || !line.starts_with(ProfileKeyword) ||
      line[ProfileKeyword.size()] != ' ') {
    return {};
  }
  return line.substr(ProfileKeyword.size() + 1);
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
