// Layers and press types in the mapper: their lists, the press router's configuration, and what
// the router runs.

#include "Mapper.h"

namespace kestrova {

namespace {

// "Executing <event> PRESS" and "... RELEASE" for every list of layers and press types, made when
// first said.
const std::string& RoutedStatusLine(int dense) {
  static std::array<std::string, DenseListCount> lines;
  static std::mutex lock;
  std::lock_guard guard(lock);
  std::string& line = lines[dense];
  if (line.empty()) {
    const TListAddress list = AddressOfDense(dense);
    line = ListStatusLine(list.Layer, list.Type, list.Slot / 2, list.Slot % 2 == 1);
  }
  return line;
}

}  // namespace

TExtraLists TMapper::ExtraLists() const {
  TExtraLists extras;
  std::lock_guard lock(FQueueLock);
  for (int dense = SlotCount; dense < DenseListCount; ++dense) {
    const TSlotLines& lines = FCommandLists[dense];
    if (lines->empty()) continue;
    std::vector<std::string> texts;
    for (const TLinePtr& line : *lines) texts.push_back(line->Text);
    extras.Lists[ListId(AddressOfDense(dense))] = std::move(texts);
  }
  extras.Press = FPressParams;
  return extras;
}

void TMapper::SetExtraLists(const TExtraLists& extras) {
  std::vector<std::pair<int, TSlotLines>> parsed;
  for (const auto& [id, lines] : extras.Lists) {
    if (const auto address = ListAddressOf(id); address && id >= SlotCount) {
      parsed.emplace_back(DenseIndex(*address), ParseSlot(lines));
    }
  }
  const TSlotLines none = ParseSlot({});
  std::lock_guard lock(FQueueLock);
  for (int dense = SlotCount; dense < DenseListCount; ++dense) {
    FCommandLists[dense] = none;
    FSlotEmpty[dense] = true;
  }
  for (auto& [dense, lines] : parsed) {
    FSlotEmpty[dense] = lines->empty();
    FCommandLists[dense] = std::move(lines);
  }
  FPressParams = extras.Press;
  RebuildPressConfig();
}

void TMapper::SetPressParams(const TPressParams& params) {
  std::lock_guard lock(FQueueLock);
  FPressParams = params;
  RebuildPressConfig();
}

void TMapper::RebuildPressConfig() {
  auto config = std::make_shared<TPressConfig>();
  config->HoldMs = FPressParams.HoldMs;
  config->DoubleMs = FPressParams.DoubleMs;
  config->SwitchTo.fill(-1);
  for (int dense = 0; dense < DenseListCount; ++dense) {
    const TSlotLines& lines = FCommandLists[dense];
    if (lines->empty()) continue;
    const TListAddress list = AddressOfDense(dense);
    if (dense >= SlotCount) {
      config->Active = true;
      config->Types[LayerEvent(list.Layer, list.Slot / 2)] |= 1u << static_cast<int>(list.Type);
    }
    for (const TLinePtr& line : *lines) {
      if (line->Layer >= 0 && line->Layer < LayerCount) {
        config->SwitchTo[dense] = static_cast<std::int8_t>(line->Layer);
        config->Active = true;
      }
    }
  }
  for (int layer = 0; layer < LayerCount; ++layer) {
    for (int event = 0; event < EventCount; ++event) {
      const int key = LayerEvent(layer, event);
      config->TurboMs[key] = FPressParams.TurboMs(layer, event);
      const int partner = FPressParams.ChordPartner(layer, event);
      if (partner < 0 || partner == event || !config->Has(layer, event, TPressType::Chord)) {
        continue;
      }
      // A pair with chords both ways is one chord: the first event's.
      auto& mine = config->Chords[key];
      auto& theirs = config->Chords[LayerEvent(layer, partner)];
      const bool known = std::any_of(mine.begin(), mine.end(),
                                     [&](const auto& chord) { return chord.Partner == partner; });
      if (known) continue;
      mine.push_back({partner, event});
      theirs.push_back({event, event});
    }
  }
  std::lock_guard lock(FConfigLock);
  FPressConfig = std::move(config);
  FPressActive = FPressConfig->Active;
  ++FConfigGeneration;
}

void TMapper::QueueList(int dense, const std::string& status) {
  if (FSlotEmpty[dense]) {
    if (dense < SlotCount || AddressOfDense(dense).Type == TPressType::Plain) {
      if (FAddStatusLine) FAddStatusLine(status);
    }
    return;
  }
  bool full = false;
  std::size_t count = 0;
  {
    // The list's lines are shared, not copied: linking them in is short whatever they hold, so
    // a long list never holds up a block pass, the poll thread or shutdown.
    std::lock_guard lock(FQueueLock);
    const TSlotLines& lines = FCommandLists[dense];
    count = lines->size();
    full = FCommandQueue.size() + count > MaxQueuedLines;
    if (!full) {
      FCommandQueue.insert(FCommandQueue.end(), lines->begin(), lines->end());
      // The worker is woken before the status line goes out, so that its wake-up does not wait
      // behind the status line's reader; it takes the line only once the lock is free, so the
      // status line still comes before whatever the event's lines do.
      FQueueChanged.notify_all();
      if (FAddStatusLine) FAddStatusLine(status);
    }
  }
  if (full && FAddStatusLine) {
    FAddStatusLine(status);
    FAddStatusLine("Queue full: dropped " + status.substr(std::string_view("Executing ").size()) +
                   " (" + std::to_string(count) + " lines; at most " +
                   std::to_string(MaxQueuedLines) + " may wait)");
  }
}

void TMapper::RunRoutedList(int layer, TPressType type, int event, bool release) {
  const int slot = PressSlotOfEvent(event) + (release ? 1 : 0);
  const int dense = DenseIndex(layer, type, slot);
  if (dense < SlotCount) return QueueList(dense, StatusLineOfSlot(slot));
  if (FSlotEmpty[dense] && type != TPressType::Plain) return;
  QueueList(dense, RoutedStatusLine(dense));
}

void TMapper::TickPressTimers() {
  TakeForget();
  if (!FPressActive.load(std::memory_order_relaxed)) return;
  if (FRouterGeneration != FConfigGeneration.load()) {
    std::lock_guard lock(FConfigLock);
    FRouter.SetConfig(FPressConfig);
    FRouterGeneration = FConfigGeneration.load();
  }
  FRouter.Tick(FNowMs());
}

std::int64_t TMapper::AfterPass() {
  if (!FPressActive.load(std::memory_order_relaxed)) return -1;
  TickPressTimers();
  const std::int64_t next = FRouter.NextDeadline();
  if (next == TPressRouter::Never) return -1;
  return std::max<std::int64_t>(0, next - FNowMs());
}

}  // namespace kestrova
