// The uinput output against a mocked /dev/uinput (umockdev): the devices it creates, the keys it
// presses on several layouts, mouse moves and buttons, and the release at the end.

#include <gmock/gmock.h>
#include <linux/uinput.h>

#include <fstream>

#include "common/KeyTable.h"
#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "e2e/Run.h"
#include "exec/Mapper.h"
#include "exec/inputsynth.h"
#include "fakes/MockUinput.h"
#include "fakes/ScriptedJoyService.h"
#include "fakes/VirtualSleeper.h"
#include "mapping/Profile.h"
#include "platform/uinput/Keymap.h"
#include "platform/uinput/UinputInjector.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

class UinputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TMockUinput::Available()) GTEST_SKIP() << "run under umockdev-wrapper";
    Mock = std::make_unique<TMockUinput>();
  }
  TUinputOutput Create(const std::string& layout) {
    TUinputOptions options;
    options.KeyboardLayout = layout;
    options.ScreenWidth = 1366;
    options.ScreenHeight = 768;
    return CreateUinputInjector(options);
  }
  // The key events of the keyboard since the last call, each checked to end its own frame.
  Lines KeyEvents() {
    const auto device = Mock->Device("Kestrova Virtual Keyboard");
    if (!device) return {"no keyboard"};
    const Lines all = Describe(device->Events);
    Lines keys;
    for (std::size_t i = FSeen; i < all.size(); ++i) {
      if (all[i] == "SYN 0 0") continue;
      keys.push_back(all[i]);
      EXPECT_TRUE(i + 1 < all.size() && all[i + 1] == "SYN 0 0") << all[i] << " without SYN";
    }
    FSeen = all.size();
    return keys;
  }
  std::unique_ptr<TMockUinput> Mock;
  std::size_t FSeen = 0;
};

std::string Key(int code, int value) {
  return "KEY " + std::to_string(code) + " " + std::to_string(value);
}

TEST_F(UinputTest, ThreeDevicesNoneLikeAControllerDestroyedAtTheEnd) {
  {
    TUinputOutput output = Create("us");
    EXPECT_THAT(output.Layout, HasSubstr("us, from --keyboard-layout"));
    const auto keyboard = Mock->Device("Kestrova Virtual Keyboard");
    const auto pointer = Mock->Device("Kestrova Virtual Pointer");
    const auto tablet = Mock->Device("Kestrova Virtual Tablet");
    ASSERT_TRUE(keyboard && pointer && tablet);
    EXPECT_TRUE(keyboard->Created && pointer->Created && tablet->Created);
    EXPECT_EQ(keyboard->EvBits, (std::set<int>{EV_KEY}));
    EXPECT_TRUE(keyboard->KeyBits.contains(KEY_A) && keyboard->KeyBits.contains(KEY_F12));
    EXPECT_LT(*keyboard->KeyBits.rbegin(), BTN_MISC);  // no button: no program takes it for a pad
    EXPECT_EQ(pointer->EvBits, (std::set<int>{EV_KEY, EV_REL}));
    EXPECT_EQ(pointer->RelBits, (std::set<int>{REL_X, REL_Y, REL_WHEEL, REL_HWHEEL,
                                               REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES}));
    EXPECT_EQ(pointer->KeyBits,
              (std::set<int>{BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}));
    EXPECT_EQ(tablet->EvBits, (std::set<int>{EV_KEY, EV_ABS}));
    EXPECT_EQ(tablet->AbsRanges.at(ABS_X), std::make_pair(0, 65535));
    EXPECT_EQ(tablet->AbsRanges.at(ABS_Y), std::make_pair(0, 65535));
    for (const auto& device : Mock->Devices()) {
      EXPECT_FALSE(device.KeyBits.contains(BTN_JOYSTICK) || device.KeyBits.contains(BTN_GAMEPAD))
          << device.Name;
      EXPECT_FALSE(device.Destroyed);
    }
  }
  for (const auto& device : Mock->Devices()) EXPECT_TRUE(device.Destroyed) << device.Name;
}

struct TLayoutCase {
  std::string Layout;
  std::string KeyName;
  Lines Press;  // what PressKey sends, then ReleaseKey
};

