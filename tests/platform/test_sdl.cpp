// The SDL2 service against SDL's virtual joysticks: no display and no device needed.

#include <gmock/gmock.h>

#include <chrono>
#include <functional>
#include <thread>

#include <SDL.h>
#include "common/WaitUntil.h"
#include "exec/Mapper.h"
#include "fakes/RecordingInjector.h"
#include "joystick/JoystickFixture.h"

#include "platform/sdl/SdlJoyService.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

class SdlTest : public ::testing::Test {
 protected:
  std::unique_ptr<TJoyService> Service = CreateSdlJoyService();

  // The controller number of the device with that name, or -1.
  int NumberOf(const std::string& name) {
    for (const auto& controller : ListControllers(*Service)) {
      if (controller.Name == name) return controller.JoystickID - 1;
    }
    return -1;
  }
  static TVirtualControllerDesc Named(const std::string& name, bool pad = false) {
    TVirtualControllerDesc desc;
    desc.Name = name;
    desc.GameController = pad;
    return desc;
  }
  JOYINFOEX Read(int number, std::uint32_t* result = nullptr) {
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    const std::uint32_t code = Service->joyGetPosEx(number, &info);
    if (result) *result = code;
    return info;
  }
};

TEST_F(SdlTest, PlainJoystickInSdlOrder) {
  TVirtualControllerDesc desc;
  desc.Name = "Test Stick";
  auto stick = AttachSdlVirtualController(desc);
  const int number = NumberOf("Test Stick");
  ASSERT_GE(number, 0);

  JOYCAPSA caps{};
  ASSERT_EQ(Service->joyGetDevCapsA(number, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Test Stick");
  EXPECT_EQ(caps.wXmin, 0u);
  EXPECT_EQ(caps.wVmax, 65535u);
  EXPECT_EQ(caps.wNumAxes, 6u);
  EXPECT_EQ(caps.wNumButtons, 32u);
  EXPECT_EQ(caps.wCaps & 0x1F,
            JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV | JOYCAPS_HASPOV);

  JOYINFOEX info = Read(number);
  EXPECT_EQ(info.dwXpos, 32767u);
  EXPECT_EQ(info.dwVpos, 32767u);
  EXPECT_EQ(info.dwButtons, 0u);
  EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);

  stick->SetAxis(0, 0);
  stick->SetAxis(3, 65535);
  stick->SetAxis(5, 1000);
  stick->SetButton(1, true);
  stick->SetButton(32, true);
  stick->SetPov(13500);
  info = Read(number);
  EXPECT_EQ(info.dwXpos, 0u);
  EXPECT_EQ(info.dwRpos, 65535u);
  EXPECT_EQ(info.dwVpos, 1000u);
  EXPECT_EQ(info.dwButtons, 0x80000001u);
  EXPECT_EQ(info.dwPOV, 13500u);

  for (std::uint32_t pov : {0u, 4500u, 9000u, 18000u, 22500u, 27000u, 31500u, 65535u}) {
    stick->SetPov(pov);
    EXPECT_EQ(Read(number).dwPOV, pov);
  }
}

TEST_F(SdlTest, MissingAxesRestWithTheirBitsClear) {
  TVirtualControllerDesc desc;
  desc.Name = "Two Axes";
  desc.Axes = 2;
  desc.Buttons = 4;
  desc.Hats = 0;
  auto stick = AttachSdlVirtualController(desc);
  const int number = NumberOf("Two Axes");
  ASSERT_GE(number, 0);
  JOYCAPSA caps{};
  ASSERT_EQ(Service->joyGetDevCapsA(number, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wCaps, 0u);
  EXPECT_EQ(caps.wNumButtons, 4u);
  stick->SetAxis(1, 65535);
  const JOYINFOEX info = Read(number);
  EXPECT_EQ(info.dwYpos, 65535u);
  EXPECT_EQ(info.dwZpos, 32767u);
  EXPECT_EQ(info.dwUpos, 32767u);
  EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);
}

// The axes a controller has, counted and flagged one by one: 4, 5 and 6 axes each tell their own.
TEST_F(SdlTest, EachCountOfAxesIsToldAsItIs) {
  const struct {
    int Axes;
    unsigned Caps;
  } cases[] = {{4, JOYCAPS_HASZ | JOYCAPS_HASR},
               {5, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU},
               {6, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASV}};
  for (const auto& c : cases) {
    TVirtualControllerDesc desc;
    desc.Name = "Axes " + std::to_string(c.Axes);
    desc.Axes = c.Axes;
    desc.Hats = 0;
    auto stick = AttachSdlVirtualController(desc);
    const int number = NumberOf(desc.Name);
    ASSERT_GE(number, 0) << c.Axes;
    JOYCAPSA caps{};
    ASSERT_EQ(Service->joyGetDevCapsA(number, &caps, sizeof caps), JOYERR_NOERROR);
    EXPECT_EQ(caps.wNumAxes, static_cast<unsigned>(c.Axes));
    EXPECT_EQ(caps.wCaps, c.Caps) << c.Axes;
  }
}

// A pad's sensor and touchpad samples reach the poll thread's reader in order, once, bounded; a pad
// made with sensors says it has them, one made without has none.
TEST_F(SdlTest, PadSamplesComeOnceInOrder) {
  TVirtualControllerDesc desc;
  desc.Name = "Sensor Pad";
  desc.GameController = desc.ReadOrder = desc.Sensors = true;
  auto pad = AttachSdlVirtualController(desc);
  TVirtualControllerDesc plainDesc;
  plainDesc.Name = "Plain Pad";
  plainDesc.GameController = true;
  auto plain = AttachSdlVirtualController(plainDesc);
  const int number = NumberOf("Sensor Pad");
  ASSERT_GE(number, 0);
  const TPadFeatures features = Service->PadFeatures(number);
  EXPECT_TRUE(features.Gyro && features.Accel && features.Touchpad);
  EXPECT_FALSE(features.Key.empty());
  EXPECT_TRUE(features.SensorProblem.empty());
  const TPadFeatures none = Service->PadFeatures(NumberOf("Plain Pad"));
  EXPECT_FALSE(none.Gyro || none.Accel || none.Touchpad);
  for (int i = 0; i < 3; ++i) {
    TPadSample sample;
    sample.Kind = i == 2 ? TPadSample::TouchDown : TPadSample::Gyro;
    sample.TimeUs = 1000 + i;
    sample.Values[1] = static_cast<float>(i);
    pad->PushSample(sample);
  }
  std::vector<TPadSample> samples;
  Read(number);
  Service->TakePadSamples(number, samples);
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].TimeUs, 1000u);
  EXPECT_EQ(samples[1].Values[1], 1.0f);
  EXPECT_EQ(samples[2].Kind, TPadSample::TouchDown);
  Read(number);
  Service->TakePadSamples(number, samples);
  EXPECT_TRUE(samples.empty());
  // A reader that does not come for them: the oldest go.
  for (std::size_t i = 0; i < TJoyService::MaxPadSamples + 10; ++i) {
    TPadSample sample;
    sample.TimeUs = 5000 + i;
    pad->PushSample(sample);
  }
  Read(number);
  Service->TakePadSamples(number, samples);
  ASSERT_EQ(samples.size(), TJoyService::MaxPadSamples);
  EXPECT_EQ(samples.back().TimeUs, 5000 + TJoyService::MaxPadSamples + 9);
  // The touchpad's click is button 17 of the pad layout.
  pad->SetButton(17, true);
  EXPECT_EQ(Read(number).dwButtons, 1u << 16);
}

