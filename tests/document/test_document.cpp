// The profile document without a window: every edit the editor makes, the history, the saved
// flag and the modified state, loading and saving all or nothing, and what listeners hear.

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "common/TempDir.h"
#include "document/ProfileDocument.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

class DocumentTest : public ::testing::Test {
 protected:
  DocumentTest() {
    Document.Subscribe([this](const TDocumentChange& change) { Heard.push_back(change); });
  }
  std::string Write(const std::string& name, const TSlotTable& slots,
                    const TTolerances& tolerances = DefaultTolerances) {
    const std::string path = (Dir.Path() / name).string();
    WriteProfileFile(path, slots, tolerances);
    return path;
  }

  TTempDir Dir;
  TProfileDocument Document;
  std::vector<TDocumentChange> Heard;
};

// Moves as the list's Alt+Up/Down and drag and drop make them: a block's begin or end line takes
// the whole block, a line inside goes alone, a move within the moving lines goes nowhere.
TEST_F(DocumentTest, MovesKeepBlocksWhole) {
  const Lines start = {"DELAY 1", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 3"};
  struct TCase {
    int Row;
    int Target;
    int Landed;
    Lines After;
  };
  const TCase cases[] = {
      {1, 5, 2, {"DELAY 1", "DELAY 3", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}},
      {3, 5, 4, {"DELAY 1", "DELAY 3", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}},
      {3, 0, 2, {"BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001", "DELAY 1", "DELAY 3"}},
      {2, 0, 0, {"DELAY 2", "DELAY 1", "BEGBLOCK 001 RPT 2", "ENDBLOCK 001", "DELAY 3"}},
      {0, 2, 1, {"BEGBLOCK 001 RPT 2", "DELAY 1", "DELAY 2", "ENDBLOCK 001", "DELAY 3"}},
      {4, 1, 1, {"DELAY 1", "DELAY 3", "BEGBLOCK 001 RPT 2", "DELAY 2", "ENDBLOCK 001"}},
      {2, 3, -1, start},  // into its own block: nowhere
      {1, 4, -1, start},  // within the lines that move
      {0, 1, -1, start},  // before itself
      {4, 6, -1, start},  // past the end
  };
  for (const TCase& move : cases) {
    TProfileDocument document;
    document.SetSlot(8, start);
    const bool couldUndo = document.CanUndo();
    EXPECT_EQ(document.Move(8, move.Row, move.Target), move.Landed) << move.Row << move.Target;
    EXPECT_EQ(document.Slot(8), move.After) << move.Row << "->" << move.Target;
    document.Undo();
    EXPECT_EQ(document.Slot(8), move.Landed < 0 ? Lines{} : start) << "one step each";
    EXPECT_TRUE(couldUndo);
  }
  // A begin line whose end is missing, and an end line without its begin, go alone.
  Document.SetSlot(2, {"BEGBLOCK 004 RPT 0", "DELAY 1", "ENDBLOCK 005", "DELAY 2"});
  EXPECT_EQ(Document.Move(2, 0, 2), 1);
  EXPECT_EQ(Document.Slot(2), (Lines{"DELAY 1", "BEGBLOCK 004 RPT 0", "ENDBLOCK 005", "DELAY 2"}));
  EXPECT_EQ(Document.Move(2, 2, 4), 3);
  EXPECT_EQ(Document.Slot(2), (Lines{"DELAY 1", "BEGBLOCK 004 RPT 0", "DELAY 2", "ENDBLOCK 005"}));
}

// Every edit is one step: undone and redone across slots in the order made, each bringing its
// slot back into view; a new edit drops what was undone.
TEST_F(DocumentTest, EveryEditIsAStepOfOneHistory) {
  Document.Append(0, "DELAY 1");
  Document.Append(0, "LEFT MOUSE DOWN");
  Document.Insert(0, 1, {"KEY DOWN a", "KEY UP a"});
  Document.Replace(0, 0, "DELAY 10");
  Document.Delete(0, 3);
  Document.Clear(5);  // an empty slot cleared: no step, but an edit
  Document.SetSlots({{6, {"BEGBLOCK 001 RPT 0", "ENDBLOCK 001"}}, {7, {"TRMBLOCK 001"}}});
  Document.SetTolerance(1, 301);
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 10", "KEY DOWN a", "KEY UP a"}));

  Heard.clear();
  Document.Undo();  // the tolerance
  EXPECT_EQ(Document.Tolerance(1), 300);
  ASSERT_EQ(Heard.size(), 1u);
  EXPECT_THAT(Heard[0].Axes, ElementsAre(1));
  EXPECT_EQ(Heard[0].Focus, -1);
  Document.Undo();  // the recipe: both slots at once, the first shown
  EXPECT_TRUE(Document.Slot(6).empty() && Document.Slot(7).empty());
  EXPECT_EQ(Heard.back().Focus, 6);
  Document.Undo();
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 10", "KEY DOWN a", "KEY UP a", "LEFT MOUSE DOWN"}));
  EXPECT_EQ(Heard.back().Focus, 0);
  Document.Undo();
  Document.Undo();
  Document.Undo();
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 1"}));
  Document.Redo();
  Document.Redo();
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 1", "KEY DOWN a", "KEY UP a", "LEFT MOUSE DOWN"}));
  Document.Redo();
  Document.Redo();
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 10", "KEY DOWN a", "KEY UP a"}));
  Document.Redo();  // the recipe again: the last slot it wrote is shown
  EXPECT_EQ(Heard.back().Focus, 7);
  Document.Undo();
  Document.Append(3, "NOOP");  // what was undone is gone
  EXPECT_FALSE(Document.CanRedo());
  EXPECT_TRUE(Document.Slot(6).empty());
  Document.Undo();
  Document.Undo();
  EXPECT_EQ(Document.Slot(0), (Lines{"DELAY 10", "KEY DOWN a", "KEY UP a", "LEFT MOUSE DOWN"}));

  // The motion settings are steps of the same history.
  TMotionSettings motion;
  motion[TMotionSource::LeftStick].Mode = TMotionMode::Mouse;
  Document.SetMotion(motion);
  EXPECT_TRUE(Heard.back().Motion);
  EXPECT_TRUE(Heard.back().Slots.empty());
  Document.SetMotion(motion);  // the same again: no step
  Document.Undo();
  EXPECT_EQ(Document.Motion(), DefaultMotion);
  EXPECT_TRUE(Heard.back().Motion);
  Document.Redo();
  EXPECT_EQ(Document.Motion(), motion);

  // Rows out of range change nothing, and are no step.
  TProfileDocument other;
  other.Append(1, "DELAY 1");
  for (const auto& edit : std::vector<std::function<void()>>{
           [&] { other.Insert(1, 2, {"X"}); }, [&] { other.Insert(1, -1, {"X"}); },
           [&] { other.Replace(1, 1, "X"); }, [&] { other.Delete(1, 1); },
           [&] { other.Append(SlotCount, "X"); }, [&] { other.SetTolerance(ToleranceCount, 1); }}) {
    edit();
    EXPECT_EQ(other.Slot(1), Lines{"DELAY 1"});
  }
  other.Undo();
  EXPECT_FALSE(other.CanUndo());
}

// The saved flag (cleared by any edit, a cancelled dialog's included), set again by
// an undo or redo back to what was saved; the modified state is whether the content differs.
TEST_F(DocumentTest, SavedFlagAndModifiedState) {
  EXPECT_TRUE(Document.Saved());
  EXPECT_FALSE(Document.Modified());
  Heard.clear();
  Document.MarkEdited();  // the key picker cancelled
  EXPECT_FALSE(Document.Saved());
  EXPECT_FALSE(Document.Modified());
  ASSERT_EQ(Heard.size(), 1u);
  EXPECT_EQ(Heard[0].Kind, TDocumentChange::Flags);
  Document.MarkEdited();
  EXPECT_EQ(Heard.size(), 1u);  // told once

  const std::string path = (Dir.Path() / "saved.kpf").string();
  Document.Append(0, "DELAY 1");
  Document.Save(path);
  EXPECT_TRUE(Document.Saved());
  EXPECT_FALSE(Document.Modified());
  EXPECT_EQ(Document.Path(), path);
  EXPECT_TRUE(Document.CanUndo());  // saving keeps the history
  Document.Append(0, "DELAY 2");
  EXPECT_FALSE(Document.Saved());
  EXPECT_TRUE(Document.Modified());
  Document.Undo();  // back to what was saved
  EXPECT_TRUE(Document.Saved());
  EXPECT_FALSE(Document.Modified());
  Document.Undo();  // before the save
  EXPECT_FALSE(Document.Saved());
  EXPECT_TRUE(Document.Modified());
  Document.Redo();
  EXPECT_TRUE(Document.Saved());
  // An edit that happens to bring back the saved lines is still an edit.
  Document.Append(0, "DELAY 2");
  Document.Delete(0, 1);
  EXPECT_FALSE(Document.Saved());
  EXPECT_FALSE(Document.Modified());
  // Motion counts as content: saved with it, read back with it.
  TMotionSettings motion;
  motion[TMotionSource::RightStick].Mode = TMotionMode::Flick;
  Document.SetMotion(motion);
  EXPECT_TRUE(Document.Modified());
  Document.Save(path);
  EXPECT_FALSE(Document.Modified());
  TProfileDocument reread;
  ASSERT_EQ(reread.TryLoad(path), "");
  EXPECT_EQ(reread.Motion(), motion);
  // A tolerance set to what it is: no step, and unsaved.
  Document.Save(path);
  Document.SetTolerance(0, 300);
  EXPECT_FALSE(Document.Saved());
  // So do the lists of layers and press types and the press settings, each edit a step.
  Document.Save(path);
  const int tap = ListId(1, TPressType::Tap, 26);
  Document.Append(tap, "KEY DOWN t");
  TPressParams press;
  press.ChordPartners[LayerEvent(1, 13)] = 14;
  Document.SetPressParams(press);
  EXPECT_TRUE(Heard.back().Press);
  EXPECT_TRUE(Document.Modified());
  Document.Undo();
  EXPECT_EQ(Document.Extras().Press, TPressParams{});
  Document.Undo();
  EXPECT_TRUE(Document.Saved());
  EXPECT_TRUE(Document.Slot(tap).empty());
  EXPECT_EQ(Heard.back().Focus, tap);
  Document.Redo();
  Document.Redo();
  Document.Save(path);
  ASSERT_EQ(reread.TryLoad(path), "");
  EXPECT_EQ(reread.Slot(tap), Lines{"KEY DOWN t"});
  EXPECT_EQ(reread.Extras().Press, press);
  // An id that names no list: no edit; reading it is an error.
  Document.Append(108, "KEY DOWN z");
  EXPECT_FALSE(Document.Modified());
  EXPECT_THROW(Document.Slot(7000), std::out_of_range);
}

// A load replaces the slots the file tags and the tolerances, starts a new history and tells
// listeners once; a file that cannot be loaded changes nothing, and says why as a user reads it.
TEST_F(DocumentTest, LoadsAllOrNothing) {
  TSlotTable table;
  table[3] = {"KEY DOWN x"};
  const std::string good = Write("good.kpf", table, {1, 2, 3, 4});
  Document.Append(7, "KEY DOWN kept");
  Document.SetTolerance(5, 200);
  const std::string broken = (Dir.Path() / "broken.kpf").string();
  std::ofstream(broken, std::ios::binary) << "#Kestrova Beta Profile\r\n#Command Tag 0\r\nKEY\r\n";
  const std::string mismatch = (Dir.Path() / "other.kpf").string();
  std::ofstream(mismatch, std::ios::binary) << "#Something else\r\n";
  Heard.clear();
  EXPECT_EQ(Document.TryLoad(broken).substr(0, 30), "List index out of bounds (3)\n\n");
  EXPECT_NE(Document.TryLoad(broken).find("\n\n" + broken + ":\n"), std::string::npos);
  EXPECT_EQ(Document.TryLoad(mismatch), std::string(ProfileMismatchMessage));
  const std::string none = (Dir.Path() / "none.kpf").string();
  EXPECT_EQ(Document.TryLoad(none),
            "Cannot open file " + none + ": No such file or directory\n\n" + none);
  EXPECT_TRUE(Heard.empty());
  EXPECT_EQ(Document.Slot(7), Lines{"KEY DOWN kept"});
  EXPECT_EQ(Document.Tolerance(5), 200);
  EXPECT_FALSE(Document.Saved());
  EXPECT_TRUE(Document.CanUndo());

  EXPECT_EQ(Document.TryLoad(good), "");
  ASSERT_EQ(Heard.size(), 1u);
  EXPECT_EQ(Heard[0].Kind, TDocumentChange::Replaced);
  EXPECT_EQ(Document.Slot(3), Lines{"KEY DOWN x"});
  // A version-1 file tags slots 0..65 (slot 7 is emptied) and leaves U, V and the triggers at
  // their defaults.
  EXPECT_TRUE(Document.Slot(7).empty());
  EXPECT_EQ(Document.Tolerances(), (TTolerances{1, 2, 3, 4}));
  EXPECT_TRUE(Document.Saved());
  EXPECT_FALSE(Document.CanUndo());
  EXPECT_EQ(Document.Path(), good);

  // The file's own text of a tolerance is shown until it changes; an undo brings it back.
  const std::string plus = (Dir.Path() / "plus.kpf").string();
  std::string text = "#Kestrova Beta Profile\r\n";
  for (int slot = 0; slot <= BaseMaxSlotIndex; ++slot) {
    text += "#Command Tag " + std::to_string(slot) + "\r\n";
  }
  std::ofstream(plus, std::ios::binary) << text << "#Tolerances\r\n+300\r\n0x10\r\n3\r\n4\r\n";
  ASSERT_EQ(Document.TryLoad(plus), "");
  EXPECT_EQ(Document.ToleranceText(0), "+300");
  EXPECT_EQ(Document.ToleranceText(1), "0x10");
  EXPECT_EQ(Document.Tolerance(1), 16);
  EXPECT_EQ(Document.ToleranceText(2), "3");
  Document.SetTolerance(0, 301);
  EXPECT_EQ(Document.ToleranceText(0), "301");
  Document.Undo();
  EXPECT_EQ(Document.ToleranceText(0), "+300");
  EXPECT_TRUE(Document.Saved());
}

// A save that fails keeps the document as it was: unsaved, on its old path.
TEST_F(DocumentTest, AFailedSaveChangesNothing) {
  Document.Append(0, "DELAY 1");
  const std::string folder = (Dir.Path() / "missing" / "x.kpf").string();
  EXPECT_THROW(Document.Save(folder), EProfileError);
  EXPECT_FALSE(Document.Saved());
  EXPECT_TRUE(Document.Modified());
  EXPECT_EQ(Document.Path(), "");
}

// What listeners hear: the slots and axes each change touched, once; a listener may leave (or
// take another's place) while it is told.
TEST_F(DocumentTest, ListenersHearEachChangeOnce) {
  Heard.clear();
  Document.SetSlots({{4, {"DELAY 1"}}, {5, {"DELAY 2"}}, {9, {}}});  // slot 9 unchanged
  ASSERT_EQ(Heard.size(), 1u);
  EXPECT_EQ(Heard[0].Kind, TDocumentChange::Edited);
  EXPECT_THAT(Heard[0].Slots, ElementsAre(4, 5));
  EXPECT_EQ(Heard[0].Focus, -1);  // an edit is made where the editor is
  Document.Save((Dir.Path() / "told.kpf").string());
  EXPECT_EQ(Heard.back().Kind, TDocumentChange::Stored);

  int told = 0;
  int second = 0;
  int first = 0;
  first = Document.Subscribe([&](const TDocumentChange&) {
    ++told;
    Document.Unsubscribe(first);
    Document.Unsubscribe(second);
  });
  second = Document.Subscribe([&](const TDocumentChange&) { ++told; });
  Document.Append(0, "DELAY 1");
  Document.Append(0, "DELAY 2");
  EXPECT_EQ(told, 1);
}

// The history is bounded: the oldest steps go.
TEST_F(DocumentTest, TheHistoryIsBounded) {
  for (int i = 0; i < 1200; ++i) Document.Append(0, "DELAY " + std::to_string(i));
  int undone = 0;
  while (Document.CanUndo()) {
    Document.Undo();
    ++undone;
  }
  EXPECT_EQ(undone, 1000);
  EXPECT_EQ(Document.Slot(0).size(), 200u);
}

}  // namespace
}  // namespace kestrova::testing
