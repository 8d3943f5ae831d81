#include "Mapper.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "exec/inputsynth.h"
#include "platform/Environment.h"
#include "platform/Thread.h"

namespace kestrova {

std::filesystem::path DefaultTraceDirectory() {
  const std::string runtime = EnvironmentValue("XDG_RUNTIME_DIR");
  std::error_code error;
  if (runtime.starts_with("/") && std::filesystem::is_directory(runtime, error)) {
    return runtime;
  }
  return std::filesystem::temp_directory_path(error);
}

TMapper::TMapper(TInjector& injector, TJoyService& joysticks, TSleeper& sleeper,
                 TStatusSink addStatusLine)
    : Jstick1(joysticks),
      FInjector(injector),
      FSleeper(sleeper),
      FAddStatusLine(std::move(addStatusLine)),
      FRouter([this](int layer, TPressType type, int event, bool release) {
        RunRoutedList(layer, type, event, release);
      }),
      FNowMs([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
      }),
      FTraceDirectory(DefaultTraceDirectory()) {
  const TSlotLines none = ParseSlot({});
  for (int dense = 0; dense < DenseListCount; ++dense) {
    FCommandLists[dense] = none;
    FSlotEmpty[dense] = true;
  }
  SetSlots(TSlotTable{});
  Jstick1.SetRoutingTimers(this);
  Jstick1.Name = "Jstick1";
  Jstick1.OnAxis = [this](TObject* sender, int x, int y, int z, int r, int u, int v, float pcX,
                          float pcY, float pcZ, float pcR, float pcU, float pcV) {
    Jstick1Axis(sender, x, y, z, r, u, v, pcX, pcY, pcZ, pcR, pcU, pcV);
  };
  Jstick1.OnButton = [this](TObject* sender, int id, bool down) {
    Jstick1Button(sender, id, down);
  };
  Jstick1.OnPov = [this](TObject* sender, int pov) { Jstick1Pov(sender, pov); };
  Jstick1.OnTrigger = [this](TObject* sender, int left, int right) {
    Jstick1Trigger(sender, left, right);
  };
}

TTolerances TMapper::Tolerances() const {
  TTolerances tolerances{};
  for (int index = 0; index < ToleranceCount; ++index) tolerances[index] = FTolerances[index];
  return tolerances;
}

void TMapper::SetTolerances(const TTolerances& tolerances) {
  for (int index = 0; index < ToleranceCount; ++index) FTolerances[index] = tolerances[index];
}

TMapper::~TMapper() {
  Shutdown();
}

void TMapper::Start() {
  if (FExecThread || FShutDown) return;
  FExecThread = std::make_unique<TExecThread>(*this);
  RemoveTraceFiles();
  Jstick1.SetEnablePolling(true);
}

void TMapper::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // Interrupting the sleeper ends a DELAY or a block pass under way; terminating wakes an idle
  // worker. Both return within a line's worth of injection.
  FSleeper.Interrupt();
  if (FExecThread) FExecThread->Terminate();
  Jstick1.SetEnablePolling(false);
  if (FExecThread) {
    FExecThread->Join();
    FExecThread.reset();
  }
  Jstick1.WaitForPollThread();
  {
    std::lock_guard lock(FQueueLock);
    FCommandQueue.clear();
  }
  FInjector.ReleaseHeld();
}

void TMapper::DropQueueAndRelease() {
  if (FShutDown) return;
  const bool running = FExecThread != nullptr;
  FSleeper.Interrupt();  // ends a DELAY or a block pass under way
  if (FExecThread) {
    FExecThread->Terminate();
    FExecThread->Join();
    FExecThread.reset();
  }
  {
    std::lock_guard lock(FQueueLock);
    FCommandQueue.clear();
  }
  FInjector.ReleaseHeld();
  FSleeper.Reset();  // nobody waits on it now
  if (running) FExecThread = std::make_unique<TExecThread>(*this);
}