TEST_F(UinputTest, KeysFollowTheLayout) {
  const int shift = KEY_LEFTSHIFT;
  const int altGr = KEY_RIGHTALT;
  const std::vector<TLayoutCase> cases = {
      {"us", "z", {Key(KEY_Z, 1), Key(KEY_Z, 0)}},
      {"de", "z", {Key(KEY_Y, 1), Key(KEY_Y, 0)}},
      {"fr", "z", {Key(KEY_W, 1), Key(KEY_W, 0)}},
      {"us", "Z", {Key(shift, 1), Key(KEY_Z, 1), Key(KEY_Z, 0), Key(shift, 0)}},
      {"us", "@", {Key(shift, 1), Key(KEY_2, 1), Key(KEY_2, 0), Key(shift, 0)}},
      // Shift is let go around the key while AltGr gives '@'.
      {"de",
       "@",
       {Key(shift, 1), Key(shift, 0), Key(altGr, 1), Key(KEY_Q, 1), Key(altGr, 0), Key(shift, 1),
        Key(KEY_Q, 0), Key(shift, 0)}},
      {"fr",
       "@",
       {Key(shift, 1), Key(shift, 0), Key(altGr, 1), Key(KEY_0, 1), Key(altGr, 0), Key(shift, 1),
        Key(KEY_0, 0), Key(shift, 0)}},
      {"de", "!", {Key(shift, 1), Key(KEY_1, 1), Key(KEY_1, 0), Key(shift, 0)}},
      {"fr",
       "!",
       {Key(shift, 1), Key(shift, 0), Key(KEY_SLASH, 1), Key(shift, 1), Key(KEY_SLASH, 0),
        Key(shift, 0)}},
      {"de", "F5", {Key(KEY_F5, 1), Key(KEY_F5, 0)}},
      {"fr", "UP", {Key(KEY_UP, 1), Key(KEY_UP, 0)}},
      {"de", "SPACE", {Key(KEY_SPACE, 1), Key(KEY_SPACE, 0)}},
      {"fr", "ENTER", {Key(KEY_ENTER, 1), Key(KEY_ENTER, 0)}},
      {"us", "1", {Key(KEY_1, 1), Key(KEY_1, 0)}},
      {"fr", "1", {Key(shift, 1), Key(KEY_1, 1), Key(shift, 0), Key(KEY_1, 0)}},
  };
  for (const auto& c : cases) {
    TUinputOutput output = Create(c.Layout);  // new devices: the newest keyboard is read
    FSeen = 0;
    PressKey(*output.Injector, c.KeyName);
    ReleaseKey(*output.Injector, c.KeyName);
    EXPECT_THAT(KeyEvents(), ElementsAreArray(c.Press)) << c.Layout << " " << c.KeyName;
    EXPECT_TRUE(output.Injector->HeldKeys().empty());
  }
}

TEST_F(UinputTest, MouseMovesAndButtons) {
  TUinputOutput output = Create("us");
  TInjector& injector = *output.Injector;
  EXPECT_FALSE(injector.PointerReadable());
  EXPECT_EQ(ScreenWidthOf(injector), 1366);
  EXPECT_EQ(ScreenHeightOf(injector), 768);
  MoveMouseRelative(injector, -7, 12);
  MouseButton(injector, "LEFT", "PRESS");
  MouseButton(injector, "RIGHT", "PRESS");
  MouseButton(injector, "LEFT", "RELEASE");
  MoveMouseAbsolute(injector, 683, 768);  // the middle column, the bottom row
  EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Pointer")->Events),
              ElementsAre("REL 0 -7", "REL 1 12", "SYN 0 0", Key(BTN_LEFT, 1), "SYN 0 0",
                          Key(BTN_RIGHT, 1), "SYN 0 0", Key(BTN_LEFT, 0), "SYN 0 0"));
  EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Tablet")->Events),
              ElementsAre("ABS 0 32768", "ABS 1 65535", "SYN 0 0"));
  // What is still held is let go at the end.
  injector.ReleaseHeld();
  EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Pointer")->Events),
              ::testing::IsSupersetOf({Key(BTN_RIGHT, 0)}));
}

// Every named key is its own evdev key on every layout (the keypad's digits too, whatever Num
// Lock says), and the mouse lines are the pointer's buttons and wheels, high-resolution units
// beside whole notches.
// Every character of the shifted set on the US layout: Shift around the key of its character.
TEST_F(UinputTest, EveryShiftedCharacterComesWithShift) {
  TUinputOutput output = Create("us");
  for (const TShiftedCharacter& shifted : ShiftedCharacters()) {
    const std::string name(1, shifted.Character);
    PressKey(*output.Injector, name);
    ReleaseKey(*output.Injector, name);
    const Lines events = KeyEvents();
    ASSERT_EQ(events.size(), 4u) << name << ": " << ::testing::PrintToString(events);
    EXPECT_EQ(events[0], Key(KEY_LEFTSHIFT, 1)) << name;
    EXPECT_EQ(events[1].substr(0, 4), "KEY ") << name;
    EXPECT_NE(events[1], Key(KEY_LEFTSHIFT, 1)) << name;
    EXPECT_EQ(events[3], Key(KEY_LEFTSHIFT, 0)) << name;
  }
}

