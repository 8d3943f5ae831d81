#include "RecordingInjector.h"

#include <utility>

namespace kestrova {

TRecordingInjector::TRecordingInjector(int screenWidth, int screenHeight, TPoint cursor)
    : FWidth(screenWidth), FHeight(screenHeight), FCursor(cursor) {}

void TRecordingInjector::SetCursor(TPoint cursor) {
  std::lock_guard lock(FLock);
  FCursor = cursor;
}

bool TRecordingInjector::GetCursorPos(TPoint& point) {
  std::lock_guard lock(FLock);
  point = FCursor;
  return true;
}

int TRecordingInjector::GetSystemMetrics(int index) {
  return FixedScreenMetric(index, FWidth, FHeight);
}

std::vector<std::string> TRecordingInjector::Calls() const {
  std::lock_guard lock(FLock);
  return FCalls;
}

std::vector<std::string> TRecordingInjector::TakeCalls() {
  std::lock_guard lock(FLock);
  return std::exchange(FCalls, {});
}

void TRecordingInjector::DoKeybdEvent(std::uint8_t vk, std::uint8_t, std::uint32_t flags,
                                      std::uintptr_t) {
  std::lock_guard lock(FLock);
  FCalls.push_back(FormatKeyCall(vk, flags));
}

void TRecordingInjector::DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                                      std::uint32_t data, std::uintptr_t) {
  std::lock_guard lock(FLock);
  FCursor = PointerAfterMouseEvent(FCursor, flags, dx, dy, FWidth, FHeight);
  FCalls.push_back(FormatMouseCall(flags, dx, dy, data));
}

}  // namespace kestrova
