#include "ActiveWindow.h"

#include <filesystem>

namespace kestrova {

std::string ExecutableOfProcess(unsigned long pid) {
  if (pid == 0) return {};
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  return error ? std::string() : exe.string();
}

}  // namespace kestrova
