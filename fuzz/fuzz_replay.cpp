// The replay timeline reader on arbitrary bytes: it refuses or gives a timeline in time order.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "session/Replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kestrova::TReplay replay;
  try {
    replay = kestrova::ParseReplay(text, "fuzz");
  } catch (const kestrova::EReplayError&) {
    return 0;
  }
  if (text.find('\0') != std::string_view::npos) std::abort();  // a NUL is always refused
  std::uint32_t previous = 0;
  for (const auto& entry : replay.Entries) {
    if (entry.TimeMs < previous) std::abort();
    if (entry.Kind == kestrova::TReplayEntry::Axis &&
        (entry.Index < 0 || entry.Index > 5 || entry.Value > 65535))
      std::abort();
    if (entry.Kind == kestrova::TReplayEntry::Button && (entry.Index < 1 || entry.Index > 32))
      std::abort();
    previous = entry.TimeMs;
  }
  if (replay.EndTimeMs < previous) std::abort();
  return 0;
}