TEST_F(SdlTest, GameControllerInThePadLayout) {
  TVirtualControllerDesc desc;
  desc.Name = "Test Pad";
  desc.GameController = true;
  auto pad = AttachSdlVirtualController(desc);
  const int number = NumberOf("Test Pad");
  ASSERT_GE(number, 0);
  JOYCAPSA caps{};
  ASSERT_EQ(Service->joyGetDevCapsA(number, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wNumButtons, 17u);  // 17: the touchpad's click
  EXPECT_EQ(caps.wCaps & 0x1F, JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU | JOYCAPS_HASPOV);

  JOYINFOEX info = Read(number);
  EXPECT_EQ(info.dwZpos, 32767u);  // both triggers at rest
  EXPECT_EQ(info.dwPOV, JOY_POVCENTERED);

  pad->SetAxis(SDL_CONTROLLER_AXIS_LEFTX, 65535);
  pad->SetAxis(SDL_CONTROLLER_AXIS_LEFTY, 0);
  pad->SetAxis(SDL_CONTROLLER_AXIS_RIGHTX, 0);
  pad->SetAxis(SDL_CONTROLLER_AXIS_RIGHTY, 65535);
  pad->SetAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 65535);
  pad->SetButton(SDL_CONTROLLER_BUTTON_A + 1, true);
  pad->SetButton(SDL_CONTROLLER_BUTTON_LEFTSHOULDER + 1, true);
  pad->SetButton(SDL_CONTROLLER_BUTTON_BACK + 1, true);
  pad->SetButton(SDL_CONTROLLER_BUTTON_RIGHTSTICK + 1, true);
  pad->SetButton(SDL_CONTROLLER_BUTTON_DPAD_UP + 1, true);
  pad->SetButton(SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1, true);
  info = Read(number);
  EXPECT_EQ(info.dwXpos, 65535u);
  EXPECT_EQ(info.dwYpos, 0u);
  EXPECT_EQ(info.dwUpos, 0u);      // right stick X
  EXPECT_EQ(info.dwRpos, 65535u);  // right stick Y
  EXPECT_EQ(info.dwZpos, 65535u);  // left trigger
  EXPECT_EQ(info.dwVpos, 32767u);
  EXPECT_EQ(info.dwButtons, (1u << 0) | (1u << 4) | (1u << 6) | (1u << 9));
  EXPECT_EQ(info.dwPOV, 4500u);

  pad->SetAxis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 0);
  pad->SetAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 65535);
  pad->SetButton(SDL_CONTROLLER_BUTTON_DPAD_UP + 1, false);
  info = Read(number);
  EXPECT_EQ(info.dwZpos, 0u);  // right trigger
  EXPECT_EQ(info.dwPOV, 9000u);
  // Each trigger also on its own.
  EXPECT_EQ(LeftTrigger(info), 0u);
  EXPECT_EQ(RightTrigger(info), 65535u);

  // Said so in listings and status lines; a plain joystick is not.
  EXPECT_TRUE(Service->PadLayout(number));
  TVirtualControllerDesc plain;
  plain.Name = "Test Stick";
  auto stick = AttachSdlVirtualController(plain);
  EXPECT_FALSE(Service->PadLayout(NumberOf("Test Stick")));
  EXPECT_FALSE(Service->PadLayout(15));
  for (const auto& controller : ListControllers(*Service)) {
    if (controller.Name == "Test Pad") {
      EXPECT_EQ(ControllerLine(controller),
                "Controller " + std::to_string(number + 1) + ": Test Pad (pad layout)");
    }
    if (controller.Name == "Test Stick") {
      EXPECT_EQ(ControllerLine(controller), "Controller " +
                                                std::to_string(NumberOf("Test Stick") + 1) +
                                                ": Test Stick (plain joystick)");
    }
  }
}

