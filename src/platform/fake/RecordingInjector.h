#pragma once
// An injector that injects nothing: it keeps a pointer on a virtual screen, records every
// keyboard and mouse call as one line ("key 0x41 down", "mouse 0x8001 32768 32768") and hands
// each line to an optional sink. Tests read the records; the command line prints them.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../Injector.h"

namespace kestrova {

class TRecordingInjector : public TInjector {
 public:
  // Called with each recorded line, on the injecting thread, in call order.
  using TSink = std::function<void(const std::string&)>;

  TRecordingInjector(int screenWidth, int screenHeight, TPoint cursor);

  void SetSink(TSink sink);
  // Off for long runs that only need the sink; on by default.
  void SetKeepRecords(bool keep);
  void SetCursor(TPoint cursor);
  void SetScreen(int width, int height);

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
  void Record(std::string line);

  mutable std::mutex FLock;
  int FWidth;
  int FHeight;
  TPoint FCursor;
  std::vector<std::string> FCalls;
  TSink FSink;
  bool FKeepRecords = true;
};

}  // namespace kestrova
