#include "PrintInjector.h"

#include <mutex>

namespace kestrova {

namespace {

class TPrintInjector : public TInjector {
 public:
  TPrintInjector(int width, int height, TPoint cursor, std::function<void(const std::string&)> sink)
      : FWidth(width), FHeight(height), FCursor(cursor), FSink(std::move(sink)) {}

  bool GetCursorPos(TPoint& point) override {
    std::lock_guard lock(FLock);
    point = FCursor;
    return true;
  }
  int GetSystemMetrics(int index) override { return FixedScreenMetric(index, FWidth, FHeight); }

 protected:
  void DoKeybdEvent(std::uint8_t vk, std::uint8_t, std::uint32_t flags, std::uintptr_t) override {
    if (FSink) FSink(FormatKeyCall(vk, flags));
  }
  void DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                    std::uintptr_t) override {
    {
      std::lock_guard lock(FLock);
      FCursor = PointerAfterMouseEvent(FCursor, flags, dx, dy, FWidth, FHeight);
    }
    if (FSink) FSink(FormatMouseCall(flags, dx, dy, data));
  }

 private:
  std::mutex FLock;  // guards FCursor
  const int FWidth;
  const int FHeight;
  TPoint FCursor;
  const std::function<void(const std::string&)> FSink;
};

}  // namespace

std::unique_ptr<TInjector> CreatePrintInjector(int screenWidth, int screenHeight, TPoint cursor,
                                               std::function<void(const std::string&)> sink) {
  return std::make_unique<TPrintInjector>(screenWidth, screenHeight, cursor, std::move(sink));
}

}  // namespace kestrova
