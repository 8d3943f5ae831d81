#pragma once
// A joystick service whose controllers are set by the test: capabilities, position, and whether
// they answer at all. Thread-safe.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/JoyService.h"

namespace kestrova {

// A capability record with every axis on min..max and the given JOYCAPS_... bits.
JOYCAPSA MakeJoyCaps(std::uint32_t min, std::uint32_t max, std::uint32_t capsBits,
                     const char* name = "Scripted Controller", std::uint32_t buttons = 32);

class TScriptedJoyService : public TJoyService {
 public:
  TScriptedJoyService();

  std::uint32_t joyGetDevCapsA(std::uintptr_t uJoyID, JOYCAPSA* pjc, std::uint32_t cbjc) override;
  std::uint32_t joyGetPosEx(std::uint32_t uJoyID, JOYINFOEX* pji) override;

  // Controller 0 answers from the start with 0..65535 on six axes, a hat, 32 buttons, all at
  // rest (32767, centred, released); the others do not answer.
  void SetAnswering(int number, bool answering);
  void SetDevicePath(int number, std::string path);
  std::string DevicePath(std::uint32_t uJoyID) override;
  void SetCaps(int number, const JOYCAPSA& caps);
  void SetAxes(int number, std::array<std::uint32_t, 6> raw);
  void SetAxis(int number, int axis, std::uint32_t raw);
  void SetButtons(int number, std::uint32_t mask);
  void SetPov(int number, std::uint32_t pov);

  // A pad's sensor and touchpad samples, taken by the next TakePadSamples; what it has.
  void PushSample(int number, const TPadSample& sample);
  void SetFeatures(int number, const TPadFeatures& features);
  void TakePadSamples(std::uint32_t uJoyID, std::vector<TPadSample>& samples) override;
  TPadFeatures PadFeatures(std::uint32_t uJoyID) override;

  int PositionReads() const { return FPositionReads.load(); }
  int CapsQueries() const { return FCapsQueries.load(); }
  std::uint32_t LastPositionNumber() const { return FLastNumber.load(); }

 private:
  struct TController {
    bool Answering = false;
    JOYCAPSA Caps{};
    JOYINFOEX Position{};
    std::string DevicePath;
    std::vector<TPadSample> Samples;
    TPadFeatures Features;
  };
  TController& At(int number);

  mutable std::mutex FLock;
  std::array<TController, MaxJoysticks> FControllers;
  std::atomic<int> FPositionReads{0};
  std::atomic<int> FCapsQueries{0};
  std::atomic<std::uint32_t> FLastNumber{0};
};

}  // namespace kestrova
