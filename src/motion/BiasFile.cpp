#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "motion/Motion.h"
#include "platform/Environment.h"

namespace kestrova {

namespace {

struct TEntry {
  std::string Controller;
  TRate Bias;
};

std::vector<TEntry> ReadEntries(const std::string& path) {
  std::vector<TEntry> entries;
  std::error_code error;
  // Only a small regular file: never a FIFO that would hold the poll thread.
  if (!std::filesystem::is_regular_file(path, error) ||
      std::filesystem::file_size(path, error) > 64 * 1024) {
    return entries;
  }
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::istringstream fields(line);
    TEntry entry;
    if (fields >> entry.Controller >> entry.Bias[0] >> entry.Bias[1] >> entry.Bias[2]) {
      entries.push_back(entry);
    }
  }
  return entries;
}

}  // namespace

std::string TBiasFile::DefaultPath() {
  std::string config = EnvironmentValue("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') {
    const std::string home = EnvironmentValue("HOME");
    if (home.empty()) return {};
    config = home + "/.config";
  }
  return config + "/Kestrova/gyro-bias";
}

std::optional<TRate> TBiasFile::Load(const std::string& controller) {
  if (FPath.empty()) return std::nullopt;
  for (const TEntry& entry : ReadEntries(FPath)) {
    if (entry.Controller == controller) return entry.Bias;
  }
  return std::nullopt;
}

void TBiasFile::Save(const std::string& controller, const TRate& bias) {
  if (FPath.empty() || controller.find_first_of(" \t\n") != std::string::npos) return;
  std::vector<TEntry> entries = ReadEntries(FPath);
  std::erase_if(entries, [&](const TEntry& entry) { return entry.Controller == controller; });
  entries.push_back({controller, bias});
  if (entries.size() > MaxControllers) entries.erase(entries.begin());
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(FPath).parent_path(), error);
  const std::string temporary = FPath + ".new";
  {
    std::ofstream file(temporary, std::ios::trunc);
    for (const TEntry& entry : entries) {
      file << entry.Controller << ' ' << entry.Bias[0] << ' ' << entry.Bias[1] << ' '
           << entry.Bias[2] << '\n';
    }
    if (!file) return;
  }
  std::filesystem::rename(temporary, FPath, error);
}

}  // namespace kestrova
