// The uinput output's cost per key event (the key down or up, and its SYN_REPORT), next to XTest's
// in the micro-benchmarks. There is no /dev/uinput here: it runs under umockdev-wrapper against
// the mocked node, so each write also crosses umockdev's socket to the answering thread; on a
// real node it is one write(2) to the kernel.

#include <benchmark/benchmark.h>

#include "fakes/MockUinput.h"
#include "platform/uinput/UinputInjector.h"

namespace kestrova {
namespace {

void BM_UinputKeyEventMocked(benchmark::State& state) {
  if (!testing::TMockUinput::Available()) {
    state.SkipWithError("run under umockdev-wrapper");
    return;
  }
  testing::TMockUinput mock;
  TUinputOptions options;
  options.KeyboardLayout = "us";
  TUinputOutput output = CreateUinputInjector(options);
  for (auto _ : state) {
    output.Injector->keybd_event(VK_F1 + 20, 0, 0, 0);  // F21: types nothing anywhere
    output.Injector->keybd_event(VK_F1 + 20, 0, KEYEVENTF_KEYUP, 0);
  }
  state.SetItemsProcessed(state.iterations() * 2);
  state.counters["per_event"] =
      benchmark::Counter(static_cast<double>(state.iterations() * 2),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UinputKeyEventMocked);

}  // namespace
}  // namespace kestrova

BENCHMARK_MAIN();
