// A real pad's motion sensors on a real kernel, inside QEMU: a DualShock 4 made with /dev/uhid,
// which the kernel's driver and SDL's HIDAPI driver read as the real one; Kestrova aims with its
// gyro and touchpad through the uinput pointer, which the test reads back. Skips itself outside
// such a guest (no writable /dev/uhid).

#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>
#include <thread>

#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "e2e/Run.h"
#include "kernel/UhidPad.h"
#include "mapping/Profile.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// The event node whose name is name, or ends with it when suffix.
std::string NodeOf(const std::string& name, bool suffix = false) {
  DIR* dir = ::opendir("/dev/input");
  if (dir == nullptr) return {};
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, "event", 5) != 0) continue;
    const std::string node = std::string("/dev/input/") + entry->d_name;
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    char text[256] = {};
    if (fd >= 0 && ::ioctl(fd, EVIOCGNAME(sizeof text - 1), text) >= 0 &&
        (suffix ? std::string_view(text).ends_with(name) : name == text)) {
      found = node;
    }
    if (fd >= 0) ::close(fd);
  }
  ::closedir(dir);
  return found;
}

// Sums what an input device reports: relative motion, and the keys that went down.
class TEventReader {
 public:
  explicit TEventReader(const std::string& node)
      : FFd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~TEventReader() {
    if (FFd >= 0) ::close(FFd);
  }
  bool Ready() const { return FFd >= 0; }
  struct TSum {
    int X = 0;
    int Y = 0;
    int Moves = 0;
    std::vector<int> KeysDown;
  };
  TSum Collect(std::chrono::milliseconds duration) {
    TSum sum;
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
      pollfd fd{FFd, POLLIN, 0};
      if (::poll(&fd, 1, 10) <= 0) continue;
      input_event event{};
      while (::read(FFd, &event, sizeof event) == sizeof event) {
        if (event.type == EV_REL && event.code == REL_X) sum.X += event.value;
        if (event.type == EV_REL && event.code == REL_Y) sum.Y += event.value;
        if (event.type == EV_REL) ++sum.Moves;
        if (event.type == EV_KEY && event.value == 1) sum.KeysDown.push_back(event.code);
      }
    }
    return sum;
  }

 private:
  int FFd;
};

class KernelPadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/uhid", W_OK) != 0) GTEST_SKIP() << "no /dev/uhid: not in the guest";
    ASSERT_TRUE(Pad.Ready());
  }
  // A profile with the gyro (and the touchpad) as a mouse and the touchpad's click typing c.
  std::string Profile(const std::string& gyroLine) {
    TSlotTable table;
    table[106] = {"KEY DOWN c"};
    table[107] = {"KEY UP c"};
    // The motion section ends the file: the gyro's line joins it as written.
    TMotionSettings motion;
    motion[TMotionSource::Touchpad].Mode = TMotionMode::Mouse;
    const std::string text = FormatProfile(table, DefaultTolerances, motion) + gyroLine + "\r\n";
    const std::string path = (Temp.Path() / "pad.kpf").string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // Kestrova with that profile on the uinput output; its pointer and keyboard, once there.
  void Start(const std::string& gyroLine) {
    Kestrova = std::make_unique<TProcess>(
        std::vector<std::string>{"--headless", "--output", "uinput", Profile(gyroLine)},
        Temp.Path() / "kestrova");
    std::string pointer;
    std::string keyboard;
    ASSERT_TRUE(WaitUntil(
        [&] {
          pointer = NodeOf("Kestrova Virtual Pointer");
          keyboard = NodeOf("Kestrova Virtual Keyboard");
          return !pointer.empty() && !keyboard.empty();
        },
        20s));
    Pointer = std::make_unique<TEventReader>(pointer);
    Keyboard = std::make_unique<TEventReader>(keyboard);
    std::this_thread::sleep_for(1500ms);  // opened, and a still second to take the bias
    Pointer->Collect(100ms);
  }
  void Stop() {
    Kestrova->Signal(SIGTERM);
    Run = Kestrova->Wait(20s);
    WaitUntil([] { return NodeOf("Kestrova Virtual Pointer").empty(); }, 10s);
  }
  // The pad turns at these rates for reports reports, then lies still; what the pointer did.
  TEventReader::TSum Turn(double pitch, double yaw, int reports, std::uint32_t buttons = 0) {
    std::thread turner([&] {
      Pad.SetButtons(buttons);
      Pad.SetGyro(pitch, yaw, 0);
      Pad.WaitReports(reports);
      Pad.SetGyro(0, 0, 0);
      Pad.SetButtons(0);
    });
    const auto sum = Pointer->Collect(std::chrono::milliseconds(reports * 4 + 600));
    turner.join();
    return sum;
  }

  TTempDir Temp{"kestrova-pad"};
  TUhidDs4 Pad;
  std::unique_ptr<TProcess> Kestrova;
  std::unique_ptr<TEventReader> Pointer;
  std::unique_ptr<TEventReader> Keyboard;
  TRun Run;
};

