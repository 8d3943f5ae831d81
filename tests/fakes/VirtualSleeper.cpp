#include "VirtualSleeper.h"

namespace kestrova {

bool TVirtualSleeper::Sleep(std::uint32_t ms) {
  if (FInterrupted) return false;
  FNowMs += ms;
  return true;
}

}  // namespace kestrova
