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

// Aiming with a stick beside the queue: a press while the left stick is held at full deflection
// as a mouse against a press with it at rest (1000 taps each, XInput2 observer, --wake interval
// at 10 ms); the moves a second against the reads a second, the distance against speed x time
// and a deflection worth 0.3 px a read (print output); the CPU while aiming and at rest.
std::vector<TEndToEndRow> AimingRows(const std::string& kestrova,
                                     const std::filesystem::path& workDir);
