// The profile reader and checker on arbitrary bytes. What loads must save and load back the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mapping/Profile.h"
#include "mapping/ProfileCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kestrova::CheckProfileText(text, '.');
  kestrova::TLoadedProfile loaded;
  try {
    loaded = kestrova::ParseProfile(text, kestrova::TSlotTable{});
  } catch (const kestrova::EProfileError&) {
    return 0;
  }
  const auto again = kestrova::ParseProfile(
      kestrova::FormatProfile(loaded.Slots, loaded.Tolerances), kestrova::TSlotTable{});
  if (again.Slots != loaded.Slots || again.Tolerances != loaded.Tolerances) std::abort();
  return 0;
}