// Listed as a pad with a gyro; a turn of known rate and length moves the pointer across by the
// distance it should (within 5 %), the far edge up moves it up; the touchpad's swipe moves it, its
// click runs its lists; unplugged while aiming, the pointer stops at once.
TEST_F(KernelPadTest, TheGyroAndTouchpadOfADualShock4Aim) {
  TProcess list({"--list-controllers"}, Temp.Path() / "list");
  const TRun listed = list.Wait(30s);
  EXPECT_THAT(listed.Out, HasSubstr("pad layout)"));
  EXPECT_GE(Pad.CalibrationRequests(), 1);  // the drivers asked for the sensors' calibration

  Start("Gyro Mouse sens=10 smooth=0");
  const auto right = Turn(0, -90, 250);  // a quarter turn right in one second: 900 px
  EXPECT_NEAR(right.X, 900, 45);
  EXPECT_NEAR(right.Y, 0, 5);
  const auto up = Turn(45, 0, 250);  // the far edge up, 45 degrees: 450 px up
  EXPECT_NEAR(up.Y, -450, 23);
  EXPECT_NEAR(up.X, 0, 5);

  // A swipe of two tenths of the touchpad at 1000 px across it.
  std::thread swipe([this] {
    Pad.Touch(true, 0.1, 0.5);
    Pad.WaitReports(5);
    for (int step = 1; step <= 10; ++step) {
      Pad.Touch(true, 0.1 + step * 0.02, 0.5);
      Pad.WaitReports(3);
    }
    Pad.Touch(false);
  });
  const auto swiped = Pointer->Collect(800ms);
  swipe.join();
  EXPECT_NEAR(swiped.X, 200, 10);

  Pad.SetButtons(TUhidDs4::TouchpadClick);
  Pad.WaitReports(20);
  Pad.SetButtons(0);
  EXPECT_THAT(Keyboard->Collect(500ms).KeysDown, ::testing::ElementsAre(KEY_C));

  // Unplugged while it turns: nothing more moves.
  std::thread turner([this] {
    Pad.SetGyro(0, -90, 0);
    Pad.WaitReports(50);
    Pad.Unplug();
  });
  Pointer->Collect(400ms);
  turner.join();
  EXPECT_EQ(Pointer->Collect(500ms).Moves, 0);
  Stop();
  EXPECT_THAT(Run.Err, HasSubstr("has a gyro and a touchpad"));
}

// The gate: with gate=while button=5 the gyro moves the pointer only while L1 is held; and a pad
// lying still with a bias does not drift once it has lain still for a second.
TEST_F(KernelPadTest, TheGateAndTheBias) {
  Start("Gyro Mouse sens=10 smooth=0 gate=while button=5");
  EXPECT_EQ(Turn(0, -90, 125).X, 0);
  EXPECT_NEAR(Turn(0, -90, 125, TUhidDs4::L1).X, 450, 23);

  Pad.SetButtons(TUhidDs4::L1);
  Pad.SetGyro(0, 2, 0);  // lying still, the gyro reads 2 degrees a second
  Pointer->Collect(1800ms);
  const auto still = Pointer->Collect(1000ms);
  EXPECT_LE(std::abs(still.X), 2);
  Pad.SetButtons(0);
  Stop();
}