TEST_F(SdlTest, UnpluggedThenPluggedInAgain) {
  JOYCAPSA caps{};
  EXPECT_EQ(Service->joyGetDevCapsA(16, &caps, sizeof caps), JOYERR_PARMS);
  std::uint32_t code = 0;
  Read(16, &code);
  EXPECT_EQ(code, JOYERR_PARMS);

  TVirtualControllerDesc desc;
  desc.Name = "Replugged";
  auto stick = AttachSdlVirtualController(desc);
  const int number = NumberOf("Replugged");
  ASSERT_GE(number, 0);
  // The poll thread's reads as well as plain ones, each the first after the change.
  std::vector<JOYINFOEX> steps;
  ASSERT_EQ(Service->joyGetPosExSteps(number, steps), JOYERR_NOERROR);
  stick.reset();
  EXPECT_EQ(Service->joyGetPosExSteps(number, steps), JOYERR_UNPLUGGED);
  Read(number, &code);
  EXPECT_EQ(code, JOYERR_UNPLUGGED);
  EXPECT_EQ(NumberOf("Replugged"), -1);

  stick = AttachSdlVirtualController(desc);
  stick->SetButton(2, true);
  ASSERT_EQ(Service->joyGetPosExSteps(number, steps), JOYERR_NOERROR);
  EXPECT_EQ(steps.back().dwButtons, 2u);
  stick->SetButton(3, true);
  const JOYINFOEX info = Read(number, &code);
  EXPECT_EQ(code, JOYERR_NOERROR);
  EXPECT_EQ(info.dwButtons, 6u);
}

