#include "platform/compositor/Hyprland.h"

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "platform/compositor/CompositorSocket.h"

namespace kestrova {

const char* const HyprlandSourceName = "Hyprland's event socket";

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr auto RequestTimeout = std::chrono::milliseconds(300);
constexpr std::size_t MaxAnswerBytes = 1u << 20;

std::string Text(const json& node, const char* key) {
  const auto found = node.find(key);
  return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The answer to "j/activewindow": {} when no window is active.
TActiveWindow WindowOfAnswer(const std::string& answer) {
  const json window = json::parse(answer, nullptr, false);
  if (window.is_discarded() || !window.is_object()) {
    throw std::runtime_error("Hyprland's answer is not a window: '" + answer.substr(0, 80) + "'");
  }
  TActiveWindow active;
  active.Source = HyprlandSourceName;
  active.Class = Text(window, "class");
  active.Instance = Text(window, "initialClass");
  if (active.Class.empty()) active.Class = active.Instance;
  if (active.Instance.empty()) active.Instance = active.Class;
  active.Found = !active.Class.empty();
  if (const auto pid = window.find("pid");
      active.Found && pid != window.end() && pid->is_number_integer() &&
      pid->get<std::int64_t>() > 0 && pid->get<std::int64_t>() <= 0x7fffffff) {
    active.Pid = static_cast<unsigned long>(pid->get<std::int64_t>());
    active.Executable = ExecutableOfProcess(active.Pid);
  }
  return active;
}

// One request on a connection of its own, as Hyprland's request socket takes them.
std::string Ask(const std::string& folder, const std::string& request,
                std::chrono::milliseconds timeout) {
  TUniqueFd socket = ConnectCompositorSocket(folder + "/.socket.sock");
  if (!WriteAllWithin(socket.Get(), request, timeout)) {
    throw std::runtime_error("cannot ask Hyprland at " + folder);
  }
  std::string answer;
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(socket.Get(), left)) {
      throw std::runtime_error("Hyprland did not answer within " + std::to_string(timeout.count()) +
                               " ms");
    }
    if (!ReadAvailable(socket.Get(), answer, MaxAnswerBytes) || answer.size() >= MaxAnswerBytes) {
      return answer;  // it closes the connection after its answer
    }
  }
}

bool HasEventSocket(const fs::path& folder) {
  std::error_code error;
  return fs::is_socket(folder / ".socket2.sock", error);
}

// The newest instance's folder beside folder (Hyprland restarted with a new signature), or "".
std::string NewestInstance(const fs::path& folder) {
  return NewestCompositorEntry(folder.parent_path(), [](const fs::path& entry) {
    return HasEventSocket(entry) ? std::optional(entry / ".socket2.sock") : std::nullopt;
  });
}

class THyprlandSource : public TActiveWindowSource {
 public:
  THyprlandSource(std::string folder, TActiveWindowHandlers handlers)
      : FFolder(std::move(folder)), FHandlers(std::move(handlers)) {
    Connect(FFolder);
  }

  int Fd() const override { return FSocket.Get(); }
  bool Reporting() const override { return FReporting; }

  // The first report: what is in front now. Made once the owner watches the socket.
  void ReportInFront(const std::optional<TActiveWindow>& fromEvent) {
    try {
      Report(WindowOfAnswer(Ask(FFolder, "j/activewindow", RequestTimeout)));
    } catch (const std::exception& error) {
      if (fromEvent) {
        Report(*fromEvent);  // the event's class, without the process
      } else {
        Note(std::string(error.what()));
      }
    }
  }

  void Dispatch() override {
    if (!FSocket.Valid()) return;
    const bool open = ReadAvailable(FSocket.Get(), FBuffer, MaxHyprlandLineBytes + 1);
    std::optional<TActiveWindow> last;
    for (std::size_t end; (end = FBuffer.find('\n')) != std::string::npos;) {
      Take(FBuffer.substr(0, end), last);
      FBuffer.erase(0, end + 1);
    }
    if (FBuffer.size() > MaxHyprlandLineBytes) {
      Note("Hyprland sent a line of more than " + std::to_string(MaxHyprlandLineBytes) +
           " bytes; it is passed over (and any more like it)");
      FBuffer.clear();
      FSkipping = true;  // the rest of that line, up to its end
    }
    if (last) ReportInFront(last);
    if (!open) Lose("Hyprland closed its event socket");
  }

  bool Reconnect() override {
    if (FSocket.Valid()) return false;
    for (const std::string& folder : {FFolder, NewestInstance(FFolder)}) {
      if (folder.empty()) continue;
      try {
        Connect(folder);
        FFolder = folder;
        ReportInFront(std::nullopt);
        return true;
      } catch (const ECompositorSocket&) {
      }
    }
    return false;
  }

 private:
  void Connect(const std::string& folder) {
    FSocket = ConnectCompositorSocket(folder + "/.socket2.sock");
    FBuffer.clear();
    FSkipping = false;
  }

  void Take(const std::string& line, std::optional<TActiveWindow>& last) {
    if (FSkipping) {
      FSkipping = false;
      return;
    }
    constexpr std::string_view event = "activewindow>>";
    if (!line.starts_with(event)) return;  // activewindowv2 and the rest: the class is here
    const std::string data = line.substr(event.size());
    TActiveWindow active;
    active.Source = HyprlandSourceName;
    active.Class = data.substr(0, data.find(','));
    active.Instance = active.Class;
    active.Found = !active.Class.empty();
    last = active;
  }

  void Report(const TActiveWindow& active) {
    FReporting = true;
    if (FHandlers.OnChanged) FHandlers.OnChanged(active);
  }

  void Lose(const std::string& why) {
    FSocket.Reset();
    FBuffer.clear();
    FReporting = false;
    if (FHandlers.OnLost) FHandlers.OnLost(why);
  }

  void Note(const std::string& note) {
    if (!FNoted.insert(note.substr(0, note.find(':'))).second) return;
    if (FHandlers.OnNote) FHandlers.OnNote(note);
  }

  std::string FFolder;
  TActiveWindowHandlers FHandlers;
  TUniqueFd FSocket;
  std::string FBuffer;
  bool FSkipping = false;
  bool FReporting = false;
  std::set<std::string> FNoted;
};

}  // namespace

std::string HyprlandSocketFolder(const std::string& runtimeDir, const std::string& signature) {
  if (signature.empty() || signature.find('/') != std::string::npos) return {};
  for (const fs::path& base : {fs::path(runtimeDir) / "hypr", fs::path("/tmp/hypr")}) {
    if (base.is_relative()) continue;
    if (HasEventSocket(base / signature)) return (base / signature).string();
  }
  return {};
}

std::unique_ptr<TActiveWindowSource> CreateHyprlandActiveWindowSource(
    const std::string& folder, TActiveWindowHandlers handlers) {
  auto source = std::make_unique<THyprlandSource>(folder, std::move(handlers));
  source->ReportInFront(std::nullopt);
  return source;
}

std::optional<TActiveWindow> ReadHyprlandActiveWindow(const std::string& folder,
                                                      std::chrono::milliseconds timeout) {
  if (folder.empty()) return std::nullopt;
  return WindowOfAnswer(Ask(folder, "j/activewindow", timeout));
}

}  // namespace kestrova
