#include "ScriptedJoyService.h"

#include <cstring>
#include <stdexcept>

namespace kestrova {

JOYCAPSA MakeJoyCaps(std::uint32_t min, std::uint32_t max, std::uint32_t capsBits, const char* name,
                     std::uint32_t buttons) {
  JOYCAPSA caps{};
  std::strncpy(caps.szPname, name, sizeof caps.szPname - 1);
  caps.wXmin = caps.wYmin = caps.wZmin = caps.wRmin = caps.wUmin = caps.wVmin = min;
  caps.wXmax = caps.wYmax = caps.wZmax = caps.wRmax = caps.wUmax = caps.wVmax = max;
  caps.wNumButtons = caps.wMaxButtons = buttons;
  caps.wCaps = capsBits;
  caps.wMaxAxes = 6;
  caps.wNumAxes = 2 + ((capsBits & JOYCAPS_HASZ) ? 1 : 0) + ((capsBits & JOYCAPS_HASR) ? 1 : 0) +
                  ((capsBits & JOYCAPS_HASU) ? 1 : 0) + ((capsBits & JOYCAPS_HASV) ? 1 : 0);
  return caps;
}

TScriptedJoyService::TScriptedJoyService() {
  auto& first = FControllers[0];
  first.Answering = true;
  first.Caps = MakeJoyCaps(
      0, 65535, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV | JOYCAPS_HASPOV);
  for (auto& controller : FControllers) {
    auto& p = controller.Position;
    p.dwXpos = p.dwYpos = p.dwZpos = p.dwRpos = p.dwUpos = p.dwVpos = 32767;
    p.dwPOV = JOY_POVCENTERED;
  }
}

TScriptedJoyService::TController& TScriptedJoyService::At(int number) {
  if (number < 0 || number >= MaxJoysticks) throw std::out_of_range("controller number");
  return FControllers[number];
}

std::uint32_t TScriptedJoyService::joyGetDevCapsA(std::uintptr_t uJoyID, JOYCAPSA* pjc,
                                                  std::uint32_t cbjc) {
  ++FCapsQueries;
  std::lock_guard lock(FLock);
  if (uJoyID >= MaxJoysticks || pjc == nullptr || cbjc < sizeof(JOYCAPSA)) return JOYERR_PARMS;
  const auto& controller = FControllers[uJoyID];
  if (!controller.Answering) return JOYERR_PARMS;
  *pjc = controller.Caps;
  return JOYERR_NOERROR;
}

std::uint32_t TScriptedJoyService::joyGetPosEx(std::uint32_t uJoyID, JOYINFOEX* pji) {
  ++FPositionReads;
  FLastNumber = uJoyID;
  std::lock_guard lock(FLock);
  if (uJoyID >= MaxJoysticks || pji == nullptr) return JOYERR_PARMS;
  const auto& controller = FControllers[uJoyID];
  if (!controller.Answering) return JOYERR_UNPLUGGED;
  const auto size = pji->dwSize;
  const auto flags = pji->dwFlags;
  *pji = controller.Position;
  pji->dwSize = size;
  pji->dwFlags = flags;
  return JOYERR_NOERROR;
}

void TScriptedJoyService::SetAnswering(int number, bool answering) {
  std::lock_guard lock(FLock);
  At(number).Answering = answering;
}

void TScriptedJoyService::SetCaps(int number, const JOYCAPSA& caps) {
  std::lock_guard lock(FLock);
  At(number).Caps = caps;
}

void TScriptedJoyService::SetAxes(int number, std::array<std::uint32_t, 6> raw) {
  std::lock_guard lock(FLock);
  auto& p = At(number).Position;
  p.dwXpos = raw[0];
  p.dwYpos = raw[1];
  p.dwZpos = raw[2];
  p.dwRpos = raw[3];
  p.dwUpos = raw[4];
  p.dwVpos = raw[5];
}

void TScriptedJoyService::SetAxis(int number, int axis, std::uint32_t raw) {
  std::lock_guard lock(FLock);
  auto& p = At(number).Position;
  std::uint32_t* fields[] = {&p.dwXpos, &p.dwYpos, &p.dwZpos, &p.dwRpos, &p.dwUpos, &p.dwVpos};
  *fields[axis] = raw;
}

void TScriptedJoyService::SetButtons(int number, std::uint32_t mask) {
  std::lock_guard lock(FLock);
  At(number).Position.dwButtons = mask;
}

void TScriptedJoyService::SetPov(int number, std::uint32_t pov) {
  std::lock_guard lock(FLock);
  At(number).Position.dwPOV = pov;
}

void TScriptedJoyService::SetDevicePath(int number, std::string path) {
  std::lock_guard lock(FLock);
  At(number).DevicePath = std::move(path);
}

std::string TScriptedJoyService::DevicePath(std::uint32_t uJoyID) {
  std::lock_guard lock(FLock);
  if (uJoyID >= MaxJoysticks || !FControllers[uJoyID].Answering) return {};
  return FControllers[uJoyID].DevicePath;
}

void TScriptedJoyService::PushSample(int number, const TPadSample& sample) {
  std::lock_guard lock(FLock);
  At(number).Samples.push_back(sample);
}

void TScriptedJoyService::SetFeatures(int number, const TPadFeatures& features) {
  std::lock_guard lock(FLock);
  At(number).Features = features;
}

void TScriptedJoyService::TakePadSamples(std::uint32_t uJoyID, std::vector<TPadSample>& samples) {
  samples.clear();
  if (uJoyID >= MaxJoysticks) return;
  std::lock_guard lock(FLock);
  samples.swap(At(static_cast<int>(uJoyID)).Samples);
}

TPadFeatures TScriptedJoyService::PadFeatures(std::uint32_t uJoyID) {
  if (uJoyID >= MaxJoysticks) return {};
  std::lock_guard lock(FLock);
  return At(static_cast<int>(uJoyID)).Features;
}

}  // namespace kestrova
