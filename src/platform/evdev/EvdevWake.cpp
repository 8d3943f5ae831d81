#include "EvdevWake.h"

#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>

namespace kestrova {

namespace {

class TEvdevWake : public TWakeSource {
 public:
  explicit TEvdevWake(TJoyService& service) : FService(service) {
    FInotify.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (FInotify.Valid() &&
        ::inotify_add_watch(FInotify.Get(), "/dev/input", IN_CREATE | IN_ATTRIB | IN_DELETE) < 0) {
      FInotify.Reset();
    }
    FUdev = udev_new();
    if (FUdev != nullptr) FMonitor = udev_monitor_new_from_netlink(FUdev, "udev");
    if (FMonitor != nullptr &&
        (udev_monitor_filter_add_match_subsystem_devtype(FMonitor, "input", nullptr) < 0 ||
         udev_monitor_enable_receiving(FMonitor) < 0)) {
      udev_monitor_unref(FMonitor);
      FMonitor = nullptr;
    }
  }
  ~TEvdevWake() override {
    CloseNode();
    if (FMonitor != nullptr) udev_monitor_unref(FMonitor);
    if (FUdev != nullptr) udev_unref(FUdev);
  }

  bool Wait(std::uint32_t uJoyID, int interruptFd, std::uint32_t fallbackMs,
            bool connected) override {
    Follow(FService.DevicePath(uJoyID));
    pollfd fds[4] = {{interruptFd, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    if (FMonitor != nullptr) fds[1].fd = udev_monitor_get_fd(FMonitor);
    fds[2].fd = FNodeFd;
    fds[3].fd = FInotify.Get();
    // With a node there is nothing to wait for but input: no timeout, no wake-ups while idle.
    // Nothing plugged in: nothing to wait for but a device appearing, where that can be seen.
    const bool seesDevices = FMonitor != nullptr || FInotify.Valid();
    const bool grace = std::chrono::steady_clock::now() < FGraceUntil;
    int timeout = static_cast<int>(fallbackMs);
    if (FNodeFd >= 0 || (!connected && seesDevices && !grace)) timeout = -1;
    int ready = 0;
    do {
      ready = ::poll(fds, 4, timeout);
    } while (ready < 0 && errno == EINTR);
    if (fds[0].revents & POLLIN) return false;
    bool appeared = false;
    if (fds[1].revents & POLLIN) {
      if (udev_device* device = udev_monitor_receive_device(FMonitor)) udev_device_unref(device);
      appeared = true;
    }
    if (fds[3].revents & POLLIN) {
      char events[4096];
      while (::read(FInotify.Get(), events, sizeof events) > 0) {
      }
      appeared = true;
    }
    if (appeared) {
      FRefused.clear();  // a node that failed may work once devices changed
      // The joystick library sees a new device a moment after udev or the folder tells: read
      // at the interval for a while before sleeping again.
      FGraceUntil = std::chrono::steady_clock::now() + GracePeriod;
    }
    if (fds[2].revents) Drain();
    return true;
  }

  std::string Node() const override {
    std::lock_guard lock(FLock);
    return FNodeFd >= 0 ? FNode : std::string();
  }

 private:
  // Opens the node of the controller when it changed; keeps none while it has none, or while
  // its node failed (until udev tells of a change).
  void Follow(const std::string& path) {
    if (path == FNode && (FNodeFd >= 0 || path.empty())) return;
    if (path == FRefused) return;
    CloseNode();
    std::lock_guard lock(FLock);
    FNode = path;
    if (!path.empty()) FNodeFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (FNodeFd < 0) FRefused = path;
  }

  // Reads what the node has (the joystick service reads its own copy); a node that fails or
  // hangs up is given up, and the next pass finds the controller gone or answering as it is.
  void Drain() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(FNodeFd, buffer, sizeof buffer);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      FRefused = FNode;  // gone (ENODEV), or at its end
      CloseNode();
      return;
    }
  }

  void CloseNode() {
    std::lock_guard lock(FLock);
    if (FNodeFd >= 0) ::close(FNodeFd);
    FNodeFd = -1;
  }

  static constexpr std::chrono::seconds GracePeriod{2};

  TJoyService& FService;
  // /dev/input watched for nodes that come and go, where udevd does not run (containers).
  TUniqueFd FInotify;
  std::chrono::steady_clock::time_point FGraceUntil;  // poll thread
  udev* FUdev = nullptr;
  udev_monitor* FMonitor = nullptr;
  mutable std::mutex FLock;  // guards FNode and FNodeFd against Node()
  std::string FNode;
  int FNodeFd = -1;
  std::string FRefused;  // poll thread
};

}  // namespace

std::unique_ptr<TWakeSource> CreateEvdevWakeSource(TJoyService& service) {
  return std::make_unique<TEvdevWake>(service);
}

}  // namespace kestrova
