#include "TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/UniqueFd.h"

namespace kestrova {

namespace {

[[noreturn]] void Refuse(const std::filesystem::path& path, const std::string& reason) {
  throw EFileError("Cannot open file " + path.string() + ": " + reason);
}

}  // namespace

std::string ReadRegularFile(const std::filesystem::path& path, std::size_t limit) {
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
  const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.Get() < 0) Refuse(path, std::strerror(errno));
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) Refuse(path, std::strerror(errno));
  if (S_ISDIR(info.st_mode)) Refuse(path, "it is a folder");
  if (!S_ISREG(info.st_mode)) Refuse(path, "not a regular file");
  const auto tooLarge = [&] {
    Refuse(path, "larger than " + std::to_string(limit >> 20) + " MiB");
  };
  if (static_cast<unsigned long long>(info.st_size) > limit) tooLarge();
  std::string text;
  text.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Refuse(path, std::strerror(errno));
    if (n == 0) break;
    // A file that grows while it is read, or reports no size (/proc), is bounded here.
    if (text.size() + static_cast<std::size_t>(n) > limit) tooLarge();
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace kestrova
