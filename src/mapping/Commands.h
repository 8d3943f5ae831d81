#pragma once
// The command language: the keywords command lines are made of, and the lines the editor
// writes. The executor finds keywords anywhere in a line (Contains) and reads its numbers and
// names with GetCmdParam, counting words from the end:
//
//   KEY DOWN <key>                  KEY UP <key>
//   LEFT MOUSE DOWN                 LEFT MOUSE UP      RIGHT MOUSE DOWN      RIGHT MOUSE UP
//   MOUSE MOVE <A|R> <B|N> <x> <y> <xaxis> <yaxis>     (axes N X Y Z R U V)
//   MIDDLE MOUSE DOWN   MIDDLE MOUSE UP   BACK MOUSE DOWN   BACK MOUSE UP
//   FORWARD MOUSE DOWN  FORWARD MOUSE UP  MOUSE WHEEL <n>   MOUSE HWHEEL <n>
//                                   (whole lines: n notches, positive away from the user / right)
//   DELAY <ms>
//   BEGBLOCK <id> RPT <count>       ENDBLOCK <id>      TRMBLOCK <id>
//   NOOP                            (what a terminated block's queued lines become)

#include <string>
#include <string_view>

namespace kestrova {

inline constexpr std::string_view KeyDownKeyword = "KEY DOWN";
inline constexpr std::string_view KeyUpKeyword = "KEY UP";
inline constexpr std::string_view LeftMouseDownLine = "LEFT MOUSE DOWN";
inline constexpr std::string_view LeftMouseUpLine = "LEFT MOUSE UP";
inline constexpr std::string_view RightMouseDownLine = "RIGHT MOUSE DOWN";
inline constexpr std::string_view RightMouseUpLine = "RIGHT MOUSE UP";
inline constexpr std::string_view MouseMoveKeyword = "MOUSE MOVE";
// Matched as whole lines, never inside another line: no line that ran before means more now.
inline constexpr std::string_view MiddleMouseDownLine = "MIDDLE MOUSE DOWN";
inline constexpr std::string_view MiddleMouseUpLine = "MIDDLE MOUSE UP";
inline constexpr std::string_view BackMouseDownLine = "BACK MOUSE DOWN";
inline constexpr std::string_view BackMouseUpLine = "BACK MOUSE UP";
inline constexpr std::string_view ForwardMouseDownLine = "FORWARD MOUSE DOWN";
inline constexpr std::string_view ForwardMouseUpLine = "FORWARD MOUSE UP";
inline constexpr std::string_view MouseWheelKeyword = "MOUSE WHEEL";
inline constexpr std::string_view MouseHWheelKeyword = "MOUSE HWHEEL";
inline constexpr std::string_view DelayKeyword = "DELAY";
inline constexpr std::string_view BeginBlockKeyword = "BEGBLOCK";
inline constexpr std::string_view RepeatKeyword = "RPT";
inline constexpr std::string_view EndBlockKeyword = "ENDBLOCK";
inline constexpr std::string_view TerminateBlockKeyword = "TRMBLOCK";
inline constexpr std::string_view NoOpLine = "NOOP";
// Whole lines: "LAYER <n>" and "PROFILE <file>" (the file may hold blanks).
inline constexpr std::string_view LayerKeyword = "LAYER";
inline constexpr std::string_view ProfileKeyword = "PROFILE";

// The mode, bounds and axis words of a mouse move.
inline constexpr std::string_view MouseMoveAbsolute = "A";
inline constexpr std::string_view MouseMoveRelative = "R";
inline constexpr std::string_view MouseMoveBounded = "B";
inline constexpr std::string_view MouseMoveUnbounded = "N";
inline constexpr std::string_view MouseMoveAxisCodes = "NXYZRUV";

// The axis a mouse move's axis word names, counted as the controller's axes are (X 0, Y 1, Z 2,
// R 3, U 4, V 5); -1 for N and for any word that is no axis.
constexpr int MouseMoveAxisIndex(std::string_view word) {
  if (word.size() != 1 || word[0] == MouseMoveAxisCodes[0]) return -1;
  const auto at = MouseMoveAxisCodes.find(word[0]);
  return at == std::string_view::npos ? -1 : static_cast<int>(at) - 1;
}

// True for the names of keys that have no character of their own (KeyNames.h: SPACE, TAB, SHIFT,
// ENTER, ..., CTRL, HOME, NUM0, VOLUP, ...); any other key name is read as its first character.
bool IsNamedKey(std::string_view keyName);

std::string KeyDownLine(std::string_view key);
std::string KeyUpLine(std::string_view key);
std::string DelayLine(std::string_view ms);
std::string MouseWheelLine(std::string_view notches);
std::string MouseHWheelLine(std::string_view notches);
// The word after keyword when the line is exactly "keyword word"; "" otherwise.
std::string_view SoleArgument(std::string_view line, std::string_view keyword);
std::string LayerLine(int layer);
std::string ProfileLine(std::string_view file);
// The file of a "PROFILE <file>" line; "" for any other line.
std::string_view ProfileFileOf(std::string_view line);
std::string BeginBlockLine(std::string_view id, std::string_view count);
std::string EndBlockLine(std::string_view id);
std::string TerminateBlockLine(std::string_view id);
std::string MouseMoveLine(std::string_view mode, std::string_view bounds, std::string_view x,
                          std::string_view y, std::string_view xAxis, std::string_view yAxis);

}  // namespace kestrova
