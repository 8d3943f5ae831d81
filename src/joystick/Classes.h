#pragma once
// The base classes of components and the thread priorities they name.

#include <string>

namespace kestrova {

class TObject {
 public:
  virtual ~TObject() = default;
};

// A named object owned by a form. While designing, components do not run.
class TComponent : public TObject {
 public:
  std::string Name;
  int Tag = 0;
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool designing) { FDesigning = designing; }

 private:
  bool FDesigning = false;
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

}  // namespace kestrova