TEST_F(SdlTest, LostControllerReleasesThroughTheComponent) {
  TVirtualControllerDesc desc;
  desc.Name = "Lost";
  auto stick = AttachSdlVirtualController(desc);
  const int number = NumberOf("Lost");
  ASSERT_GE(number, 0);

  TJstick component(*Service);
  TEventLog log;
  log.Attach(component);
  component.SetJoystickID(number + 1);
  component.SetThreadIntensity(1);
  component.SetEnablePolling(true);
  const auto waitFor = [&](std::size_t count) {
    return WaitUntil([&] { return log.Size() >= count; });
  };
  stick->SetButton(5, true);  // held at start: its press shows that polling has begun
  ASSERT_TRUE(waitFor(1));
  EXPECT_THAT(log.Take(), ElementsAre("button 5 down"));
  stick->SetAxis(0, 0);
  stick->SetButton(3, true);
  stick->SetPov(0);
  ASSERT_TRUE(waitFor(3));
  EXPECT_THAT(log.Take(),
              ElementsAre("axis -500 -1 -1 -1 -1 -1 pcX 0.00000", "button 3 down", "pov 0"));
  stick.reset();
  ASSERT_TRUE(waitFor(4));
  std::this_thread::sleep_for(30ms);  // and nothing more after
  component.SetEnablePolling(false);
  component.WaitForPollThread();
  EXPECT_THAT(log.Take(), ElementsAre("axis -1 -1 -1 -1 -1 -1 pcX 49.99924", "button 3 up",
                                      "button 5 up", "pov 65535"));
}

// Plugging a pad in and out a hundred times while its button is held: every unplug releases the
// key through the Release list, and nothing is left held.
TEST_F(SdlTest, DetachAndReattachWhileAButtonIsDown) {
  TRecordingInjector injector(1024, 768, {0, 0});
  TRealSleeper sleeper;
  TMapper mapper(injector, *Service, sleeper, nullptr);
  mapper.SetSlot(26, {"KEY DOWN a"});
  mapper.SetSlot(27, {"KEY UP a"});
  mapper.Jstick1.SetThreadIntensity(1);

  TVirtualControllerDesc desc;
  desc.Name = "Replugged Pad";
  auto pad = AttachSdlVirtualController(desc);
  const int number = NumberOf(desc.Name) + 1;
  ASSERT_GT(number, 0);
  mapper.Jstick1.SetJoystickID(number);
  mapper.Start();

  const auto waitForCalls = [&](std::size_t count) {
    return WaitUntil([&] { return injector.Calls().size() >= count; });
  };
  for (int cycle = 0; cycle < 100; ++cycle) {
    if (!pad) pad = AttachSdlVirtualController(desc);
    pad->SetButton(1, true);
    ASSERT_TRUE(waitForCalls(2 * cycle + 1)) << "press of cycle " << cycle;
    pad.reset();
    ASSERT_TRUE(waitForCalls(2 * cycle + 2)) << "release of cycle " << cycle;
  }
  mapper.Shutdown();
  const auto calls = injector.Calls();
  ASSERT_EQ(calls.size(), 200u);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i], i % 2 == 0 ? "key 0x41 (A) down" : "key 0x41 (A) up") << i;
  }
  EXPECT_TRUE(injector.HeldKeys().empty());
}

}  // namespace
}  // namespace kestrova::testing

