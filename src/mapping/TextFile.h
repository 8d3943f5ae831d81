#pragma once
// Reading the files a user names (profiles, timelines): regular files only, of a bounded size,
// opened without waiting on a FIFO or a device.

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kestrova {

// The largest profile or timeline read: far more than any hand-made one.
constexpr std::size_t MaxInputFileBytes = 16u << 20;

// what() is "Cannot open file NAME: reason".
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole text of a regular file of at most limit bytes. Anything else (missing, a folder, a
// FIFO, a device, unreadable, too large, a read error) throws EFileError.
std::string ReadRegularFile(const std::filesystem::path& path,
                            std::size_t limit = MaxInputFileBytes);

}  // namespace kestrova
