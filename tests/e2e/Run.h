#pragma once
// Runs the built kestrova as a user would, capturing its output.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kestrova::testing {

struct TRun {
  int ExitCode = -1;
  long MaxRssKb = 0;  // the peak resident memory of the process
  std::string Out;
  std::string Err;
  std::chrono::milliseconds Elapsed{0};
};

// A running kestrova whose standard output and error go to files.
class TProcess {
 public:
  // Starts binary (the built kestrova by default) in workingDir (the current one by default).
  // stdoutPath: where standard output goes instead of the file dir/stdout (a FIFO of the test's).
  TProcess(const std::vector<std::string>& arguments, const std::filesystem::path& dir,
           const std::vector<std::string>& environment = {}, const std::string& binary = {},
           const std::string& workingDir = {}, const std::filesystem::path& stdoutPath = {})
      : FOut((std::filesystem::create_directories(dir),
              stdoutPath.empty() ? dir / "stdout" : stdoutPath)),
        FErr(dir / "stderr") {
    std::vector<std::string> argv = {binary.empty() ? std::string(KESTROVA_BINARY) : binary};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    // The given NAME=value entries replace the inherited ones.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('=') + 1);
      bool replaced = false;
      for (const auto& given : environment) replaced = replaced || given.starts_with(name);
      if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), environment.begin(), environment.end());
    // Each test's program has a runtime folder of its own, so that instances of parallel tests
    // never meet (unless the test gives one).
    bool runtimeGiven = false;
    for (const auto& given : environment) runtimeGiven |= given.starts_with("XDG_RUNTIME_DIR=");
    if (!runtimeGiven) {
      std::erase_if(env, [](const std::string& e) { return e.starts_with("XDG_RUNTIME_DIR="); });
      env.push_back("XDG_RUNTIME_DIR=" + dir.string());
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, FOut.c_str(),
                                     stdoutPath.empty() ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, FErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    FStart = std::chrono::steady_clock::now();
    if (posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) FPid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TProcess() {
    if (FPid > 0 && !FReaped) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
  }
  void Signal(int signal) { ::kill(FPid, signal); }
  pid_t Pid() const { return FPid; }
  // Voluntary context switches of all its threads so far: how often it slept and woke.
  long WakeUps() const {
    long total = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(FPid) + "/task", error)) {
      std::ifstream status(task.path() / "status");
      for (std::string line; std::getline(status, line);) {
        if (line.starts_with("voluntary_ctxt_switches:")) total += std::stol(line.substr(24));
      }
    }
    return total;
  }
  std::chrono::steady_clock::time_point Started() const { return FStart; }
  std::string Out() const { return ReadFile(FOut); }

  // A FIFO at path whose reader the caller holds and never reads, with the smallest pipe
  // buffer: standard output that stalls at once, like a terminal stopped with Ctrl-S.
  static int StalledOutput(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) return -1;
    const int reader = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (reader >= 0) ::fcntl(reader, F_SETPIPE_SZ, 4096);
    return reader;
  }

  // Waits up to timeout for the process to end; ExitCode -1 when it did not.
  TRun Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    TRun run;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (FPid > 0) {
      rusage usage{};
      const pid_t done = ::wait4(FPid, &status, WNOHANG, &usage);
      if (done == FPid) {
        FReaped = true;
        run.MaxRssKb = usage.ru_maxrss;
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - FStart);
    if (std::filesystem::is_regular_file(FOut)) run.Out = ReadFile(FOut);
    run.Err = ReadFile(FErr);
    return run;
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  std::filesystem::path FOut;
  std::filesystem::path FErr;
  pid_t FPid = -1;
  bool FReaped = false;
  std::chrono::steady_clock::time_point FStart;
};

}  // namespace kestrova::testing
