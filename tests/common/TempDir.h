#pragma once
// A temporary folder of the test's own, removed with everything in it when the object goes,
// whatever the test's assertions did.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace kestrova::testing {

class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix = "kestrova-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    // A test may have left a folder without write permission: give it back first.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::string& name) const { return FPath / name; }
  std::string String() const { return FPath.string(); }

 private:
  std::filesystem::path FPath;
};

}  // namespace kestrova::testing