TMapper::TSlotLines TMapper::ParseSlot(std::vector<std::string> lines) const {
  std::vector<TLinePtr> parsed;
  parsed.reserve(lines.size());
  for (std::string& line : lines) parsed.push_back(ParseShared(line, FDecimalSeparator));
  return std::make_shared<const std::vector<TLinePtr>>(std::move(parsed));
}

void TMapper::SetDecimalSeparator(char separator) {
  FDecimalSeparator = separator;
  SetSlots(Slots());
  SetExtraLists(ExtraLists());
}

namespace {

// The dense index of a list id; std::out_of_range for an id that names no list.
int DenseOfId(int id) {
  const auto address = ListAddressOf(id);
  if (!address) throw std::out_of_range("no list " + std::to_string(id));
  return DenseIndex(*address);
}

}  // namespace

std::vector<std::string> TMapper::Slot(int slot) const {
  TSlotLines lines;
  {
    std::lock_guard lock(FQueueLock);
    lines = FCommandLists[DenseOfId(slot)];
  }
  std::vector<std::string> texts;
  texts.reserve(lines->size());
  for (const TLinePtr& line : *lines) texts.push_back(line->Text);
  return texts;
}

void TMapper::SetSlot(int slot, std::vector<std::string> lines) {
  const int dense = DenseOfId(slot);
  TSlotLines parsed = ParseSlot(std::move(lines));
  std::lock_guard lock(FQueueLock);
  FSlotEmpty[dense] = parsed->empty();
  FCommandLists[dense] = std::move(parsed);
  RebuildPressConfig();
}

bool TMapper::SlotEmpty(int slot) const {
  std::lock_guard lock(FQueueLock);
  return FCommandLists[DenseOfId(slot)]->empty();
}

TSlotTable TMapper::Slots() const {
  TSlotTable slots;
  for (int slot = 0; slot < SlotCount; ++slot) slots[slot] = Slot(slot);
  return slots;
}

void TMapper::SetSlots(TSlotTable slots) {
  std::array<TSlotLines, SlotCount> parsed;
  for (int slot = 0; slot < SlotCount; ++slot) parsed[slot] = ParseSlot(std::move(slots[slot]));
  std::lock_guard lock(FQueueLock);
  for (int slot = 0; slot < SlotCount; ++slot) {
    FSlotEmpty[slot] = parsed[slot]->empty();
    FCommandLists[slot] = std::move(parsed[slot]);
  }
  RebuildPressConfig();
}

std::string TMapper::GetNextBlockId() {
  return kestrova::GetNextBlockId(Slots(), FBlockIds);
}

int TMapper::ScreenWidth() {
  return ScreenWidthOf(FInjector);
}
int TMapper::ScreenHeight() {
  return ScreenHeightOf(FInjector);
}

void TMapper::SetTraceDirectory(std::filesystem::path directory) {
  std::lock_guard lock(FQueueLock);
  FTraceDirectory = std::move(directory);
}

void TMapper::RemoveTraceFiles() {
  std::lock_guard lock(FQueueLock);
  std::error_code ignored;
  std::filesystem::remove(FTraceDirectory / TraceFileName, ignored);
  std::filesystem::remove(FTraceDirectory / PreviousTraceFileName, ignored);
}

void TMapper::ThreadGate(const std::string& text) {
  std::lock_guard lock(FQueueLock);
  const auto current = FTraceDirectory / TraceFileName;
  const auto previous = FTraceDirectory / PreviousTraceFileName;
  std::error_code error;
  const auto size = std::filesystem::file_size(current, error);
  auto mode = std::ios::app;
  if (!error && size > 1000000) {
    std::filesystem::remove(previous, error);
    std::filesystem::rename(current, previous, error);
    mode = std::ios::trunc;
  }
  std::ofstream trace(current, std::ios::out | mode);
  trace << CurrentThreadId() << ": " << text << "\n";
}

}  // namespace kestrova