TEST_F(UinputTest, EveryNamedKeyAndMouseButton) {
  TUinputOutput output = Create("de");
  TInjector& injector = *output.Injector;
  for (const TExpectedKey& key : ExpectedNamedKeys()) {
    PressKey(injector, key.Name);
    ReleaseKey(injector, key.Name);
    EXPECT_THAT(KeyEvents(), ElementsAre(Key(key.Evdev, 1), Key(key.Evdev, 0))) << key.Name;
  }
  MouseButton(injector, "MIDDLE", "PRESS");
  MouseButton(injector, "BACK", "PRESS");
  MouseButton(injector, "FORWARD", "PRESS");
  MouseButton(injector, "BACK", "RELEASE");
  MouseWheel(injector, 2, false);
  MouseWheel(injector, -1, true);
  injector.ReleaseHeld();  // the middle and forward buttons, still held
  EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Pointer")->Events),
              ElementsAre(Key(BTN_MIDDLE, 1), "SYN 0 0", Key(BTN_SIDE, 1), "SYN 0 0",
                          Key(BTN_EXTRA, 1), "SYN 0 0", Key(BTN_SIDE, 0), "SYN 0 0", "REL 8 2",
                          "REL 11 240", "SYN 0 0", "REL 6 -1", "REL 12 -120", "SYN 0 0",
                          Key(BTN_MIDDLE, 0), "SYN 0 0", Key(BTN_EXTRA, 0), "SYN 0 0"));
}

TEST_F(UinputTest, ALineTheLayoutCannotTypeIsSkippedAndLeavesNothingDown) {
  TUinputOutput output = Create("ru");  // Cyrillic letters only on its first layout
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  Lines status;
  TMapper mapper(*output.Injector, joysticks, sleeper,
                 [&status](const std::string& line) { status.push_back(line); });
  mapper.ExecuteSingleCommand("KEY DOWN Z");
  mapper.ExecuteSingleCommand("KEY DOWN SHIFT");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0], "Skipped \"KEY DOWN Z\": the keyboard layout ru cannot type 'Z'");
  EXPECT_THAT(output.Injector->HeldKeys(), ElementsAre(VK_SHIFT));
  mapper.Shutdown();
  EXPECT_TRUE(output.Injector->HeldKeys().empty());
  EXPECT_THAT(KeyEvents(), ElementsAre(Key(KEY_LEFTSHIFT, 1), Key(KEY_LEFTSHIFT, 0),
                                       Key(KEY_LEFTSHIFT, 1), Key(KEY_LEFTSHIFT, 0)));
}

TEST(UinputLayout, ChosenFromTheOptionTheEnvironmentOrTheSystemFile) {
  const TTempDir dir("kestrova-keyboard");
  const auto file = dir / "keyboard";
  std::ofstream(file) << "# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\n"
                         "XKBVARIANT=\"azerty\"\nXKBOPTIONS=\"\"\n";
  ::unsetenv("XKB_DEFAULT_LAYOUT");
  TLayoutNames names = ChooseLayout("", file);
  EXPECT_EQ(names.Layout, "fr");
  EXPECT_EQ(names.Variant, "azerty");
  EXPECT_EQ(names.Model, "pc105");
  EXPECT_EQ(names.Source, file.string());
  EXPECT_EQ(ChooseLayout("", dir / "missing").Layout, "us");
  ::setenv("XKB_DEFAULT_LAYOUT", "de", 1);
  ::setenv("XKB_DEFAULT_VARIANT", "nodeadkeys", 1);
  names = ChooseLayout("", file);
  EXPECT_EQ(names.Layout, "de");
  EXPECT_EQ(names.Variant, "nodeadkeys");
  names = ChooseLayout("gb:extd", file);
  EXPECT_EQ(names.Layout, "gb");
  EXPECT_EQ(names.Variant, "extd");
  ::unsetenv("XKB_DEFAULT_LAYOUT");
  ::unsetenv("XKB_DEFAULT_VARIANT");
  EXPECT_THROW(CreateKeymap(TLayoutNames{"", "no-such-layout", "", "", ""}), std::runtime_error);
}

TEST(UinputAccess, MissingNodeNamesTheModule) {
  EXPECT_THAT(UinputProblem("/nonexistent/uinput"), HasSubstr("modprobe uinput"));
  EXPECT_EQ(UinputProblem("/dev/null"), "");  // writable
}

}  // namespace
}  // namespace kestrova::testing

