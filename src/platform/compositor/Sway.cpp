#include "platform/compositor/Sway.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/compositor/CompositorSocket.h"

namespace kestrova {

const char* const SwaySourceName = "sway's IPC socket";

namespace {

using nlohmann::json;

constexpr char Magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t HeaderBytes = sizeof Magic + 8;
constexpr std::uint32_t Subscribe = 2;
constexpr std::uint32_t GetTree = 4;
constexpr std::uint32_t WindowEvent = 0x80000003u;
constexpr int MaxTreeDepth = 256;

std::string Message(std::uint32_t type, const std::string& payload) {
  std::string message(Magic, sizeof Magic);
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  return message + payload;
}

std::string Text(const json& node, const char* key) {
  const auto found = node.find(key);
  return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A container as the application in front: its application id, else its X11 class.
TActiveWindow WindowOf(const json& container) {
  TActiveWindow active;
  active.Source = SwaySourceName;
  if (!container.is_object()) return active;
  const std::string appId = Text(container, "app_id");
  std::string cls = appId;
  std::string instance = appId;
  if (const auto x11 = container.find("window_properties");
      x11 != container.end() && x11->is_object()) {
    if (cls.empty()) cls = Text(*x11, "class");
    if (instance.empty()) instance = Text(*x11, "instance");
  }
  active.Class = cls.empty() ? instance : cls;
  active.Instance = instance.empty() ? cls : instance;
  active.Found = !active.Class.empty();
  if (const auto pid = container.find("pid"); active.Found && pid != container.end() &&
                                              pid->is_number_unsigned() &&
                                              pid->get<std::uint64_t>() <= 0x7fffffff) {
    active.Pid = static_cast<unsigned long>(pid->get<std::uint64_t>());
    active.Executable = ExecutableOfProcess(active.Pid);
  }
  return active;
}

const json* FindFocused(const json& node, int depth) {
  if (!node.is_object() || depth > MaxTreeDepth) return nullptr;
  if (const auto focused = node.find("focused");
      focused != node.end() && focused->is_boolean() && focused->get<bool>()) {
    return &node;
  }
  for (const char* children : {"nodes", "floating_nodes"}) {
    const auto list = node.find(children);
    if (list == node.end() || !list->is_array()) continue;
    for (const json& child : *list) {
      if (const json* found = FindFocused(child, depth + 1)) return found;
    }
  }
  return nullptr;
}

// Splits the next complete message off the front of buffer; false while it is incomplete. Throws
// std::runtime_error for a message no compositor sends (no magic string, too large).
bool NextMessage(std::string& buffer, std::uint32_t& type, std::string& payload) {
  if (buffer.size() < HeaderBytes) return false;
  if (std::memcmp(buffer.data(), Magic, sizeof Magic) != 0) {
    throw std::runtime_error("sent a message without the IPC's magic string");
  }
  std::uint32_t length = 0;
  std::memcpy(&length, buffer.data() + sizeof Magic, 4);
  std::memcpy(&type, buffer.data() + sizeof Magic + 4, 4);
  if (length > MaxSwayMessageBytes) {
    throw std::runtime_error("sent a message of " + std::to_string(length) +
                             " bytes, more than any compositor sends");
  }
  if (buffer.size() < HeaderBytes + length) return false;
  payload = buffer.substr(HeaderBytes, length);
  buffer.erase(0, HeaderBytes + length);
  return true;
}

// The newest sway socket of this user in folder, or "".
std::string NewestSwaySocket(const std::filesystem::path& folder) {
  const std::string prefix = "sway-ipc." + std::to_string(::geteuid()) + ".";
  return NewestCompositorEntry(folder, [&prefix](const std::filesystem::path& entry) {
    const std::string name = entry.filename().string();
    return name.starts_with(prefix) && name.ends_with(".sock") ? std::optional(entry)
                                                               : std::nullopt;
  });
}

class TSwaySource : public TActiveWindowSource {
 public:
  TSwaySource(std::string path, TActiveWindowHandlers handlers)
      : FPath(std::move(path)), FHandlers(std::move(handlers)) {
    Connect(FPath);
  }

  int Fd() const override { return FSocket.Get(); }
  bool Reporting() const override { return FReporting; }

  void Dispatch() override {
    if (!FSocket.Valid()) return;
    const bool open = ReadAvailable(FSocket.Get(), FBuffer, HeaderBytes + MaxSwayMessageBytes);
    std::optional<TActiveWindow> last;
    try {
      std::uint32_t type = 0;
      std::string payload;
      while (NextMessage(FBuffer, type, payload)) Take(type, payload, last);
    } catch (const std::exception& error) {
      return Lose(std::string("sway ") + error.what());
    }
    if (last) Report(*last);
    if (!open) Lose("sway closed its IPC socket");
  }

  bool Reconnect() override {
    if (FSocket.Valid()) return false;
    for (const std::string& path :
         {FPath, NewestSwaySocket(std::filesystem::path(FPath).parent_path())}) {
      if (path.empty()) continue;
      try {
        Connect(path);
        FPath = path;
        return true;
      } catch (const ECompositorSocket&) {
      }
    }
    return false;
  }

 private:
  void Connect(const std::string& path) {
    TUniqueFd socket = ConnectCompositorSocket(path);
    if (!WriteAllWithin(socket.Get(), Message(Subscribe, "[\"window\"]"),
                        std::chrono::seconds(1)) ||
        !WriteAllWithin(socket.Get(), Message(GetTree, ""), std::chrono::seconds(1))) {
      throw ECompositorSocket("cannot ask sway at " + path);
    }
    FSocket = std::move(socket);
    FBuffer.clear();
  }

  void Take(std::uint32_t type, const std::string& payload, std::optional<TActiveWindow>& last) {
    json message = json::parse(payload, nullptr, false);
    if (message.is_discarded()) {
      Note("sway sent a message that is not JSON; it is passed over (and any more like it)");
      return;
    }
    if (type == Subscribe) {
      if (!message.is_object() || !message.value("success", false)) {
        throw std::runtime_error("refused to tell its window events");
      }
    } else if (type == GetTree) {
      const json* focused = FindFocused(message, 0);
      last = focused ? WindowOf(*focused) : WindowOf(json());
    } else if (type == WindowEvent && message.is_object() && Text(message, "change") == "focus") {
      last = WindowOf(message.value("container", json()));
    }
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
    if (FNoted) return;
    FNoted = true;
    if (FHandlers.OnNote) FHandlers.OnNote(note);
  }

  std::string FPath;
  TActiveWindowHandlers FHandlers;
  TUniqueFd FSocket;
  std::string FBuffer;
  bool FReporting = false;
  bool FNoted = false;
};

}  // namespace

TActiveWindow FocusedInSwayTree(const std::string& text) {
  const json tree = json::parse(text, nullptr, false);
  if (tree.is_discarded() || !tree.is_object()) throw std::runtime_error("sway's tree is no tree");
  const json* focused = FindFocused(tree, 0);
  return focused ? WindowOf(*focused) : WindowOf(json());
}

std::unique_ptr<TActiveWindowSource> CreateSwayActiveWindowSource(const std::string& path,
                                                                  TActiveWindowHandlers handlers) {
  return std::make_unique<TSwaySource>(path, std::move(handlers));
}

std::optional<TActiveWindow> ReadSwayActiveWindow(const std::string& path,
                                                  std::chrono::milliseconds timeout) {
  if (path.empty()) return std::nullopt;
  TUniqueFd socket = ConnectCompositorSocket(path);
  if (!WriteAllWithin(socket.Get(), Message(GetTree, ""), timeout)) {
    throw std::runtime_error("cannot ask sway at " + path);
  }
  std::string buffer;
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint32_t type = 0;
    std::string payload;
    if (NextMessage(buffer, type, payload)) {
      if (type == GetTree) return FocusedInSwayTree(payload);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(socket.Get(), left)) {
      throw std::runtime_error("sway did not tell the window in front within " +
                               std::to_string(timeout.count()) + " ms");
    }
    if (!ReadAvailable(socket.Get(), buffer, HeaderBytes + MaxSwayMessageBytes)) {
      if (NextMessage(buffer, type, payload) && type == GetTree) {
        return FocusedInSwayTree(payload);
      }
      throw std::runtime_error("sway closed its IPC socket without an answer");
    }
  }
}

}  // namespace kestrova
