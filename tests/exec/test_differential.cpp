// The mapper's executor, which reads each line once, against the reference that scans every line
// afresh each time it runs it: the same injected calls, status lines, virtual time and queue, line
// after line and turn after turn, over the fuzz corpus and lines made at random from the
// language's words, numbers, separators and junk.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "exec/MapperFixture.h"
#include "exec/ReferenceExecutor.h"

namespace kestrova::testing {
namespace {

// Words of the language, pieces of them, numbers of every kind and junk.
const std::vector<std::string> Words = {
    "KEY",     "DOWN",     "UP",       "KEY DOWN",    "KEY UP",      "DELAY",      "MOUSE",
    "MOVE",    "LEFT",     "RIGHT",    "MIDDLE",      "BACK",        "FORWARD",    "WHEEL",
    "HWHEEL",  "BEGBLOCK", "ENDBLOCK", "TRMBLOCK",    "RPT",         "NOOP",       "A",
    "R",       "B",        "N",        "X",           "Y",           "Z",          "U",
    "V",       "0",        "1",        "2",           "-1",          "-7",         "3",
    "10",      "001",      "002",      "1000",        "1.5",         "1,5",        "-0.25",
    "1e3",     "0x1F",     "$ff",      "99999999999", "-2147483648", "+4",         " 5",
    "a",       "z",        "Q",        "SHIFT",       "SPACE",       "F5",         "CTRL",
    "NUM5",    "ab",       "\t",       "\xe9",        "\xff",        "?",          "",
    "DELAYED", "XKEY",     "RPTRPT",   "ENDBLOCK001", "MOUSE MOVE",  "LEFT MOUSE", "MOUSE UP"};
const std::vector<std::string> Separators = {" ", " ", " ", " ", "  ", "", "\t"};

class TLineMaker {
 public:
  explicit TLineMaker(unsigned seed) : FRandom(seed) {}

  std::string Any() {
    const int words = Pick(1, 8);
    std::string line;
    for (int i = 0; i < words; ++i) {
      if (i > 0) line += Separators[Pick(0, static_cast<int>(Separators.size()) - 1)];
      line += Words[Pick(0, static_cast<int>(Words.size()) - 1)];
    }
    if (Pick(0, 9) == 0) line += " ";
    return line;
  }

  // A slot's lines: blocks of a few ids, terminates, and lines of any kind.
  std::vector<std::string> Slot() {
    std::vector<std::string> lines;
    const int count = Pick(0, 7);
    for (int i = 0; i < count; ++i) {
      const std::string id = "00" + std::to_string(Pick(1, 3));
      switch (Pick(0, 5)) {
        case 0:
          lines.push_back("BEGBLOCK " + id + " RPT " + std::to_string(Pick(-2, 3)));
          break;
        case 1:
          lines.push_back("ENDBLOCK " + id);
          break;
        case 2:
          lines.push_back("TRMBLOCK " + id);
          break;
        default:
          lines.push_back(Any());
      }
    }
    return lines;
  }

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(FRandom); }

 private:
  std::mt19937 FRandom;
};

// Both executors on injectors, controllers and clocks of their own that start alike.
struct TPair {
  explicit TPair(char separator = '.')
      : Reference(ReferenceInjector, Joysticks, ReferenceSleeper, separator) {
    Mapper.SetDecimalSeparator(separator);
    Joysticks.SetAxes(0, {0, 65535, 1000, 40000, 32767, 0});
  }

  // The first difference, or "".
  std::string Difference(const std::string& what) {
    const auto calls = Injector.TakeCalls();
    const auto referenceCalls = ReferenceInjector.TakeCalls();
    if (calls != referenceCalls) return what + ": other injected calls";
    if (Status.TakeLines() != std::exchange(Reference.Status, {}))
      return what + ": other status lines";
    if (Sleeper.NowMs() != ReferenceSleeper.NowMs()) return what + ": other time slept";
    if (Mapper.QueuedLines() != Reference.QueuedLines()) return what + ": another queue";
    return {};
  }