// A pad whose sensors SDL cannot read (here: on USB, through its evdev node alone): one status
// line says so and what to do, and its buttons work all the same.
TEST(KernelPadSensors, UnreadableSensorsAreSaidOnceAndButtonsStillWork) {
  if (::access("/dev/uhid", W_OK) != 0) GTEST_SKIP() << "no /dev/uhid: not in the guest";
  TTempDir temp{"kestrova-pad-usb"};
  TUhidDs4 pad(false);
  ASSERT_TRUE(pad.Ready());
  TSlotTable table;
  table[26] = {"KEY DOWN a"};
  table[27] = {"KEY UP a"};
  const std::string profile = (temp.Path() / "usb.kpf").string();
  std::ofstream(profile, std::ios::binary) << FormatProfile(table, DefaultTolerances);
  TProcess kestrova({"--headless", "--output", "print", profile}, temp.Path() / "usb");
  std::this_thread::sleep_for(2s);
  pad.SetButtons(TUhidDs4::Cross);
  pad.WaitReports(25);
  pad.SetButtons(0);
  pad.WaitReports(25);
  std::this_thread::sleep_for(300ms);
  kestrova.Signal(SIGTERM);
  const TRun run = kestrova.Wait(20s);
  EXPECT_THAT(run.Out, HasSubstr("key 0x41 (A) down"));
  const auto told = run.Err.find("has motion sensors Kestrova cannot read");
  ASSERT_NE(told, std::string::npos) << run.Err;
  EXPECT_THAT(run.Err, HasSubstr("61-kestrova-hidraw.rules"));
  EXPECT_EQ(run.Err.find("has motion sensors Kestrova cannot read", told + 1), std::string::npos);
}

// An event node read with the kernel's monotonic timestamps.
class TTimedNode {
 public:
  explicit TTimedNode(const std::string& node)
      : FFd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    int clock = CLOCK_MONOTONIC;
    if (FFd >= 0) ::ioctl(FFd, EVIOCSCLOCKID, &clock);
  }
  ~TTimedNode() {
    if (FFd >= 0) ::close(FFd);
  }
  bool Ready() const { return FFd >= 0; }
  void Drain() {
    input_event event{};
    while (::read(FFd, &event, sizeof event) == sizeof event) {
    }
  }
  // The kernel's time, in seconds, of the first event of this type (and, for EV_ABS, one of the
  // gyro's three axes) within timeout; NaN when none comes.
  double First(int type, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      pollfd fd{FFd, POLLIN, 0};
      if (::poll(&fd, 1, 10) <= 0) continue;
      input_event event{};
      while (::read(FFd, &event, sizeof event) == sizeof event) {
        const bool gyro = event.code == ABS_RX || event.code == ABS_RY || event.code == ABS_RZ;
        if (event.type == type && (type != EV_ABS || gyro)) {
          return event.input_event_sec + event.input_event_usec / 1e6;
        }
      }
    }
    return std::nan("");
  }

 private:
  int FFd;
};

