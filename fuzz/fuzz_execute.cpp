// The executor on arbitrary command lines: every line run on its own, beside the reference that
// reads lines afresh each time (the same calls and status lines, or the fuzzer stops), then every
// slot queued and the queue worked through for a bounded number of turns, on a virtual clock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "exec/Mapper.h"
#include "exec/ReferenceExecutor.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "fakes/VirtualSleeper.h"
#include "platform/print/PrintInjector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrova;
  const auto printer = CreatePrintInjector(1024, 768, {512, 384}, nullptr);
  TInjector& injector = *printer;
  TScriptedJoyService joysticks;
  joysticks.SetAxes(0, {0, 65535, 1000, 40000, 32767, 0});
  TVirtualSleeper sleeper;
  TMapper mapper(injector, joysticks, sleeper, nullptr);
  // The two executors that must agree, on recording injectors of their own.
  TRecordingInjector parsedInjector(1024, 768, {512, 384});
  TRecordingInjector referenceInjector(1024, 768, {512, 384});
  TVirtualSleeper parsedSleeper;
  TVirtualSleeper referenceSleeper;
  std::vector<std::string> parsedStatus;
  TMapper parsed(parsedInjector, joysticks, parsedSleeper,
                 [&parsedStatus](const std::string& line) { parsedStatus.push_back(line); });
  testing::TReferenceExecutor reference(referenceInjector, joysticks, referenceSleeper, '.');

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  int index = 0;
  while (start <= text.size() && index < 400) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line(text.substr(start, end - start));
    mapper.ExecuteSingleCommand(line);
    parsed.ExecuteSingleCommand(line);
    reference.ExecuteSingleCommand(line);
    if (parsedInjector.TakeCalls() != referenceInjector.TakeCalls() ||
        parsedStatus != reference.Status || parsed.QueuedLines() != reference.QueuedLines()) {
      __builtin_trap();
    }
    parsedStatus.clear();
    reference.Status.clear();
    auto slot = mapper.Slot((index * 7) % SlotCount);
    slot.push_back(line);
    mapper.SetSlot((index * 7) % SlotCount, std::move(slot));
    ++index;
    start = end + 1;
  }
  for (int event = 0; event < EventCount; ++event) {
    mapper.ExecuteCommands(EventNames[event], "PRESS");
    mapper.ExecuteCommands(EventNames[event], "RELEASE");
  }
  for (int turn = 0; turn < 100 && mapper.QueueLength() < 2000; ++turn) {
    if (!mapper.RunNextQueuedLine()) break;
    if (mapper.QueueLength() > TMapper::MaxQueuedLines) __builtin_trap();  // the queue's bound
  }
  mapper.Shutdown();
  if (!injector.HeldKeys().empty()) __builtin_trap();  // shutdown releases everything
  return 0;
}