  TScriptedJoyService Joysticks;
  TRecordingInjector Injector{1366, 768, {683, 384}};
  TRecordingInjector ReferenceInjector{1366, 768, {683, 384}};
  TVirtualSleeper Sleeper;
  TVirtualSleeper ReferenceSleeper;
  TStatusLog Status;
  TMapper Mapper{Injector, Joysticks, Sleeper,
                 [this](const std::string& line) { Status.Add(line); }};
  TReferenceExecutor Reference;
};

std::vector<std::string> CorpusLines() {
  std::vector<std::string> lines;
  for (const char* folder : {KESTROVA_FUZZ_CORPUS "/execute", KESTROVA_FUZZ_CORPUS "/profile"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::ifstream file(entry.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(file), {}};
      std::string line;
      for (const char c : text) {
        if (c == '\n' || c == '\r') {
          lines.push_back(line);
          line.clear();
        } else {
          line += c;
        }
      }
      lines.push_back(line);
    }
  }
  return lines;
}

// Every line run on its own, one after the other on the same executors (made anew every 200
// lines, so that what blocks leave in the queue stays small): the corpus with both decimal
// separators, then 100,000 random lines.
TEST(Differential, EveryLineRunsAsTheReferenceRunsIt) {
  const std::vector<std::string> corpus = CorpusLines();
  ASSERT_GT(corpus.size(), 50u);
  TLineMaker maker(20261209);
  std::vector<std::string> random;
  for (int i = 0; i < 100000; ++i) random.push_back(maker.Any());
  for (const auto& [lines, separator] :
       {std::pair{&corpus, '.'}, std::pair{&corpus, ','},
        std::pair{static_cast<const std::vector<std::string>*>(&random), '.'}}) {
    std::unique_ptr<TPair> pair;
    for (std::size_t i = 0; i < lines->size(); ++i) {
      if (i % 200 == 0) pair = std::make_unique<TPair>(separator);
      const std::string& line = (*lines)[i];
      pair->Mapper.ExecuteSingleCommand(line);
      pair->Reference.ExecuteSingleCommand(line);
      ASSERT_EQ(pair->Difference("line " + Quoted(line)), "");
    }
  }
}

// Slots of blocks, terminates and any lines, queued by events and worked through turn by turn:
// the queue, with its block passes, re-queued start lines and NOOPs, stays the reference's.
TEST(Differential, QueuesAndBlockPassesRunAsTheReferenceRunsThem) {
  TLineMaker maker(4242);
  int lines = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    TPair pair;
    for (const int slot : {0, 1, 26, 27}) {
      const std::vector<std::string> made = maker.Slot();
      lines += static_cast<int>(made.size());
      pair.Mapper.SetSlot(slot, made);
      pair.Reference.Slots[slot] = made;
    }
    for (int event = 0; event < 6; ++event) {
      const char* name = maker.Pick(0, 1) ? "Stick Left" : "Button 1";
      const char* kind = maker.Pick(0, 1) ? "PRESS" : "RELEASE";
      pair.Mapper.ExecuteCommands(name, kind);
      pair.Reference.ExecuteCommands(name, kind);
      for (int turn = maker.Pick(0, 12); turn > 0; --turn) {
        const bool ran = pair.Mapper.RunNextQueuedLine();
        ASSERT_EQ(ran, pair.Reference.RunNextQueuedLine());
        ASSERT_EQ(pair.Difference("trial " + std::to_string(trial)), "");
        if (!ran || pair.Mapper.QueueLength() > 300) break;
      }
    }
  }
  EXPECT_GT(lines, 15000);
}

// Sticks, triggers' axis, buttons with and without the shift button, and the hat moved at random
// through both routers, with tolerances of every kind: the same events, in the same order.
TEST(Differential, RoutingNamesTheEventsTheReferenceNames) {
  TLineMaker maker(77);
  for (int trial = 0; trial < 200; ++trial) {
    TPair pair;
    for (int slot = 0; slot < SlotCount; ++slot) {
      pair.Mapper.SetSlot(slot, {"DELAY " + std::to_string(slot)});
      pair.Reference.Slots[slot] = {"DELAY " + std::to_string(slot)};
    }
    const bool hasU = maker.Pick(0, 1) == 1;
    const bool hasV = maker.Pick(0, 1) == 1;
    pair.Mapper.Jstick1.SetAxisPresent(jaU, hasU);
    pair.Mapper.Jstick1.SetAxisPresent(jaV, hasV);
    pair.Reference.HasU = hasU;
    pair.Reference.HasV = hasV;
    for (int axis = 0; axis < 6; ++axis) {
      const int tolerance = std::array{0, 1, 300, 499, 1000}[maker.Pick(0, 4)];
      pair.Mapper.SetTolerance(axis, tolerance);
      pair.Reference.Tolerances[axis] = tolerance;
    }
    const auto value = [&maker] {
      return std::array{-501, -302, -301, -300, -2, -1, 0, 299, 300, 301, 500}[maker.Pick(0, 10)];
    };
    for (int step = 0; step < 60; ++step) {
      switch (maker.Pick(0, 2)) {
        case 0: {
          const std::array<int, 6> axes{value(), value(), value(), value(), value(), value()};
          pair.Mapper.Jstick1Axis(nullptr, axes[0], axes[1], axes[2], axes[3], axes[4], axes[5], 0,
                                  0, 0, 0, 0, 0);
          pair.Reference.Axis(axes[0], axes[1], axes[2], axes[3], axes[4], axes[5]);
          break;
        }
        case 1: {
          // The reference knows no touchpad click (button 17).
          int button = maker.Pick(-1, 17);
          if (button == TouchpadButton) button = 18;
          const bool down = maker.Pick(0, 1) == 1;
          pair.Mapper.Jstick1Button(nullptr, button, down);
          pair.Reference.Button(button, down);
          break;
        }
        default: {
          const int pov = std::array{
              0, 4500, 9000, 13500, 18000, 22500, 27000, 31500, 65535, 100}[maker.Pick(0, 9)];
          pair.Mapper.Jstick1Pov(nullptr, pov);
          pair.Reference.Pov(pov);
        }
      }
      ASSERT_EQ(pair.Difference("trial " + std::to_string(trial) + " step " + std::to_string(step)),
                "");
    }
  }
}

}  // namespace
}  // namespace kestrova::testing
