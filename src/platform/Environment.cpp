#include "platform/Environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace kestrova {

namespace {

// A folder of the user's alone: made 0700, or checked to be the user's and made 0700.
void EnsurePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + folder + ": " + std::strerror(errno));
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    throw std::runtime_error(folder + " is not a folder of this user's");
  }
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    throw std::runtime_error("cannot make " + folder + " private: " + std::strerror(errno));
  }
}

}  // namespace

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string KestrovaRuntimeFolder() {
  const std::string runtime = EnvironmentValue("XDG_RUNTIME_DIR");
  const std::string folder = runtime.starts_with("/")
                                 ? runtime + "/kestrova"
                                 : "/tmp/kestrova-" + std::to_string(::geteuid());
  EnsurePrivateFolder(folder);
  return folder;
}

}  // namespace kestrova
