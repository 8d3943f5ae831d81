#pragma once
// A mapper on a 1024 x 768 recording injector and a virtual clock, driven line by line.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "exec/Mapper.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "fakes/VirtualSleeper.h"

namespace kestrova::testing {

class TStatusLog {
 public:
  void Add(const std::string& line) {
    std::lock_guard lock(FLock);
    FLines.push_back(line);
  }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(FLock);
    return FLines;
  }
  std::vector<std::string> TakeLines() {
    std::lock_guard lock(FLock);
    return std::exchange(FLines, {});
  }

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FLines;
};

class MapperTest : public ::testing::Test {
 protected:
  TRecordingInjector Injector{1024, 768, {100, 100}};
  TScriptedJoyService Joysticks;
  TVirtualSleeper Sleeper;
  TStatusLog Status;
  TMapper Mapper{Injector, Joysticks, Sleeper,
                 [this](const std::string& line) { Status.Add(line); }};

  // Runs queued lines until the queue is empty, at most maxTurns worker turns.
  int Drain(int maxTurns = 10000) {
    int turns = 0;
    while (turns < maxTurns && Mapper.RunNextQueuedLine()) ++turns;
    return turns;
  }
  void RunTurns(int turns) {
    for (int i = 0; i < turns; ++i) Mapper.RunNextQueuedLine();
  }
  std::vector<std::string> Calls() { return Injector.TakeCalls(); }
};

inline std::vector<std::string> Repeat(const std::vector<std::string>& block, int times) {
  std::vector<std::string> all;
  for (int i = 0; i < times; ++i) all.insert(all.end(), block.begin(), block.end());
  return all;
}

}  // namespace kestrova::testing
