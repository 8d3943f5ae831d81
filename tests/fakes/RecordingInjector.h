#pragma once
// An injector for tests: it keeps a pointer on a virtual screen and records every keyboard and
// mouse call as one line ("key 0x41 (A) down", "mouse 0x8001 32768 32768").

#include <mutex>
#include <string>
#include <vector>

#include "platform/Injector.h"

namespace kestrova {

class TRecordingInjector : public TInjector {
 public:
  TRecordingInjector(int screenWidth, int screenHeight, TPoint cursor);

  void SetCursor(TPoint cursor);

  bool GetCursorPos(TPoint& point) override;
  int GetSystemMetrics(int index) override;

  std::vector<std::string> Calls() const;
  std::vector<std::string> TakeCalls();  // returns the records and forgets them

 protected:
  void DoKeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags,
                    std::uintptr_t extra) override;
  void DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                    std::uintptr_t extra) override;

 private:
  mutable std::mutex FLock;
  const int FWidth;
  const int FHeight;
  TPoint FCursor;
  std::vector<std::string> FCalls;
};

}  // namespace kestrova