namespace kestrova::testing {
namespace {

class TStatusLines {
 public:
  void Add(const std::string& line) {
    std::lock_guard lock(FLock);
    FLines.push_back(line);
  }
  bool Has(const std::string& line) const {
    std::lock_guard lock(FLock);
    return std::find(FLines.begin(), FLines.end(), line) != FLines.end();
  }

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FLines;
};

// A mapper polling controller number (0-based) every intervalMs, its status lines kept.
struct TRunningMapper {
  TRunningMapper(TJoyService& service, int number, std::uint32_t intervalMs)
      : Mapper(Injector, service, Sleeper, [this](const std::string& line) { Status.Add(line); }) {
    Mapper.Jstick1.SetJoystickID(number + 1);
    Mapper.Jstick1.SetThreadIntensity(intervalMs);
    Mapper.Start();
  }
  TRecordingInjector Injector{1024, 768, {0, 0}};
  TRealSleeper Sleeper;
  TStatusLines Status;
  TMapper Mapper;
};

// What the help and the window's tooltips say of a pad holds: each control of a virtual game
// pad raises the event named for it.
TEST_F(SdlTest, PadControlsRaiseTheEventsTheirNamesSay) {
  TVirtualControllerDesc desc;
  desc.Name = "Named Pad";
  desc.GameController = true;
  auto pad = AttachSdlVirtualController(desc);
  const int number = NumberOf("Named Pad");
  ASSERT_GE(number, 0);
  TRunningMapper run(*Service, number, 1);
  TMapper& mapper = run.Mapper;
  TStatusLines& status = run.Status;
  // Moves are made once the poll thread has seeded, and each seen before the next.
  const auto passes = [&mapper](std::uint64_t more) {
    const std::uint64_t target = mapper.Jstick1.PollPasses() + more;
    return WaitUntil([&] { return mapper.Jstick1.PollPasses() >= target; });
  };
  ASSERT_TRUE(passes(1));
  const auto raises = [&](const std::string& event, const std::function<void(bool)>& move) {
    move(true);
    const bool pressed = WaitUntil([&] { return status.Has("Executing " + event + " PRESS"); });
    move(false);
    const bool released = WaitUntil([&] { return status.Has("Executing " + event + " RELEASE"); });
    return pressed && released;
  };
  const auto axis = [&pad](int index, std::uint16_t moved) {
    return [&pad, index, moved](bool on) {
      const bool trigger =
          index == SDL_CONTROLLER_AXIS_TRIGGERLEFT || index == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
      pad->SetAxis(index, on ? moved : (trigger ? 0 : 32767));
    };
  };
  const auto button = [&pad](int sdlButton) {
    return [&pad, sdlButton](bool on) { pad->SetButton(sdlButton + 1, on); };
  };
  EXPECT_TRUE(raises("Stick Up", axis(SDL_CONTROLLER_AXIS_LEFTY, 0)));
  EXPECT_TRUE(raises("Stick Right", axis(SDL_CONTROLLER_AXIS_LEFTX, 65535)));
  EXPECT_TRUE(raises("Rot. Left", axis(SDL_CONTROLLER_AXIS_RIGHTY, 0)));  // right stick up
  EXPECT_TRUE(raises("Rot. Right", axis(SDL_CONTROLLER_AXIS_RIGHTY, 65535)));
  EXPECT_TRUE(raises("Z Left", axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 65535)));
  EXPECT_TRUE(raises("Z Right", axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 65535)));
  EXPECT_TRUE(raises("Button 1", button(SDL_CONTROLLER_BUTTON_A)));
  EXPECT_TRUE(raises("Button 4", button(SDL_CONTROLLER_BUTTON_Y)));
  EXPECT_TRUE(raises("Button 5", button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER)));
  EXPECT_TRUE(raises("Button 8", button(SDL_CONTROLLER_BUTTON_START)));
  EXPECT_TRUE(raises("POV East", button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT)));
  EXPECT_TRUE(raises("U Left", axis(SDL_CONTROLLER_AXIS_RIGHTX, 0)));
  EXPECT_TRUE(raises("U Right", axis(SDL_CONTROLLER_AXIS_RIGHTX, 65535)));
  EXPECT_TRUE(raises("Left Trigger", axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 65535)));
  EXPECT_TRUE(raises("Right Trigger", axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 65535)));
  EXPECT_TRUE(raises("Button 10", button(SDL_CONTROLLER_BUTTON_RIGHTSTICK)));
  EXPECT_TRUE(raises("Button 11", button(SDL_CONTROLLER_BUTTON_GUIDE)));
  EXPECT_TRUE(raises("Button 12", button(SDL_CONTROLLER_BUTTON_MISC1)));
  EXPECT_TRUE(raises("Button 13", button(SDL_CONTROLLER_BUTTON_PADDLE1)));
  EXPECT_TRUE(raises("Button 16", button(SDL_CONTROLLER_BUTTON_PADDLE4)));
  // Button 9, the left stick pressed in, is the shift button.
  pad->SetButton(SDL_CONTROLLER_BUTTON_LEFTSTICK + 1, true);
  ASSERT_TRUE(passes(2));
  EXPECT_TRUE(raises("Shift Button 2", button(SDL_CONTROLLER_BUTTON_B)));
  EXPECT_TRUE(raises("Shift Button 14", button(SDL_CONTROLLER_BUTTON_PADDLE2)));
  mapper.Shutdown();
}

}  // namespace
}  // namespace kestrova::testing

