#pragma once
// A TJstick on a scripted service, with its events recorded as text lines.

#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "fakes/ScriptedJoyService.h"
#include "joystick/Jstick.h"

namespace kestrova::testing {

class TEventLog {
 public:
  void Attach(TJstick& stick) {
    stick.OnAxis = [this](TObject*, int X, int Y, int Z, int R, int U, int V, float pcX, float,
                          float, float, float, float) {
      char text[96];
      std::snprintf(text, sizeof text, "axis %d %d %d %d %d %d pcX %.5f", X, Y, Z, R, U, V, pcX);
      Add(text);
    };
    stick.OnButton = [this](TObject*, int id, bool down) {
      Add("button " + std::to_string(id) + (down ? " down" : " up"));
    };
    stick.OnPov = [this](TObject*, int pov) { Add("pov " + std::to_string(pov)); };
  }
  void Add(std::string line) {
    std::lock_guard lock(FLock);
    FLines.push_back(std::move(line));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(FLock);
    return std::exchange(FLines, {});
  }
  std::size_t Size() const {
    std::lock_guard lock(FLock);
    return FLines.size();
  }

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FLines;
};

constexpr std::uint32_t AllAxes = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV;

}  // namespace kestrova::testing
