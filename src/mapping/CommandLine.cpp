#include "CommandLine.h"

#include <algorithm>
#include <initializer_list>
#include <set>

#include "Commands.h"
#include "Convert.h"
#include "Layers.h"
#include "Slots.h"

namespace kestrova {

namespace {

TAction SkipAction(std::string why) {
  TAction action;
  action.Kind = TActionKind::Skip;
  action.Text = std::move(why);
  return action;
}

TAction ButtonAction(TMouseButtonId button, bool press) {
  TAction action;
  action.Kind = TActionKind::MouseButton;
  action.Button = button;
  action.Press = press;
  return action;
}

// Reads word 0 as an integer into value; false, with the skip action appended, when it is none.
bool ReadInteger(std::string_view word, int& value, std::vector<TAction>& actions) {
  try {
    value = StrToInt(word);
    return true;
  } catch (const EConvertError& error) {
    actions.push_back(SkipAction(error.what()));
    return false;
  }
}

bool ReadFloat(std::string_view word, char decimalSeparator, double& value,
               std::vector<TAction>& actions) {
  try {
    value = StrToFloat(word, decimalSeparator);
    return true;
  } catch (const EConvertError& error) {
    actions.push_back(SkipAction(error.what()));
    return false;
  }
}

// The actions in the executor's order; returns where a parameter could not be read.
void ReadActions(std::string_view text, char decimalSeparator, std::vector<TAction>& actions) {
  if (Contains(text, DelayKeyword)) {
    TAction delay;
    delay.Kind = TActionKind::Delay;
    if (!ReadInteger(GetCmdParam(text, 0), delay.Number, actions)) return;
    actions.push_back(std::move(delay));
  }
  for (const auto& [keyword, kind] : {std::pair{KeyUpKeyword, TActionKind::KeyUp},
                                      std::pair{KeyDownKeyword, TActionKind::KeyDown}}) {
    if (!Contains(text, keyword)) continue;
    TAction key;
    key.Kind = kind;
    key.Text = GetCmdParam(text, 0);
    if (key.Text.empty()) return actions.push_back(SkipAction("no key name"));
    actions.push_back(std::move(key));
  }
  if (Contains(text, MouseMoveKeyword)) {
    TAction move;
    move.Kind = TActionKind::MouseMove;
    move.Move.Absolute = GetCmdParam(text, 5) == MouseMoveAbsolute;
    move.Move.Bounded = GetCmdParam(text, 4) == MouseMoveBounded;
    if (!ReadFloat(GetCmdParam(text, 3), decimalSeparator, move.Move.StepX, actions)) return;
    if (!ReadFloat(GetCmdParam(text, 2), decimalSeparator, move.Move.StepY, actions)) return;
    move.Move.AxisX = MouseMoveAxisIndex(GetCmdParam(text, 1));
    move.Move.AxisY = MouseMoveAxisIndex(GetCmdParam(text, 0));
    actions.push_back(std::move(move));
  }
  static constexpr struct {
    std::string_view Keyword;
    TMouseButtonId Button;
    bool Press;
    bool WholeLine;  // the buttons beyond the first language match whole lines only
  } buttons[] = {
      {RightMouseDownLine, TMouseButtonId::Right, true, false},
      {RightMouseUpLine, TMouseButtonId::Right, false, false},
      {LeftMouseDownLine, TMouseButtonId::Left, true, false},
      {LeftMouseUpLine, TMouseButtonId::Left, false, false},
      {MiddleMouseDownLine, TMouseButtonId::Middle, true, true},
      {MiddleMouseUpLine, TMouseButtonId::Middle, false, true},
      {BackMouseDownLine, TMouseButtonId::Back, true, true},
      {BackMouseUpLine, TMouseButtonId::Back, false, true},
      {ForwardMouseDownLine, TMouseButtonId::Forward, true, true},
      {ForwardMouseUpLine, TMouseButtonId::Forward, false, true},
  };
  for (const auto& button : buttons) {
    if (button.WholeLine ? text == button.Keyword : Contains(text, button.Keyword)) {
      actions.push_back(ButtonAction(button.Button, button.Press));
    }
  }
  for (const bool horizontal : {false, true}) {
    const auto notches = SoleArgument(text, horizontal ? MouseHWheelKeyword : MouseWheelKeyword);
    if (notches.empty()) continue;
    TAction wheel;
    wheel.Kind = TActionKind::Wheel;
    wheel.Horizontal = horizontal;
    if (!ReadInteger(notches, wheel.Number, actions)) return;
    actions.push_back(std::move(wheel));
  }
  if (Contains(text, RepeatKeyword)) {
    TAction pass;
    pass.Kind = TActionKind::BlockPass;
    pass.Text = GetCmdParam(text, 2);
    if (!ReadInteger(GetCmdParam(text, 0), pass.Number, actions)) return;
    actions.push_back(std::move(pass));
  }
  if (Contains(text, TerminateBlockKeyword)) {
    TAction terminate;
    terminate.Kind = TActionKind::TerminateBlock;
    terminate.Text = GetCmdParam(text, 0);
    actions.push_back(std::move(terminate));
  }
  if (const auto layer = SoleArgument(text, LayerKeyword); !layer.empty()) {
    TAction switchTo;
    switchTo.Kind = TActionKind::Layer;
    if (!ReadInteger(layer, switchTo.Number, actions)) return;
    actions.push_back(std::move(switchTo));
  }
  if (const auto file = ProfileFileOf(text); !file.empty()) {
    TAction profile;
    profile.Kind = TActionKind::Profile;
    profile.Text = file;
    actions.push_back(std::move(profile));
  }
}

std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (;;) {
    const std::size_t blank = line.find(' ', start);
    words.push_back(line.substr(start, blank - start));
    if (blank == std::string_view::npos) return words;
    start = blank + 1;
  }
}

bool IsOneOf(std::string_view word, std::initializer_list<std::string_view> choices) {
  return std::find(choices.begin(), choices.end(), word) != choices.end();
}

bool IsBlockId(std::string_view id) {
  return !id.empty() &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The reason the executor gives for skipping what follows in a line, if it skips anything.
const TAction* SkipOf(const TParsedLine& parsed) {
  for (const TAction& action : parsed.Actions) {
    if (action.Kind == TActionKind::Skip) return &action;
  }
  return nullptr;
}

}  // namespace

TParsedLine ParseCommandLine(std::string_view text, char decimalSeparator) {
  TParsedLine line;
  line.Text = text;
  ReadActions(text, decimalSeparator, line.Actions);
  line.HasEndBlock = Contains(text, EndBlockKeyword);
  line.HasBeginBlock = Contains(text, BeginBlockKeyword);
  if (line.HasEndBlock) line.Word0 = GetCmdParam(text, 0);
  if (line.HasBeginBlock) line.Word2 = GetCmdParam(text, 2);
  for (const TAction& action : line.Actions) {
    if (action.Kind == TActionKind::Layer) line.Layer = action.Number;
  }
  return line;
}

TLinePtr ParseShared(std::string_view text, char decimalSeparator) {
  return std::make_shared<const TParsedLine>(ParseCommandLine(text, decimalSeparator));
}

const TLinePtr& NoOpCommandLine() {
  static const TLinePtr noOp = ParseShared(NoOpLine, '.');
  return noOp;
}

std::optional<std::string> CheckCommandLine(std::string_view line, char decimalSeparator) {
  if (line.empty()) return "empty line";
  const auto words = SplitWords(line);
  const auto& keyword = words[0];
  const std::size_t count = words.size();
  // The two-word keywords.
  const std::string head = count >= 2 ? std::string(words[0]) + " " + std::string(words[1]) : "";
  const auto isAxisCode = [](std::string_view word) {
    return word.size() == 1 && MouseMoveAxisCodes.find(word[0]) != std::string_view::npos;
  };
  // Where the line has the form of one the editor writes, its numbers are the executor's
  // reading of them: a skip says which one it cannot read.
  const auto numbersOf = [&](std::string what) -> std::optional<std::string> {
    const TParsedLine parsed = ParseCommandLine(line, decimalSeparator);
    if (SkipOf(parsed) == nullptr) return std::nullopt;
    return what;
  };

  // Without a key name the executor takes DOWN or UP as the key (a warning says so).
  if (count == 2 && IsOneOf(head, {KeyDownKeyword, KeyUpKeyword})) return std::nullopt;
  if (count == 3 && IsOneOf(head, {KeyDownKeyword, KeyUpKeyword})) {
    if (words[2].empty()) return "empty key name";
    return std::nullopt;
  }
  if (IsOneOf(line, {LeftMouseDownLine, LeftMouseUpLine, RightMouseDownLine, RightMouseUpLine,
                     MiddleMouseDownLine, MiddleMouseUpLine, BackMouseDownLine, BackMouseUpLine,
                     ForwardMouseDownLine, ForwardMouseUpLine, NoOpLine})) {
    return std::nullopt;
  }
  for (const auto wheel : {MouseWheelKeyword, MouseHWheelKeyword}) {
    const auto notches = SoleArgument(line, wheel);
    if (notches.empty()) continue;
    return numbersOf(std::string(wheel) + " value " + Quoted(notches) + " is not a number");
  }
  if (count == 8 && head == MouseMoveKeyword &&
      IsOneOf(words[2], {MouseMoveAbsolute, MouseMoveRelative}) &&
      IsOneOf(words[3], {MouseMoveBounded, MouseMoveUnbounded}) && isAxisCode(words[6]) &&
      isAxisCode(words[7])) {
    double number = 0;
    for (const auto& step : {words[4], words[5]}) {
      if (!TryStrToFloat(step, decimalSeparator, number)) {
        return "mouse step " + Quoted(step) + " is not a number";
      }
    }
    return std::nullopt;
  }
  if (keyword == DelayKeyword && count == 2) {
    return numbersOf(std::string(DelayKeyword) + " value " + Quoted(words[1]) + " is not a number");
  }
  if (keyword == BeginBlockKeyword && count == 4 && IsBlockId(words[1]) &&
      words[2] == RepeatKeyword) {
    return numbersOf("repeat count " + Quoted(words[3]) + " is not a number");
  }
  if (IsOneOf(keyword, {EndBlockKeyword, TerminateBlockKeyword}) && count == 2 &&
      IsBlockId(words[1])) {
    return std::nullopt;
  }
  if (keyword == LayerKeyword && count == 2) {
    int layer = 0;
    if (!TryStrToInt(words[1], layer)) {
      return std::string(LayerKeyword) + " value " + Quoted(words[1]) + " is not a number";
    }
    if (layer < 0 || layer >= LayerCount) {
      return "layer " + std::to_string(layer) + " is not 0 to " + std::to_string(LayerCount - 1);
    }
    return std::nullopt;
  }
  if (!ProfileFileOf(line).empty()) return std::nullopt;
  return "not a command line: " + Quoted(line);
}

std::vector<std::string> CommandLineWarnings(std::string_view line) {
  std::vector<std::string> warnings;
  const TParsedLine parsed = ParseCommandLine(line, '.');
  const auto words = SplitWords(line);
  const std::size_t count = words.size();
  const std::string head = count >= 2 ? std::string(words[0]) + " " + std::string(words[1]) : "";
  for (const TAction& action : parsed.Actions) {
    const bool down = action.Kind == TActionKind::KeyDown;
    if ((!down && action.Kind != TActionKind::KeyUp) ||
        !IsOneOf(head, {KeyDownKeyword, KeyUpKeyword}))
      continue;
    // What the executor presses is the last word: the keyword's own when the name is missing.
    if (count == 2) {
      warnings.push_back(head + " has no key name: it " + (down ? "presses" : "releases") +
                         " the " + (down ? "Down" : "Up") + " arrow key");
    } else if (count == 3 && action.Text.size() > 1 && !IsNamedKey(action.Text)) {
      warnings.push_back(Quoted(action.Text) + " is not a key name: only its first character '" +
                         std::string(1, action.Text[0]) + "' is " +
                         (down ? "pressed" : "released"));
    }
  }
  if (words[0] == BeginBlockKeyword && count == 4) {
    for (const TAction& action : parsed.Actions) {
      if (action.Kind == TActionKind::BlockPass && action.Number < 0) {
        warnings.push_back("the repeat count " + std::to_string(action.Number) +
                           " is negative: the block repeats without end, as with 0");
      }
    }
  }
  return warnings;
}

std::pair<int, int> BlockRangeAt(const std::vector<std::string>& lines, int row) {
  const TParsedLine line = ParseCommandLine(lines[static_cast<std::size_t>(row)], '.');
  if (line.HasBeginBlock) {
    const std::string end = EndBlockLine(line.Word2);
    for (int i = row + 1; i < static_cast<int>(lines.size()); ++i) {
      if (lines[static_cast<std::size_t>(i)] == end) return {row, i};
    }
  } else if (line.HasEndBlock) {
    for (int i = row - 1; i >= 0; --i) {
      const TParsedLine earlier = ParseCommandLine(lines[static_cast<std::size_t>(i)], '.');
      if (earlier.HasBeginBlock && earlier.Word2 == line.Word0) return {i, row};
    }
  }
  return {row, row};
}

std::string OpenBlockId(const std::vector<std::string>& lines) {
  std::string lastBegun;
  std::set<std::string> endedLater;
  for (auto at = lines.rbegin(); at != lines.rend(); ++at) {
    const TParsedLine line = ParseCommandLine(*at, '.');
    if (line.HasEndBlock) endedLater.insert(line.Word0);
    if (!line.HasBeginBlock) continue;
    if (lastBegun.empty()) lastBegun = line.Word2;
    if (!line.Word2.empty() && !endedLater.contains(line.Word2)) return line.Word2;
  }
  return lastBegun;
}

}  // namespace kestrova
