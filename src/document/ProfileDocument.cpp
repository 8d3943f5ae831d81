#include "document/ProfileDocument.h"

#include <algorithm>
#include <stdexcept>

#include "mapping/CommandLine.h"

namespace kestrova {

namespace {

// Steps kept for undo; the oldest go first.
constexpr std::size_t MaxHistory = 1000;

// Any list's id: the slot table's, or a list of a layer or press type.
bool ValidSlot(int slot) {
  return ListAddressOf(slot).has_value();
}

}  // namespace

TProfileDocument::TProfileDocument(char decimalSeparator) : FDecimalSeparator(decimalSeparator) {}

std::string TProfileDocument::ToleranceText(int axis) const {
  const std::string& text = FToleranceTexts.at(axis);
  return text.empty() ? std::to_string(FTolerances[axis]) : text;
}

void TProfileDocument::MarkEdited() {
  if (!FSaved) return;
  FSaved = false;
  Notify({TDocumentChange::Flags});
}

void TProfileDocument::Append(int slot, std::string line) {
  if (!ValidSlot(slot)) return MarkEdited();
  TSlotLines after = Slot(slot);
  after.push_back(std::move(line));
  SetSlot(slot, std::move(after));
}

void TProfileDocument::Insert(int slot, int row, TSlotLines lines) {
  if (!ValidSlot(slot) || row < 0 || row > static_cast<int>(Slot(slot).size())) {
    return MarkEdited();
  }
  TSlotLines after = Slot(slot);
  after.insert(after.begin() + row, std::make_move_iterator(lines.begin()),
               std::make_move_iterator(lines.end()));
  SetSlot(slot, std::move(after));
}

void TProfileDocument::Replace(int slot, int row, std::string line) {
  if (!ValidSlot(slot) || row < 0 || row >= static_cast<int>(Slot(slot).size())) {
    return MarkEdited();
  }
  TSlotLines after = Slot(slot);
  after[static_cast<std::size_t>(row)] = std::move(line);
  SetSlot(slot, std::move(after));
}

void TProfileDocument::Delete(int slot, int row) {
  if (!ValidSlot(slot) || row < 0 || row >= static_cast<int>(Slot(slot).size())) {
    return MarkEdited();
  }
  TSlotLines after = Slot(slot);
  after.erase(after.begin() + row);
  SetSlot(slot, std::move(after));
}

int TProfileDocument::Move(int slot, int row, int target) {
  if (!ValidSlot(slot)) return -1;
  const TSlotLines& before = Slot(slot);
  const int count = static_cast<int>(before.size());
  if (row < 0 || row >= count || target < 0 || target > count) return -1;
  const auto [first, last] = BlockRangeAt(before, row);
  if (target >= first && target <= last + 1) return -1;  // within the lines that move: nowhere
  TSlotLines after = before;
  const TSlotLines moving(after.begin() + first, after.begin() + last + 1);
  after.erase(after.begin() + first, after.begin() + last + 1);
  const int landed = target > last ? target - (last - first + 1) : target;
  after.insert(after.begin() + landed, moving.begin(), moving.end());
  SetSlot(slot, std::move(after));
  return landed + (row - first);
}

void TProfileDocument::Clear(int slot) {
  SetSlot(slot, {});
}

void TProfileDocument::SetSlot(int slot, TSlotLines lines) {
  SetSlots({{slot, std::move(lines)}});
}

void TProfileDocument::SetSlots(const std::vector<std::pair<int, TSlotLines>>& slots) {
  TStep step;
  for (const auto& [slot, lines] : slots) {
    if (!ValidSlot(slot) || Slot(slot) == lines) continue;
    step.Slots.push_back({slot, Slot(slot), lines});
  }
  Record(std::move(step));
}

void TProfileDocument::SetTolerance(int axis, int value) {
  TStep step;
  if (axis >= 0 && axis < ToleranceCount && FTolerances[axis] != value) {
    step.Tolerances.push_back({axis, FTolerances[axis], value, FToleranceTexts[axis]});
  }
  Record(std::move(step));
}

void TProfileDocument::SetMotion(const TMotionSettings& motion) {
  TStep step;
  if (motion != FMotion) step.Motion.push_back({FMotion, motion});
  Record(std::move(step));
}

void TProfileDocument::SetPressParams(const TPressParams& press) {
  TStep step;
  if (press != FExtras.Press) step.Press.push_back({FExtras.Press, press});
  Record(std::move(step));
}

const TProfileDocument::TSlotLines& TProfileDocument::Slot(int slot) const {
  if (slot >= 0 && slot < SlotCount) return FSlots[slot];
  if (!ValidSlot(slot)) throw std::out_of_range("no list " + std::to_string(slot));
  return FExtras.List(slot);
}

void TProfileDocument::Store(int slot, TSlotLines lines) {
  if (slot < SlotCount) {
    FSlots[slot] = std::move(lines);
  } else {
    FExtras.SetList(slot, std::move(lines));
  }
}

void TProfileDocument::Record(TStep step) {
  if (step.Slots.empty() && step.Tolerances.empty() && step.Motion.empty() && step.Press.empty()) {
    return MarkEdited();
  }
  FHistory.resize(FDone);
  FHistory.push_back(std::move(step));
  if (FHistory.size() > MaxHistory) FHistory.erase(FHistory.begin());
  FDone = FHistory.size();
  TDocumentChange change = Apply(FHistory.back(), true);
  change.Focus = -1;  // an edit is made where the editor is
  FSaved = false;
  Notify(change);
}

// An undo or redo that brings back what was saved marks it saved again; any other is an edit.
void TProfileDocument::Undo() {
  if (!CanUndo()) return;
  --FDone;
  const TDocumentChange change = Apply(FHistory[FDone], false);
  FSaved = !FModified;
  Notify(change);
}

void TProfileDocument::Redo() {
  if (!CanRedo()) return;
  ++FDone;
  const TDocumentChange change = Apply(FHistory[FDone - 1], true);
  FSaved = !FModified;
  Notify(change);
}

TDocumentChange TProfileDocument::Apply(const TStep& step, bool forward) {
  TDocumentChange change{TDocumentChange::Edited};
  // Undone in the reverse order of doing, so that a slot edited twice in one step ends right.
  const auto apply = [&](const TSlotEdit& edit) {
    Store(edit.Slot, forward ? edit.After : edit.Before);
    change.Slots.push_back(edit.Slot);
  };
  if (forward) {
    std::for_each(step.Slots.begin(), step.Slots.end(), apply);
  } else {
    std::for_each(step.Slots.rbegin(), step.Slots.rend(), apply);
  }
  for (const TToleranceEdit& edit : step.Tolerances) {
    FTolerances[edit.Axis] = forward ? edit.After : edit.Before;
    FToleranceTexts[edit.Axis] = forward ? std::string() : edit.BeforeText;
    change.Axes.push_back(edit.Axis);
  }
  for (const TMotionEdit& edit : step.Motion) {
    FMotion = forward ? edit.After : edit.Before;
    change.Motion = true;
  }
  for (const TPressEdit& edit : step.Press) {
    FExtras.Press = forward ? edit.After : edit.Before;
    change.Press = true;
  }
  // What an undo or redo brought back is shown: the first slot of what it undid, the last of
  // what it redid.
  if (!step.Slots.empty())
    change.Focus = forward ? step.Slots.back().Slot : step.Slots.front().Slot;
  UpdateModified();
  return change;
}

void TProfileDocument::UpdateModified() {
  FModified = FSlots != FSavedSlots || FTolerances != FSavedTolerances || FMotion != FSavedMotion ||
              FExtras != FSavedExtras;
}

void TProfileDocument::Load(const std::string& path) {
  TLoadedProfile loaded = ReadProfileFile(path, FSlots);
  FSlots = std::move(loaded.Slots);
  FTolerances = loaded.Tolerances;
  FToleranceTexts = loaded.ToleranceTexts;
  FMotion = loaded.Motion;
  FExtras = std::move(loaded.Extras);
  // The file's own text where it differs from the number only.
  for (int axis = 0; axis < ToleranceCount; ++axis) {
    if (FToleranceTexts[axis] == std::to_string(FTolerances[axis])) FToleranceTexts[axis].clear();
  }
  FPath = path;
  FSavedSlots = FSlots;
  FSavedTolerances = FTolerances;
  FSavedMotion = FMotion;
  FSavedExtras = FExtras;
  FModified = false;
  FSaved = true;
  FHistory.clear();
  FDone = 0;
  Notify({TDocumentChange::Replaced});
}

std::string TProfileDocument::TryLoad(const std::string& path) {
  try {
    Load(path);
    return {};
  } catch (const EProfileMismatch& mismatch) {
    return mismatch.what();
  } catch (const EProfileError& error) {
    std::string text = std::string(error.what()) + "\n\n" + path;
    if (!error.Meaning().empty()) text += ":\n" + error.Meaning();
    return text;
  }
}

void TProfileDocument::Save(const std::string& path) {
  WriteProfileFile(path, FSlots, FTolerances, FMotion, FExtras);
  FPath = path;
  FSavedSlots = FSlots;
  FSavedTolerances = FTolerances;
  FSavedMotion = FMotion;
  FSavedExtras = FExtras;
  FModified = false;
  FSaved = true;
  Notify({TDocumentChange::Stored});
}

int TProfileDocument::Subscribe(TListener listener) {
  const int key = FNextKey++;
  FListeners.emplace(key, std::move(listener));
  return key;
}

void TProfileDocument::Unsubscribe(int key) {
  FListeners.erase(key);
}

void TProfileDocument::Notify(const TDocumentChange& change) {
  // A listener may subscribe or unsubscribe others, itself included: each is looked up afresh
  // and called through a copy, which outlives its own unsubscribing.
  std::vector<int> keys;
  for (const auto& [key, listener] : FListeners) keys.push_back(key);
  for (const int key : keys) {
    const auto found = FListeners.find(key);
    if (found == FListeners.end()) continue;
    const TListener listener = found->second;
    listener(change);
  }
}

}  // namespace kestrova
