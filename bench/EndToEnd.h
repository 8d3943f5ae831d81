#pragma once
// End-to-end latency against a bare mapper, measured from outside both processes.

#include <filesystem>
#include <string>
#include <vector>

struct TEndToEndRow {
  std::string Figure;
  std::string Value;
  std::string Goal;
  bool Met;
};

// Runs Kestrova (--wake interval, XTest output) and the bare mapper alternately on the same pad
// script at 10 ms and 1 ms, each timing the key events an XInput2 observer sees against the
// script's entries. Needs an X display with XTest and XInput2 (the bench runs under Xvfb).
std::vector<TEndToEndRow> EndToEndLatency(const std::string& kestrova, const std::string& bare,
                                          const std::filesystem::path& workDir);
