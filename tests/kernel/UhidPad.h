#pragma once
// A DualShock 4 (the second model, 054c:09cc) made with /dev/uhid, so that the kernel's own driver
// and SDL's HIDAPI driver take it for a real pad: it answers their feature-report requests (the
// motion sensors' calibration, the version) and sends its full input report every 4 ms with the
// sticks, buttons, gyro, accelerometer and touchpad as the test sets them, with the pad's own
// timestamp and the report's checksum. It comes on Bluetooth: a device made in software has no
// USB device above it, and the HID library SDL uses leaves out USB devices without one (made as a
// USB pad it is one whose sensors SDL cannot read, as when its node cannot be opened). Units:
// the gyro at 16 a degree a second, the accelerometer at 8192 a g (its calibration says so).

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrova::testing {

class TUhidDs4 {
 public:
  static constexpr std::uint16_t Vendor = 0x054c;
  static constexpr std::uint16_t Product = 0x09cc;
  static constexpr int ReportMs = 4;

  // The buttons of the report's bytes 5..7, as bits of one word: the face buttons, the
  // shoulders and sticks, PS and the touchpad's click.
  enum TButton : std::uint32_t {
    Square = 1u << 4,
    Cross = 1u << 5,
    Circle = 1u << 6,
    Triangle = 1u << 7,
    L1 = 1u << 8,
    R1 = 1u << 9,
    Share = 1u << 12,
    Options = 1u << 13,
    PS = 1u << 16,
    TouchpadClick = 1u << 17,
  };

  explicit TUhidDs4(bool bluetooth = true) : FBluetooth(bluetooth) {
    FFd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (FFd < 0) return;
    uhid_event create{};
    create.type = UHID_CREATE2;
    std::strcpy(reinterpret_cast<char*>(create.u.create2.name), "Wireless Controller");
    std::strcpy(reinterpret_cast<char*>(create.u.create2.phys), "00:11:22:33:44:55");
    // Its Bluetooth address: the kernel's driver reads it from here.
    std::strcpy(reinterpret_cast<char*>(create.u.create2.uniq), "06:05:04:03:02:01");
    const std::vector<std::uint8_t> descriptor = Descriptor(bluetooth);
    create.u.create2.rd_size = static_cast<std::uint16_t>(descriptor.size());
    std::copy(descriptor.begin(), descriptor.end(), create.u.create2.rd_data);
    create.u.create2.bus = bluetooth ? 0x05 : 0x03;  // BUS_BLUETOOTH, BUS_USB
    create.u.create2.vendor = Vendor;
    create.u.create2.product = Product;
    // The kernel's driver adds 0x8000; SDL's mapping for this pad on evdev is keyed on 0x8111.
    create.u.create2.version = 0x0111;
    if (::write(FFd, &create, sizeof create) != sizeof create) {
      ::close(FFd);
      FFd = -1;
      return;
    }
    FAnswerer = std::thread([this] { Answer(); });
    FSender = std::thread([this] { Send(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the drivers bind
  }
  ~TUhidDs4() { Unplug(); }
  bool Ready() const { return FFd >= 0; }

  void Unplug() {
    if (FFd < 0) return;
    FStop = true;
    if (FSender.joinable()) FSender.join();
    uhid_event destroy{};
    destroy.type = UHID_DESTROY;
    (void)!::write(FFd, &destroy, sizeof destroy);
    if (FAnswerer.joinable()) FAnswerer.join();
    ::close(FFd);
    FFd = -1;
  }

  // Degrees a second about the pad's X (pitch), Y (yaw) and Z (roll), from the next report on.
  void SetGyro(double pitch, double yaw, double roll) {
    std::lock_guard lock(FLock);
    FGyro = {Raw(pitch * 16), Raw(yaw * 16), Raw(roll * 16)};
  }
  // In g, along X, Y and Z.
  void SetAccel(double x, double y, double z) {
    std::lock_guard lock(FLock);
    FAccel = {Raw(x * 8192), Raw(y * 8192), Raw(z * 8192)};
  }
  void SetButtons(std::uint32_t buttons) {
    std::lock_guard lock(FLock);
    FButtons = buttons;
  }
  // The first finger at x, y (0..1 of the touchpad), or lifted.
  void Touch(bool down, double x = 0, double y = 0) {
    std::lock_guard lock(FLock);
    FTouching = down;
    FTouchX = static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * 1919));
    FTouchY = static_cast<int>(std::lround(std::clamp(y, 0.0, 1.0) * 919));
    if (down) ++FTouchId;
  }
  // Holds the thread until count more reports have gone out.
  void WaitReports(int count) {
    const std::uint64_t until = FSent + static_cast<std::uint64_t>(count);
    while (FSent < until && !FStop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Whether the drivers asked for the calibration (both the kernel's and SDL's do).
  int CalibrationRequests() const { return FCalibrationRequests; }

 private:
  static std::int16_t Raw(double value) {
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
  }

  // The standard CRC-32 of a one-byte Bluetooth header and the data, as the pad appends it.
  static std::uint32_t Crc32(std::uint8_t header, const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    const auto add = [&crc](std::uint8_t byte) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    };
    add(header);
    for (std::size_t i = 0; i < size; ++i) add(data[i]);
    return ~crc;
  }
  static void Put32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
    for (int byte = 0; byte < 4; ++byte)
      data[at + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
  }

  // A gamepad with report 1 (sticks, hat, 14 buttons, a counter, the triggers), the full report
  // 0x11 (77 bytes: sensors and touchpad), output report 0x11, and the feature reports the
  // drivers ask for.
  // On USB, report 1 is the full one (63 bytes) and output report 5 sets the lights.
  static std::vector<std::uint8_t> Descriptor(bool bluetooth) {
    if (!bluetooth) {
      return {0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32,
              0x09, 0x35, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x09,
              0x39, 0x15, 0x00, 0x25, 0x07, 0x35, 0x00, 0x46, 0x3B, 0x01, 0x65, 0x14, 0x75, 0x04,
              0x95, 0x01, 0x81, 0x42, 0x65, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x0E, 0x15, 0x00,
              0x25, 0x01, 0x75, 0x01, 0x95, 0x0E, 0x81, 0x02, 0x06, 0x00, 0xFF, 0x09, 0x20, 0x75,
              0x06, 0x95, 0x01, 0x15, 0x00, 0x25, 0x7F, 0x81, 0x02, 0x05, 0x01, 0x09, 0x33, 0x09,
              0x34, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, 0x06, 0x00,
              0xFF, 0x09, 0x21, 0x95, 0x36, 0x81, 0x02, 0x85, 0x05, 0x09, 0x22, 0x95, 0x1F, 0x91,
              0x02, 0x85, 0x02, 0x09, 0x24, 0x95, 0x24, 0xB1, 0x02, 0x85, 0x81, 0x09, 0x26, 0x95,
              0x06, 0xB1, 0x02, 0x85, 0xA3, 0x09, 0x27, 0x95, 0x30, 0xB1, 0x02, 0xC0};
    }
    std::vector<std::uint8_t> d = {
        0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x85, 0x01,                    // pad, report 1
        0x09, 0x30, 0x09, 0x31, 0x09, 0x32, 0x09, 0x35,                    // X Y Z Rz
        0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02,  // a byte each
        0x09, 0x39, 0x15, 0x00, 0x25, 0x07, 0x35, 0x00, 0x46, 0x3B, 0x01,  // the hat
        0x65, 0x14, 0x75, 0x04, 0x95, 0x01, 0x81, 0x42, 0x65, 0x00,        //
        0x05, 0x09, 0x19, 0x01, 0x29, 0x0E, 0x15, 0x00, 0x25, 0x01,        // 14 buttons
        0x75, 0x01, 0x95, 0x0E, 0x81, 0x02,                                //
        0x06, 0x00, 0xFF, 0x09, 0x20, 0x75, 0x06, 0x95, 0x01, 0x15, 0x00,  // the counter
        0x25, 0x7F, 0x81, 0x02,                                            //
        0x05, 0x01, 0x09, 0x33, 0x09, 0x34, 0x15, 0x00, 0x26, 0xFF, 0x00,  // the triggers
        0x75, 0x08, 0x95, 0x02, 0x81, 0x02,                                //
        0x06, 0x00, 0xFF,                                                  // vendor:
        0x85, 0x11, 0x09, 0x21, 0x95, 0x4D, 0x81, 0x02,                    // full report
        0x85, 0x11, 0x09, 0x22, 0x95, 0x4D, 0x91, 0x02,                    // output
        0x85, 0x02, 0x09, 0x24, 0x95, 0x24, 0xB1, 0x02,                    // calibration
        0x85, 0x05, 0x09, 0x23, 0x95, 0x28, 0xB1, 0x02,                    // and on Bluetooth
        0x85, 0xA3, 0x09, 0x27, 0x95, 0x30, 0xB1, 0x02,                    // version
        0xC0};
    return d;
  }

  static void Put16(std::vector<std::uint8_t>& data, std::size_t at, int value) {
    data[at] = static_cast<std::uint8_t>(value & 0xFF);
    data[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  }

  // A feature report's answer; empty for one this pad does not have.
  std::vector<std::uint8_t> Feature(std::uint8_t id) {
    std::vector<std::uint8_t> data;
    switch (id) {
      case 0x02:    // no bias; 8640 counts for 540 degrees a second; 8192 a g
      case 0x05: {  // the same with a checksum, as it is asked on Bluetooth
        ++FCalibrationRequests;
        data.assign(id == 0x05 ? 41 : 37, 0);
        for (const std::size_t plus : {7u, 11u, 15u}) {
          Put16(data, plus, 8640);
          Put16(data, plus + 2, -8640);
        }
        Put16(data, 19, 540);
        Put16(data, 21, 540);
        for (const std::size_t axis : {23u, 27u, 31u}) {
          Put16(data, axis, 8192);
          Put16(data, axis + 2, -8192);
        }
        if (id == 0x05) {
          data[0] = id;
          Put32(data, 37, Crc32(0xA3, data.data(), 37));
        }
        break;
      }
      case 0x81:  // on USB: its address
        data = {0x81, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
        break;
      case 0xA3:
        data.assign(49, 0);
        data[0] = 0xA3;
        break;
      default:
        return {};
    }
    data[0] = id;
    return data;
  }

  void Answer() {
    while (!FStop || FFd >= 0) {
      pollfd fd{FFd, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) {
        if (FStop) return;
        continue;
      }
      uhid_event event{};
      if (::read(FFd, &event, sizeof event) <= 0) return;
      if (event.type == UHID_GET_REPORT) {
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        const std::vector<std::uint8_t> data = Feature(event.u.get_report.rnum);
        reply.u.get_report_reply.err = data.empty() ? 5 : 0;  // EIO
        reply.u.get_report_reply.size = static_cast<std::uint16_t>(data.size());
        std::copy(data.begin(), data.end(), reply.u.get_report_reply.data);
        (void)!::write(FFd, &reply, sizeof reply);
      } else if (event.type == UHID_SET_REPORT) {
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        (void)!::write(FFd, &reply, sizeof reply);
      }
      if (event.type == UHID_STOP && FStop) return;
    }
  }

  void Send() {
    auto next = std::chrono::steady_clock::now();
    std::uint16_t timestamp = 0;
    std::uint8_t counter = 0;
    while (!FStop) {
      next += std::chrono::milliseconds(ReportMs);
      std::this_thread::sleep_until(next);
      // The full report: 0x11, two bytes of flags (HID data present), then the state.
      std::vector<std::uint8_t> report(78, 0);
      {
        std::lock_guard lock(FLock);
        report[0] = 0x11;
        report[1] = 0xC0;
        const std::size_t at = 2;  // the state's bytes count from 1 after this
        report[at + 1] = report[at + 2] = report[at + 3] = report[at + 4] = 0x80;  // sticks
        report[at + 5] = static_cast<std::uint8_t>(0x08 | (FButtons & 0xF0));      // hat: none
        report[at + 6] = static_cast<std::uint8_t>(FButtons >> 8);
        report[at + 7] = static_cast<std::uint8_t>(((FButtons >> 16) & 0x03) | (counter << 2));
        Put16(report, at + 10, timestamp);
        for (int axis = 0; axis < 3; ++axis) {
          Put16(report, at + 13 + 2 * static_cast<std::size_t>(axis), FGyro[axis]);
          Put16(report, at + 19 + 2 * static_cast<std::size_t>(axis), FAccel[axis]);
        }
        report[at + 30] = 0x1B;  // battery, charging
        // The first finger: bit 7 set while none touches, then 12 bits of x and of y.
        report[at + 35] = static_cast<std::uint8_t>((FTouching ? 0x00 : 0x80) | (FTouchId & 0x7F));
        report[at + 36] = static_cast<std::uint8_t>(FTouchX & 0xFF);
        report[at + 37] =
            static_cast<std::uint8_t>(((FTouchX >> 8) & 0x0F) | ((FTouchY & 0x0F) << 4));
        report[at + 38] = static_cast<std::uint8_t>(FTouchY >> 4);
        report[at + 39] = 0x80;  // no second finger
        Put32(report, 74, Crc32(0xA1, report.data(), 74));
        if (!FBluetooth) {  // on USB: report 1, the state right after the id, no checksum
          report.erase(report.begin() + 1, report.begin() + 3);
          report.resize(64);
          report[0] = 0x01;
          std::fill(report.begin() + 31, report.begin() + 35, 0);  // a pad is connected
        }
      }
      uhid_event input{};
      input.type = UHID_INPUT2;
      input.u.input2.size = static_cast<std::uint16_t>(report.size());
      std::copy(report.begin(), report.end(), input.u.input2.data);
      if (::write(FFd, &input, sizeof input) < 0) return;
      timestamp = static_cast<std::uint16_t>(timestamp + 750);  // 4 ms in units of 16/3 us
      counter = static_cast<std::uint8_t>((counter + 1) & 0x3F);
      ++FSent;
    }
  }

  bool FBluetooth;
  int FFd = -1;
  std::atomic<bool> FStop{false};
  std::atomic<std::uint64_t> FSent{0};
  std::atomic<int> FCalibrationRequests{0};
  std::mutex FLock;  // guards what the next report says
  std::array<std::int16_t, 3> FGyro{};
  std::array<std::int16_t, 3> FAccel{0, 8192, 0};
  std::uint32_t FButtons = 0;
  bool FTouching = false;
  int FTouchX = 0;
  int FTouchY = 0;
  std::uint8_t FTouchId = 0;
  std::thread FAnswerer;
  std::thread FSender;
};

}  // namespace kestrova::testing
