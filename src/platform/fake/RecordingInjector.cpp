#include "RecordingInjector.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kestrova {

TRecordingInjector::TRecordingInjector(int screenWidth, int screenHeight, TPoint cursor)
    : FWidth(screenWidth), FHeight(screenHeight), FCursor(cursor) {}

void TRecordingInjector::SetSink(TSink sink) {
  std::lock_guard lock(FLock);
  FSink = std::move(sink);
}

void TRecordingInjector::SetKeepRecords(bool keep) {
  std::lock_guard lock(FLock);
  FKeepRecords = keep;
}

void TRecordingInjector::SetCursor(TPoint cursor) {
  std::lock_guard lock(FLock);
  FCursor = cursor;
}

void TRecordingInjector::SetScreen(int width, int height) {
  std::lock_guard lock(FLock);
  FWidth = width;
  FHeight = height;
}

bool TRecordingInjector::GetCursorPos(TPoint& point) {
  std::lock_guard lock(FLock);
  point = FCursor;
  return true;
}

int TRecordingInjector::GetSystemMetrics(int index) {
  std::lock_guard lock(FLock);
  if (index == SM_CXSCREEN) return FWidth;
  if (index == SM_CYSCREEN) return FHeight;
  return 0;
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
  Record(FormatKeyCall(vk, flags));
}

void TRecordingInjector::DoMouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                                      std::uint32_t, std::uintptr_t) {
  {
    std::lock_guard lock(FLock);
    if (flags & MOUSEEVENTF_MOVE) {
      // Like a real pointer: absolute coordinates are 0..65536 across the screen, and the
      // pointer never leaves the screen.
      double x = FCursor.x + static_cast<double>(dx);
      double y = FCursor.y + static_cast<double>(dy);
      if (flags & MOUSEEVENTF_ABSOLUTE) {
        x = std::round(static_cast<double>(dx) * FWidth / 65536.0);
        y = std::round(static_cast<double>(dy) * FHeight / 65536.0);
      }
      FCursor.x = static_cast<std::int32_t>(std::clamp(x, 0.0, std::max(FWidth - 1, 0) * 1.0));
      FCursor.y = static_cast<std::int32_t>(std::clamp(y, 0.0, std::max(FHeight - 1, 0) * 1.0));
    }
  }
  Record(FormatMouseCall(flags, dx, dy));
}

void TRecordingInjector::Record(std::string line) {
  TSink sink;
  {
    std::lock_guard lock(FLock);
    if (FKeepRecords) FCalls.push_back(line);
    sink = FSink;
  }
  if (sink) sink(line);
}

}  // namespace kestrova
