#pragma once
// A /dev/uinput for tests, through umockdev: the process (and its children) must run under
// umockdev-wrapper, so that opening /dev/uinput reaches this testbed. Every open of the node is a
// device whose set-up ioctls and written events are recorded; the answers come from a thread of
// the testbed's own.

#include <linux/input.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kestrova::testing {

struct TMockDevice {
  std::string Name;
  std::set<int> EvBits;
  std::set<int> KeyBits;
  std::set<int> RelBits;
  std::set<int> AbsBits;
  std::map<int, std::pair<int, int>> AbsRanges;  // axis -> minimum, maximum
  bool Created = false;
  bool Destroyed = false;
  std::vector<input_event> Events;
};

class TMockUinput {
 public:
  // withNode false: a testbed without /dev/uinput (the module not loaded).
  explicit TMockUinput(bool withNode = true);
  ~TMockUinput();
  TMockUinput(const TMockUinput&) = delete;
  TMockUinput& operator=(const TMockUinput&) = delete;

  // True when the process runs under umockdev-wrapper; tests skip otherwise.
  static bool Available();

  std::vector<TMockDevice> Devices() const;  // in the order they were opened
  std::optional<TMockDevice> Device(const std::string& name) const;  // the newest of that name
  // The testbed's folder (UMOCKDEV_DIR, which children inherit).
  std::string Root() const;

  struct TImpl;

 private:
  std::unique_ptr<TImpl> FImpl;
};

// "KEY 44 1", "SYN 0 0", "REL 0 -5", ...: one line per event, for comparisons.
std::vector<std::string> Describe(const std::vector<input_event>& events);

}  // namespace kestrova::testing
