#pragma once
// How the runs without a window report what stops them.

#include <iostream>
#include <string>

namespace kestrova {

// Prints "kestrova: message" on standard error; returns the exit code for bad input, 2.
inline int Fail(const std::string& message) {
  std::cerr << "kestrova: " << message << "\n";
  return 2;
}

}  // namespace kestrova