namespace kestrova::testing {
namespace {

// What a controller's stream of changes does between two reads, as SDL would have read it from
// a device node: the events are put on SDL's queue as its update puts them.
void Stream(int sdlIndex, std::initializer_list<std::pair<Uint32, int>> changes) {
  const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(sdlIndex);
  for (const auto& [type, what] : changes) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_JOYBUTTONDOWN || type == SDL_JOYBUTTONUP) {
      event.jbutton = {type,
                       0,
                       instance,
                       static_cast<Uint8>(what),
                       static_cast<Uint8>(type == SDL_JOYBUTTONDOWN),
                       0,
                       0};
    } else if (type == SDL_JOYHATMOTION) {
      event.jhat = {type, 0, instance, 0, static_cast<Uint8>(what), 0, 0};
    } else {
      event.cbutton = {type,
                       0,
                       instance,
                       static_cast<Uint8>(what),
                       static_cast<Uint8>(type == SDL_CONTROLLERBUTTONDOWN),
                       0,
                       0};
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  }
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> ButtonsAndHat(
    const std::vector<JOYINFOEX>& steps) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
  for (const auto& step : steps) seen.emplace_back(step.dwButtons, step.dwPOV);
  return seen;
}

// Taps shorter than a read: each state the stream passed through is a step of its own, in the
// pad layout's numbers for a pad; a read alone sees none of them.
TEST_F(SdlTest, ATapBetweenTwoReadsIsEveryStateItPassedThrough) {
  auto stick = AttachSdlVirtualController(Named("Tapped Stick"));
  auto pad = AttachSdlVirtualController(Named("Tapped Pad", true));
  const int stickNumber = NumberOf("Tapped Stick");
  const int padNumber = NumberOf("Tapped Pad");
  ASSERT_GE(stickNumber, 0);
  ASSERT_GE(padNumber, 0);
  std::vector<JOYINFOEX> steps;
  ASSERT_EQ(Service->joyGetPosExSteps(stickNumber, steps), JOYERR_NOERROR);
  ASSERT_EQ(Service->joyGetPosExSteps(padNumber, steps), JOYERR_NOERROR);
  using Seen = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

  Stream(stickNumber, {{SDL_JOYBUTTONDOWN, 2},
                       {SDL_JOYBUTTONUP, 2},
                       {SDL_JOYHATMOTION, SDL_HAT_LEFT},
                       {SDL_JOYHATMOTION, SDL_HAT_CENTERED}});
  Stream(padNumber, {{SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_PADDLE1},
                     {SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_DPAD_UP},
                     {SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
                     {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_DPAD_UP},
                     {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
                     {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_PADDLE1}});
  const JOYINFOEX now = Read(stickNumber);  // a plain read in between takes nothing away
  EXPECT_EQ(now.dwButtons, 0u);
  ASSERT_EQ(Service->joyGetPosExSteps(stickNumber, steps), JOYERR_NOERROR);
  EXPECT_EQ(
      ButtonsAndHat(steps),
      (Seen{{1u << 2, JOY_POVCENTERED}, {0, JOY_POVCENTERED}, {0, 27000}, {0, JOY_POVCENTERED}}));
  ASSERT_EQ(Service->joyGetPosExSteps(padNumber, steps), JOYERR_NOERROR);
  const std::uint32_t paddle = 1u << 12;  // button 13
  EXPECT_EQ(ButtonsAndHat(steps), (Seen{{paddle, JOY_POVCENTERED},
                                        {paddle, 0},
                                        {paddle, 4500},
                                        {paddle, 9000},
                                        {paddle, JOY_POVCENTERED},
                                        {0, JOY_POVCENTERED}}));
  // Taken: the next read is the state alone.
  ASSERT_EQ(Service->joyGetPosExSteps(stickNumber, steps), JOYERR_NOERROR);
  EXPECT_EQ(steps.size(), 1u);
}

// Reads in a row see a change at the first one after it, whatever it is, after reads that saw
// nothing, and also when a plain read in between took SDL's news of it; one SDL makes without
// telling (its events off) is seen within SdlFullReadEvery reads.
TEST_F(SdlTest, EachChangeIsInTheNextStepsRead) {
  const TVirtualControllerDesc stickDesc = Named("Changing Stick");
  const TVirtualControllerDesc padDesc = Named("Changing Pad", true);
  auto stick = AttachSdlVirtualController(stickDesc);
  auto pad = AttachSdlVirtualController(padDesc);
  const int stickNumber = NumberOf(stickDesc.Name);
  const int padNumber = NumberOf(padDesc.Name);
  ASSERT_GE(stickNumber, 0);
  ASSERT_GE(padNumber, 0);
  const struct {
    const char* What;
    bool Pad;
    std::function<void(TVirtualController&)> Change;
    std::function<bool(const JOYINFOEX&)> Seen;
  } cases[] = {
      {"X", false, [](auto& c) { c.SetAxis(0, 0); }, [](auto& i) { return i.dwXpos == 0; }},
      {"V", false, [](auto& c) { c.SetAxis(5, 65535); }, [](auto& i) { return i.dwVpos == 65535; }},
      {"button 32", false, [](auto& c) { c.SetButton(32, true); },
       [](auto& i) { return i.dwButtons == 1u << 31; }},
      {"hat", false, [](auto& c) { c.SetPov(22500); }, [](auto& i) { return i.dwPOV == 22500; }},
      {"right stick X", true, [](auto& c) { c.SetAxis(SDL_CONTROLLER_AXIS_RIGHTX, 0); },
       [](auto& i) { return i.dwUpos == 0; }},
      {"right trigger", true, [](auto& c) { c.SetAxis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 65535); },
       [](auto& i) { return RightTrigger(i) == 65535; }},
      {"A", true, [](auto& c) { c.SetButton(SDL_CONTROLLER_BUTTON_A + 1, true); },
       [](auto& i) { return i.dwButtons == 1u; }},
      {"d-pad down", true, [](auto& c) { c.SetButton(SDL_CONTROLLER_BUTTON_DPAD_DOWN + 1, true); },
       [](auto& i) { return i.dwPOV == 18000; }},
  };
  std::vector<JOYINFOEX> steps;
  for (const bool plainReadBetween : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.What) + (plainReadBetween ? ", a plain read between" : ""));
      const int number = c.Pad ? padNumber : stickNumber;
      for (int read = 0; read < 3; ++read) {
        ASSERT_EQ(Service->joyGetPosExSteps(number, steps), JOYERR_NOERROR);
        ASSERT_FALSE(c.Seen(steps.back()));
      }
      c.Change(c.Pad ? *pad : *stick);
      if (plainReadBetween) {
        EXPECT_TRUE(c.Seen(Read(number)));
      }
      ASSERT_EQ(Service->joyGetPosExSteps(number, steps), JOYERR_NOERROR);
      EXPECT_TRUE(c.Seen(steps.back()));
      stick.reset();  // both as they were, in the same places
      pad.reset();
      stick = AttachSdlVirtualController(stickDesc);
      pad = AttachSdlVirtualController(padDesc);
      ASSERT_EQ(NumberOf(stickDesc.Name), stickNumber);
      ASSERT_EQ(NumberOf(padDesc.Name), padNumber);
    }
  }

  ASSERT_EQ(Service->joyGetPosExSteps(stickNumber, steps), JOYERR_NOERROR);
  SDL_JoystickEventState(SDL_IGNORE);
  stick->SetAxis(1, 0);
  int reads = 0;
  while (reads < SdlFullReadEvery && steps.back().dwYpos != 0) {
    ASSERT_EQ(Service->joyGetPosExSteps(stickNumber, steps), JOYERR_NOERROR);
    ++reads;
  }
  SDL_JoystickEventState(SDL_ENABLE);
  EXPECT_EQ(steps.back().dwYpos, 0u) << "after " << reads << " reads";
}