// The real program, injecting through the mocked node.
namespace kestrova::testing {
namespace {

class UinputProgramTest : public UinputTest {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(Dir / name, std::ios::binary) << text;
    return (Dir / name).string();
  }
  TTempDir Temp{"kestrova-uinput"};
  std::filesystem::path Dir = Temp.Path();
};

TEST_F(UinputProgramTest, HeadlessRunInjectsAndReleasesThroughTheLayout) {
  TSlotTable slots;
  slots[26] = {"KEY DOWN z", "KEY DOWN @", "MOUSE MOVE R N 5 -3 N N", "LEFT MOUSE DOWN",
               "MOUSE MOVE A N 512 0 N N"};
  slots[27] = {"KEY UP z"};
  const std::string profile =
      Write("p.kpf", FormatProfile(slots, {300, 300, 300, 300, 300, 300, 300}));
  const std::string timeline = Write("t.txt", "0 button 1 down\n100 button 1 up\n300 end\n");
  for (const char* ending : {"end", "SIGTERM"}) {
    TProcess process({"--headless", "--output", "auto", "--keyboard-layout", "de", "--screen",
                      "1024x768", "--replay", timeline, profile},
                     Dir, {"WAYLAND_DISPLAY=wayland-test", "DISPLAY="});
    if (std::string(ending) == "SIGTERM") {
      ASSERT_TRUE(WaitUntil([&] { return Mock->Device("Kestrova Virtual Tablet").has_value(); }));
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      process.Signal(SIGTERM);
    }
    const TRun run = process.Wait();
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_THAT(run.Err, HasSubstr("kestrova: Output: uinput (keyboard layout de, from "
                                   "--keyboard-layout; screen 1024x768 from --screen)"));
    const int shift = KEY_LEFTSHIFT;
    EXPECT_THAT(KeyEvents(),
                ElementsAre(Key(KEY_Y, 1), Key(shift, 1), Key(shift, 0), Key(KEY_RIGHTALT, 1),
                            Key(KEY_Q, 1), Key(KEY_RIGHTALT, 0), Key(shift, 1), Key(KEY_Y, 0),
                            // released at the end, newest first
                            Key(KEY_Q, 0), Key(shift, 0)))
        << ending;
    EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Pointer")->Events),
                ElementsAre("REL 0 5", "REL 1 -3", "SYN 0 0", Key(BTN_LEFT, 1), "SYN 0 0",
                            Key(BTN_LEFT, 0), "SYN 0 0"))
        << ending;
    EXPECT_THAT(Describe(Mock->Device("Kestrova Virtual Tablet")->Events),
                ElementsAre("ABS 0 32768", "ABS 1 0", "SYN 0 0"));  // 32767.5, halves to even
    for (const auto& device : Mock->Devices()) {
      if (!device.Name.empty()) {
        EXPECT_TRUE(device.Destroyed) << device.Name << " " << ending;
      }
    }
    Mock.reset();
    Mock = std::make_unique<TMockUinput>();
    FSeen = 0;
  }
}

TEST_F(UinputProgramTest, WithoutAccessTheProgramSaysHowToGetIt) {
  const std::string profile =
      Write("p.kpf", FormatProfile(TSlotTable{}, {300, 300, 300, 300, 300, 300, 300}));
  // A user the node does not let in.
  if (::geteuid() == 0) {
    std::filesystem::permissions(Dir, std::filesystem::perms::all);
    TProcess denied({"--reuid=65534", "--regid=65534", "--clear-groups", KESTROVA_BINARY,
                     "--headless", "--output", "uinput", profile},
                    Dir, {}, "/usr/bin/setpriv");
    const TRun run = denied.Wait();
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_THAT(run.Err, HasSubstr("no permission to write /dev/uinput"));
    EXPECT_THAT(run.Err, HasSubstr("sudo udevadm trigger"));
  }
  Mock.reset();
  Mock = std::make_unique<TMockUinput>(false);  // no /dev/uinput: the module is not loaded
  TProcess missing({"--headless", "--output", "uinput", profile}, Dir);
  TRun run = missing.Wait();
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("the uinput kernel module is not loaded"));
  EXPECT_THAT(run.Err, HasSubstr("sudo modprobe uinput"));
  // A Wayland desktop without X and without uinput: nothing can work, and the message says why.
  TProcess nothing({"--headless", profile}, Dir, {"WAYLAND_DISPLAY=wayland-test", "DISPLAY="});
  run = nothing.Wait();
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("no output: no X display"));
  EXPECT_THAT(run.Err, HasSubstr("modprobe uinput"));
}

}  // namespace
}  // namespace kestrova::testing
