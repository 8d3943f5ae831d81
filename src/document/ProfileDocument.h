#pragma once
// The profile being edited: its file, slot table and tolerances, the saved flag, and every edit
// as a step of an undo history, with a notification of each change. The window shows and edits
// it; the tray, the instance server, the follower of the application in front and the headless
// runner load, save and switch through it; the engine runs a copy it takes on every change.
//
// Not thread-safe: one thread owns it (the GUI thread in the window, the main thread headless).
// Listeners are called on that thread, after the change.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mapping/Profile.h"
#include "mapping/Slots.h"

namespace kestrova {

struct TDocumentChange {
  enum TKind {
    Edited,    // lines of Slots and tolerances of Axes changed: an edit, an undo or a redo
    Replaced,  // everything: a profile was loaded
    Stored,    // the profile was saved: its path and saved flag, nothing of its content
    Flags,     // the saved flag or the modified state alone
  };
  TDocumentChange(TKind kind = Edited) : Kind(kind) {}
  TKind Kind;
  std::vector<int> Slots;
  std::vector<int> Axes;  // tolerance indexes (X Y Z R U V, then the triggers')
  bool Motion = false;    // the motion settings changed
  bool Press = false;     // the press settings changed
  int Focus = -1;         // the slot an undo or redo brought back, to show it; -1 for none
};

class TProfileDocument {
 public:
  using TListener = std::function<void(const TDocumentChange&)>;
  using TSlotLines = std::vector<std::string>;

  // Lines are checked with the decimal separator given (mouse steps).
  explicit TProfileDocument(char decimalSeparator = '.');

  char DecimalSeparator() const { return FDecimalSeparator; }
  const std::string& Path() const { return FPath; }  // "" for a profile never saved or loaded
  const TSlotTable& Slots() const { return FSlots; }
  // Any list by its id (Layers.h): the slot table's, or a list of a layer or press type.
  // std::out_of_range for an id that names no list.
  const TSlotLines& Slot(int slot) const;
  // The lists of layers and press types that have lines, and the press settings.
  const TExtraLists& Extras() const { return FExtras; }
  const TTolerances& Tolerances() const { return FTolerances; }
  int Tolerance(int axis) const { return FTolerances.at(axis); }
  const TMotionSettings& Motion() const { return FMotion; }
  // The tolerance as its file wrote it ("+300" stays "+300") until it changes; then its number.
  std::string ToleranceText(int axis) const;

  // The saved flag: true after the start, a save and a load, and after an undo or redo that
  // brings back what was saved; false after any edit, one that changes nothing included.
  bool Saved() const { return FSaved; }
  // Whether the profile differs from what was last saved or loaded (the title's marker).
  bool Modified() const { return FModified; }

  // Edits. Each one that changes something is one step of the history; every one clears the
  // saved flag. Rows count from 0; a row out of range changes nothing. A slot is any list's id.
  void MarkEdited();  // an editing action that ended without a change (a dialog cancelled)
  void Append(int slot, std::string line);
  void Insert(int slot, int row, TSlotLines lines);  // before row; row = count for the end
  void Replace(int slot, int row, std::string line);
  void Delete(int slot, int row);
  // Moves the line at row to go before target (count for the end). A block's begin or end line
  // takes the whole block with it, so that no move breaks a block. Returns the row the line
  // landed on, or -1 when nothing moved.
  int Move(int slot, int row, int target);
  void Clear(int slot);
  void SetSlot(int slot, TSlotLines lines);
  // Several slots as one step (a recipe).
  void SetSlots(const std::vector<std::pair<int, TSlotLines>>& slots);
  void SetTolerance(int axis, int value);
  void SetMotion(const TMotionSettings& motion);
  void SetPressParams(const TPressParams& press);

  bool CanUndo() const { return FDone > 0; }
  bool CanRedo() const { return FDone < FHistory.size(); }
  void Undo();
  void Redo();

  // Reads a profile over the slot table (slots the file does not tag keep their lines) and
  // makes it the document: path, saved, a new history. All or nothing: on EProfileError
  // (EProfileMismatch, "Cannot open file %s", ...) the document is as it was.
  void Load(const std::string& path);
  // Load, with the failure as a user reads it: the system's message, and under it the file and
  // what the message means for it. "" when it loaded.
  std::string TryLoad(const std::string& path);
  // Writes the profile atomically and makes path its file; the history stays. On
  // EProfileError ("Cannot create file %s") nothing changes.
  void Save(const std::string& path);

  // The listener is called after every change, with what changed; returns a key for Unsubscribe.
  int Subscribe(TListener listener);
  void Unsubscribe(int key);

 private:
  struct TSlotEdit {
    int Slot;
    TSlotLines Before;
    TSlotLines After;
  };
  struct TToleranceEdit {
    int Axis;
    int Before;
    int After;
    std::string BeforeText;
  };
  struct TMotionEdit {
    TMotionSettings Before;
    TMotionSettings After;
  };
  struct TPressEdit {
    TPressParams Before;
    TPressParams After;
  };
  struct TStep {
    std::vector<TSlotEdit> Slots;
    std::vector<TToleranceEdit> Tolerances;
    std::vector<TMotionEdit> Motion;  // none or one
    std::vector<TPressEdit> Press;    // none or one
  };
  void Store(int slot, TSlotLines lines);

  // A step done now: it joins the history after what is done (what was undone is dropped), the
  // saved flag clears, listeners hear of it. An empty step only clears the saved flag.
  void Record(TStep step);
  // Does (forward) or undoes a step; what changed.
  TDocumentChange Apply(const TStep& step, bool forward);
  void UpdateModified();
  void Notify(const TDocumentChange& change);

  char FDecimalSeparator;
  std::string FPath;
  TSlotTable FSlots;
  TTolerances FTolerances = DefaultTolerances;
  std::array<std::string, ToleranceCount> FToleranceTexts;  // "" where the number says it
  TMotionSettings FMotion;
  TExtraLists FExtras;
  bool FSaved = true;
  bool FModified = false;
  // What was last saved or loaded.
  TSlotTable FSavedSlots;
  TTolerances FSavedTolerances = DefaultTolerances;
  TMotionSettings FSavedMotion;
  TExtraLists FSavedExtras;

  std::vector<TStep> FHistory;
  std::size_t FDone = 0;  // steps of FHistory that are done; the rest were undone

  std::map<int, TListener> FListeners;
  int FNextKey = 1;
};

}  // namespace kestrova