// Through the poll thread and the routing: a tap that no reading shows is a Press and a Release,
// on a plain joystick (SDL's joystick events) and on a pad (its controller events: a face button,
// a d-pad direction as the hat, a paddle), with no real device and no kernel.
TEST_F(SdlTest, ATapNoReadingShowsRunsItsPressAndRelease) {
  const struct {
    const char* Name;
    bool Pad;
    std::initializer_list<std::pair<Uint32, int>> Tap;
    std::vector<std::string> Lines;
  } cases[] = {
      {"Quick Stick",
       false,
       {{SDL_JOYBUTTONDOWN, 0}, {SDL_JOYBUTTONUP, 0}},
       {"Executing Button 1 PRESS", "Executing Button 1 RELEASE"}},
      {"Quick Pad",
       true,
       {{SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_B},
        {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_B},
        {SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_DPAD_LEFT},
        {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_DPAD_LEFT},
        {SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLER_BUTTON_PADDLE2},
        {SDL_CONTROLLERBUTTONUP, SDL_CONTROLLER_BUTTON_PADDLE2}},
       {"Executing Button 2 PRESS", "Executing Button 2 RELEASE", "Executing POV West PRESS",
        "Executing POV Center PRESS", "Executing Button 14 PRESS", "Executing Button 14 RELEASE"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto controller = AttachSdlVirtualController(Named(c.Name, c.Pad));
    const int number = NumberOf(c.Name);
    ASSERT_GE(number, 0);
    TRunningMapper run(*Service, number, 5);
    TMapper& mapper = run.Mapper;
    TStatusLines& status = run.Status;
    ASSERT_TRUE(WaitUntil([&] { return mapper.Jstick1.PollPasses() >= 2; }));
    {
      // Between two passes: the service's lock is the one SDL is updated under.
      JOYINFOEX info{};
      Stream(number, c.Tap);
      Service->joyGetPosEx(number, &info);  // SDL's update takes the changes off its queue now
      EXPECT_EQ(info.dwButtons, 0u);
    }
    EXPECT_TRUE(WaitUntil([&] { return status.Has(c.Lines.back()); }));
    for (const std::string& line : c.Lines) EXPECT_TRUE(status.Has(line)) << line;
    mapper.Shutdown();
  }
}

}  // namespace
}  // namespace kestrova::testing
