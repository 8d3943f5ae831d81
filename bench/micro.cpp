// Micro-benchmarks of the hot paths: reading command lines, one poll pass, queuing a slot,
// profile files, and one injected key event.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "exec/Mapper.h"
#include "exec/ReferenceExecutor.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "fakes/VirtualSleeper.h"
#include "joystick/Jstick.h"
#include "joystick/PollThread.h"
#include "mapping/Profile.h"
#include "platform/sdl/SdlJoyService.h"
#include "platform/x11/X11Injector.h"

namespace kestrova {
namespace {

void BM_GetCmdParam(benchmark::State& state) {
  const std::string line = "MOUSE MOVE R B 0.02 -1.5 X N";
  for (auto _ : state) {
    for (int index = 0; index < 6; ++index) benchmark::DoNotOptimize(GetCmdParam(line, index));
  }
  state.SetItemsProcessed(state.iterations() * 6);
}
BENCHMARK(BM_GetCmdParam);

// One pass with the stick moving, so that every pass raises an axis event.
void PollPasses(benchmark::State& state, TJoyService& service, const std::function<void(int)>& move,
                int joystickId) {
  TJstick stick(service);
  stick.SetJoystickID(joystickId);
  int events = 0;
  stick.OnAxis = [&](TObject*, int, int, int, int, int, int, float, float, float, float, float,
                     float) { ++events; };
  TPollThread poll(stick);
  poll.Prepare();
  int step = 0;
  for (auto _ : state) {
    move(step++);
    poll.Pass();
  }
  benchmark::DoNotOptimize(events);
}

void BM_PollPassScripted(benchmark::State& state) {
  TScriptedJoyService service;
  PollPasses(
      state, service, [&](int step) { service.SetAxis(0, jaX, step % 2 ? 0 : 65535); }, 1);
}
BENCHMARK(BM_PollPassScripted);

void BM_PollPassSdlVirtual(benchmark::State& state) {
  auto service = CreateSdlJoyService();
  TVirtualControllerDesc desc;
  desc.Name = "Bench Stick";
  auto stick = AttachSdlVirtualController(desc);
  int number = 1;
  for (const auto& controller : ListControllers(*service)) {
    if (controller.Name == desc.Name) number = controller.JoystickID;
  }
  PollPasses(
      state, *service, [&](int step) { stick->SetAxis(0, step % 2 ? 0 : 65535); }, number);
}
BENCHMARK(BM_PollPassSdlVirtual);

void BM_ExecuteCommands1000(benchmark::State& state) {
  TRecordingInjector injector(1024, 768, {0, 0});
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  std::vector<std::string> slot;
  for (int i = 0; i < 500; ++i) {
    slot.push_back("KEY DOWN a");
    slot.push_back("KEY UP a");
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto mapper = std::make_unique<TMapper>(injector, joysticks, sleeper, nullptr);
    mapper->SetSlot(26, slot);
    state.ResumeTiming();
    mapper->ExecuteCommands("Button 1", "PRESS");
    state.PauseTiming();
    mapper.reset();  // drops the queue
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ExecuteCommands1000);

// An injector that injects nothing, so that what is measured is the executor's own cost.
class TNullInjector : public TInjector {
 public:
  bool GetCursorPos(TPoint& point) override {
    point = {100, 100};
    return true;
  }
  int GetSystemMetrics(int index) override { return index == 0 ? 1920 : 1080; }

 protected:
  void DoKeybdEvent(std::uint8_t, std::uint8_t, std::uint32_t, std::uintptr_t) override {}
  void DoMouseEvent(std::uint32_t, std::int32_t, std::int32_t, std::uint32_t,
                    std::uintptr_t) override {}
};

// A mix of key, delay, mouse and block lines: 13 lines run per round (the block twice).
const std::vector<std::string> LineMix = {
    "KEY DOWN a",         "KEY UP a",       "DELAY 5",      "MOUSE MOVE R N 0.02 0 X N",
    "BEGBLOCK 001 RPT 2", "KEY DOWN SHIFT", "KEY UP SHIFT", "ENDBLOCK 001",
    "LEFT MOUSE DOWN",    "LEFT MOUSE UP",  "MOUSE WHEEL 1"};
constexpr int LinesPerMixRound = 13;

// The executor's cost per line, after: lines read once when the slot is set.
void BM_ExecutorLineMix(benchmark::State& state) {
  TNullInjector injector;
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  TMapper mapper(injector, joysticks, sleeper, nullptr);
  mapper.SetSlot(26, LineMix);
  for (auto _ : state) {
    mapper.ExecuteCommands("Button 1", "PRESS");
    while (mapper.RunNextQueuedLine()) {
    }
  }
  state.SetItemsProcessed(state.iterations() * LinesPerMixRound);
}
BENCHMARK(BM_ExecutorLineMix);

// Before: every line scanned for each keyword and its words read afresh each time it runs.
void BM_ExecutorLineMixBefore(benchmark::State& state) {
  TNullInjector injector;
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  testing::TReferenceExecutor reference(injector, joysticks, sleeper, '.');
  reference.KeepStatus = false;
  reference.Slots[26] = LineMix;
  for (auto _ : state) {
    reference.ExecuteCommands("Button 1", "PRESS");
    while (reference.RunNextQueuedLine()) {
    }
  }
  state.SetItemsProcessed(state.iterations() * LinesPerMixRound);
}
BENCHMARK(BM_ExecutorLineMixBefore);

// The routing of one event: a button's press and its release routed and their lines queued (two
// each, with the status line handed on); the queue is emptied every 512 events, untimed.
template <typename TRouter>
void RouteButton(benchmark::State& state, TRouter&& route, const std::function<void()>& clear) {
  int routed = 0;
  for (auto _ : state) {
    route(true);
    route(false);
    if (++routed % 256 == 0) {
      state.PauseTiming();
      clear();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * 2);
}

void BM_RouteEvent(benchmark::State& state) {
  TNullInjector injector;
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  std::size_t statusLines = 0;
  TMapper mapper(injector, joysticks, sleeper, [&](const std::string&) { ++statusLines; });
  mapper.SetSlot(30, {"KEY DOWN c", "DELAY 20"});
  mapper.SetSlot(31, {"KEY UP c", "DELAY 20"});
  RouteButton(
      state, [&](bool down) { mapper.Jstick1Button(nullptr, 3, down); },
      [&] { mapper.DropQueueAndRelease(); });
  benchmark::DoNotOptimize(statusLines);
}
BENCHMARK(BM_RouteEvent);

// The same event in a profile that uses layers and press types: button 3 with Hold lists beside
// its own (a press this short is none), chords, toggles and another layer elsewhere.
void BM_RouteEventLayered(benchmark::State& state) {
  TNullInjector injector;
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  std::size_t statusLines = 0;
  TMapper mapper(injector, joysticks, sleeper, [&](const std::string&) { ++statusLines; });
  mapper.SetSlot(30, {"KEY DOWN c", "DELAY 20"});
  mapper.SetSlot(31, {"KEY UP c", "DELAY 20"});
  TExtraLists extras;
  extras.SetList(ListId(0, TPressType::Hold, 30), {"KEY DOWN h"});
  extras.SetList(ListId(0, TPressType::Hold, 31), {"KEY UP h"});
  extras.SetList(ListId(0, TPressType::Chord, 26), {"KEY DOWN k"});
  extras.SetList(ListId(0, TPressType::Toggle, 32), {"KEY DOWN t"});
  extras.SetList(ListId(2, TPressType::Plain, 30), {"KEY DOWN l"});
  extras.SetList(ListId(0, TPressType::Plain, 34), {"LAYER 2"});
  extras.Press.ChordPartners[LayerEvent(0, 13)] = 14;
  mapper.SetExtraLists(extras);
  RouteButton(
      state, [&](bool down) { mapper.Jstick1Button(nullptr, 3, down); },
      [&] { mapper.DropQueueAndRelease(); });
  benchmark::DoNotOptimize(statusLines);
}
BENCHMARK(BM_RouteEventLayered);

// Before: events and directions named by texts, the slot found by its name, its lines copied.
void BM_RouteEventBefore(benchmark::State& state) {
  TNullInjector injector;
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  testing::TReferenceExecutor reference(injector, joysticks, sleeper, '.');
  reference.KeepStatus = false;
  reference.Slots[30] = {"KEY DOWN c", "DELAY 20"};
  reference.Slots[31] = {"KEY UP c", "DELAY 20"};
  RouteButton(
      state, [&](bool down) { reference.Button(3, down); }, [&] { reference.ClearQueue(); });
}
BENCHMARK(BM_RouteEventBefore);

TSlotTable LargeProfile() {
  TSlotTable slots;
  for (int slot = 0; slot < SlotCount; ++slot) {
    for (int i = 0; i < 1000; ++i)
      slots[slot].push_back(i % 2 ? "KEY UP a" : "MOUSE MOVE R B 0.02 0 X N");
  }
  return slots;
}

void BM_ProfileWrite66x1000(benchmark::State& state) {
  const TSlotTable slots = LargeProfile();
  const auto path = std::filesystem::temp_directory_path() / "kestrova-bench-write.kpf";
  for (auto _ : state) WriteProfileFile(path, slots, {300, 300, 300, 300});
  std::filesystem::remove(path);
}
BENCHMARK(BM_ProfileWrite66x1000)->Unit(benchmark::kMillisecond);

void BM_ProfileRead66x1000(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "kestrova-bench-read.kpf";
  WriteProfileFile(path, LargeProfile(), {300, 300, 300, 300});
  for (auto _ : state) benchmark::DoNotOptimize(ReadProfileFile(path, TSlotTable{}));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ProfileRead66x1000)->Unit(benchmark::kMillisecond);

// A key press and release through XTest (client side: queued and flushed to the server).
void BM_XTestKeyEvent(benchmark::State& state) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    state.SkipWithError("no X display");
    return;
  }
  auto injector = CreateX11Injector();
  for (auto _ : state) {
    injector->keybd_event(VK_F1 + 20, 0, 0, 0);  // F21: types nothing anywhere
    injector->keybd_event(VK_F1 + 20, 0, KEYEVENTF_KEYUP, 0);
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_XTestKeyEvent);

}  // namespace
}  // namespace kestrova

BENCHMARK_MAIN();
