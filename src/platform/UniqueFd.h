#pragma once
// The owner of one file descriptor: closes it when it goes. Move-only.

#include <unistd.h>

#include <utility>

namespace kestrova {

class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : FFd(fd) {}
  ~TUniqueFd() { Reset(); }
  TUniqueFd(TUniqueFd&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      FFd = std::exchange(other.FFd, -1);
    }
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;

  int Get() const { return FFd; }
  bool Valid() const { return FFd >= 0; }
  // Closes the descriptor held, if any, and holds fd instead.
  void Reset(int fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }
  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(FFd, -1); }

 private:
  int FFd = -1;
};

}  // namespace kestrova
