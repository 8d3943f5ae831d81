#pragma once
// The one reading of a command line: what the executor does with it, in its fixed order, with
// every parameter already read, and what --check and the editor learn from it.
//
// The language's rules: every keyword acts wherever it occurs in the line, parameters are
// counted from the end of the line (GetCmdParam), every keyword found acts, in the order DELAY,
// KEY UP, KEY DOWN, MOUSE MOVE, RIGHT MOUSE DOWN/UP, LEFT MOUSE DOWN/UP, the whole-line mouse
// lines, RPT, TRMBLOCK, then the whole lines LAYER and PROFILE; a line with none does nothing. A
// parameter that cannot be read ends the line where it stands: the actions before it have run, the
// rest are skipped with the reason.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

enum class TActionKind : std::uint8_t {
  Delay,           // Number: milliseconds (a negative one waits 0)
  KeyUp,           // Text: the key name
  KeyDown,         // Text: the key name
  MouseMove,       // Move
  MouseButton,     // Button, Press
  Wheel,           // Number: notches; Horizontal
  BlockPass,       // Text: the block id (word 2); Number: the count
  TerminateBlock,  // Text: the block id (word 0)
  Layer,           // Number: the layer routing switches to (when its list routes, not here)
  Profile,         // Text: the profile file to switch to
  Skip,            // Text: why the rest of the line does not run
};

enum class TMouseButtonId : std::uint8_t { Left, Right, Middle, Back, Forward };

struct TMouseMoveAction {
  bool Absolute = false;  // mode word "A"; any other is a relative step
  bool Bounded = false;   // bounds word "B"
  double StepX = 0;
  double StepY = 0;
  int AxisX = -1;  // the axis that scales the step (0 X .. 5 V), -1 for none
  int AxisY = -1;
};

struct TAction {
  TActionKind Kind = TActionKind::Skip;
  TMouseButtonId Button = TMouseButtonId::Left;
  bool Press = false;       // MouseButton: down
  bool Horizontal = false;  // Wheel
  int Number = 0;
  std::string Text;
  TMouseMoveAction Move;
};

// A command line as the slot table keeps it: its text, byte for byte, beside its reading.
struct TParsedLine {
  std::string Text;
  std::vector<TAction> Actions;
  // What a block pass and a terminate look for in queued lines.
  bool HasEndBlock = false;    // contains "ENDBLOCK": ends a block pass
  bool HasBeginBlock = false;  // contains "BEGBLOCK"
  std::string Word0;           // the last word
  std::string Word2;           // the third word from the end
  int Layer = -1;              // the layer of a LAYER line (any number), -1 for none
};
using TLinePtr = std::shared_ptr<const TParsedLine>;

// Reads a line. Mouse steps are read with the decimal separator given.
TParsedLine ParseCommandLine(std::string_view text, char decimalSeparator);
TLinePtr ParseShared(std::string_view text, char decimalSeparator);
// The line a terminated block's queued lines become.
const TLinePtr& NoOpCommandLine();

// Why a line is not one of the forms the editor writes (its numbers included), if it is not.
std::optional<std::string> CheckCommandLine(std::string_view line, char decimalSeparator);
// What is surprising about a line that runs: how the executor will read it.
std::vector<std::string> CommandLineWarnings(std::string_view line);

// Blocks as the editor sees them in one list. The rows that move with the line at row: a begin
// line takes its block to the first "ENDBLOCK <id>" line after it, an end line the block from the
// nearest begin line of its id before it; any other line, or a block without its other end, goes
// alone.
std::pair<int, int> BlockRangeAt(const std::vector<std::string>& lines, int row);
// The id an end line written now closes: the innermost block still open (the last begin line
// whose end line does not follow it), else the last one begun; "" when no line begins a block.
std::string OpenBlockId(const std::vector<std::string>& lines);

}  // namespace kestrova