// The least a gyro mapper does on this kernel, for comparison: it reads the pad's motion node
// (the kernel's driver decodes the gyro there) and moves a uinput pointer of its own by the yaw,
// for as long as it lives.
class TReferenceGyroMapper {
 public:
  explicit TReferenceGyroMapper(const std::string& motionNode)
      : FMotion(::open(motionNode.c_str(), O_RDONLY | O_CLOEXEC)),
        FPointer(::open("/dev/uinput", O_WRONLY | O_CLOEXEC)) {
    ::ioctl(FPointer, UI_SET_EVBIT, EV_REL);
    ::ioctl(FPointer, UI_SET_RELBIT, REL_X);
    ::ioctl(FPointer, UI_SET_RELBIT, REL_Y);
    ::ioctl(FPointer, UI_SET_EVBIT, EV_KEY);
    ::ioctl(FPointer, UI_SET_KEYBIT, BTN_LEFT);
    uinput_user_dev device{};
    std::strcpy(device.name, "Reference Pointer");
    device.id = {BUS_VIRTUAL, 1, 2, 1};
    (void)!::write(FPointer, &device, sizeof device);
    ::ioctl(FPointer, UI_DEV_CREATE);
    FThread = std::thread([this] {
      input_event event{};
      while (!FStop) {
        pollfd fd{FMotion, POLLIN, 0};
        if (::poll(&fd, 1, 50) <= 0 || ::read(FMotion, &event, sizeof event) != sizeof event) {
          continue;
        }
        if (event.type != EV_ABS || event.code != ABS_RY || event.value == 0) continue;
        input_event out[2] = {};
        out[0].type = EV_REL;
        out[0].code = REL_X;
        out[0].value = event.value > 0 ? -1 : 1;
        out[1].type = EV_SYN;
        (void)!::write(FPointer, out, sizeof out);
      }
    });
  }
  ~TReferenceGyroMapper() {
    FStop = true;
    FThread.join();
    ::ioctl(FPointer, UI_DEV_DESTROY);
    ::close(FPointer);
    ::close(FMotion);
  }

 private:
  int FMotion;
  int FPointer;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// For make bench: from the gyro's report (as the kernel stamped it on the pad's motion node) to
// the pointer's first move (as the kernel stamped it), for Kestrova and the reference mapper in
// the same boot. Prints "figure|value|unit|goal|met" rows.
TEST_F(KernelPadTest, DISABLED_GyroLatencyAgainstAReferenceMapper) {
  const int turns = 100;
  const std::string motionNode = NodeOf(" Motion Sensors", true);
  ASSERT_FALSE(motionNode.empty());
  const auto measure = [&](const std::string& pointerName) {
    std::string pointerNode;
    WaitUntil([&] { return !(pointerNode = NodeOf(pointerName)).empty(); }, 20s);
    TTimedNode motion(motionNode);
    TTimedNode pointer(pointerNode);
    std::vector<double> latencies;
    for (int i = 0; i < turns && motion.Ready() && pointer.Ready(); ++i) {
      Pad.SetGyro(0, 0, 0);
      Pad.WaitReports(40 + i % 7);
      motion.Drain();
      pointer.Drain();
      Pad.SetGyro(0, i % 2 == 0 ? -90 : 90, 0);
      const double reported = motion.First(EV_ABS, 1000ms);
      const double moved = pointer.First(EV_REL, 1000ms);
      if (std::isfinite(reported) && std::isfinite(moved)) {
        latencies.push_back((moved - reported) * 1000.0);
      }
    }
    Pad.SetGyro(0, 0, 0);
    std::sort(latencies.begin(), latencies.end());
    return latencies;
  };
  Start("Gyro Mouse sens=10 smooth=0");
  const std::vector<double> ours = measure("Kestrova Virtual Pointer");
  Stop();
  std::vector<double> theirs;
  {
    TReferenceGyroMapper reference(motionNode);
    theirs = measure("Reference Pointer");
  }
  ASSERT_EQ(ours.size(), static_cast<std::size_t>(turns));
  ASSERT_EQ(theirs.size(), static_cast<std::size_t>(turns));
  const double p50 = ours[ours.size() / 2];
  const double reference = theirs[theirs.size() / 2];
  std::printf("kernel: gyro report to pointer, Kestrova, p50|%.3f|ms||1\n", p50);
  std::printf("kernel: gyro report to pointer, Kestrova, p99|%.3f|ms||1\n",
              ours[ours.size() * 99 / 100]);
  std::printf("kernel: gyro report to pointer, reference mapper, p50|%.3f|ms||1\n", reference);
  std::printf("kernel: gyro, Kestrova / reference mapper, p50|%.2f|x||1\n", p50 / reference);
}

}  // namespace
}  // namespace kestrova::testing
