// The XTest injector against a real X server (run under scripts/with-xvfb).

// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "exec/inputsynth.h"
#include "motion/Motion.h"
#include "platform/x11/ActiveWindow.h"
#include "platform/x11/X11Injector.h"

#include "common/KeyTable.h"
#include "common/TempDir.h"
#include "common/XEvents.h"
#include "e2e/Run.h"
#include "mapping/Profile.h"

namespace kestrova {
namespace {

using testing::CollectXEvents;

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    FDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(FDisplay, nullptr) << "no X server; run under scripts/with-xvfb";
    const int screen = DefaultScreen(FDisplay);
    FWindow = XCreateSimpleWindow(FDisplay, RootWindow(FDisplay, screen), 0, 0, 200, 100, 0,
                                  BlackPixel(FDisplay, screen), WhitePixel(FDisplay, screen));
    XSelectInput(FDisplay, FWindow, KeyPressMask | ExposureMask);
    XMapWindow(FDisplay, FWindow);
    XEvent event;
    do XNextEvent(FDisplay, &event);
    while (event.type != Expose);
    XSetInputFocus(FDisplay, FWindow, RevertToParent, CurrentTime);
    XSync(FDisplay, False);
    Injector = CreateX11Injector();
  }
  void TearDown() override {
    Injector.reset();
    if (FDisplay) XCloseDisplay(FDisplay);
  }

  // The text typed into the window, collected until `expected` characters arrived or 2 s passed.
  std::string ReadTypedText(std::size_t expected) {
    std::string text;
    // Presses of Shift type nothing: keep only those that do.
    CollectXEvents(
        FDisplay,
        [&text](const XEvent& event) {
          if (event.type != KeyPress) return false;
          XKeyEvent key = event.xkey;
          char buffer[8];
          KeySym sym;
          const int length = XLookupString(&key, buffer, sizeof buffer, &sym, nullptr);
          text.append(buffer, length);
          return length > 0;
        },
        expected);
    return text;
  }

  Display* FDisplay = nullptr;
  Window FWindow = 0;
  std::unique_ptr<TInjector> Injector;
};

TEST_F(X11Test, TypedKeysArriveAsText) {
  for (const char* key : {"H", "i", "!", "SPACE", "?", "z"}) {
    PressKey(*Injector, key);
    ReleaseKey(*Injector, key);
  }
  EXPECT_EQ(ReadTypedText(6), "Hi! ?z");
  EXPECT_TRUE(Injector->HeldKeys().empty());
}

// Every character of the shifted set arrives as itself: Shift is held around its key.
TEST_F(X11Test, EveryShiftedCharacterArrivesAsItself) {
  std::string expected;
  for (const testing::TShiftedCharacter& shifted : testing::ShiftedCharacters()) {
    const std::string name(1, shifted.Character);
    PressKey(*Injector, name);
    ReleaseKey(*Injector, name);
    expected += shifted.Character;
  }
  EXPECT_EQ(ReadTypedText(expected.size()), expected);
}

TEST_F(X11Test, DigitsPunctuationAndNamedKeys) {
  for (const char* key : {"7", ";", "[", "/", "@", "_", "TAB", "ENTER"}) {
    PressKey(*Injector, key);
    ReleaseKey(*Injector, key);
  }
  EXPECT_EQ(ReadTypedText(8), "7;[/@_\t\r");
}

// Every named key reaches the X server as the key that gives its keysym, and the mouse lines as
// X's buttons: 2 the middle, 8 back, 9 forward, the wheel 4 away and 5 towards, 6 left, 7 right.
TEST_F(X11Test, EveryNamedKeyAndMouseButton) {
  XSelectInput(FDisplay, FWindow,
               KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask);
  XSync(FDisplay, False);
  for (const testing::TExpectedKey& key : testing::ExpectedNamedKeys()) {
    // The locks twice, so that they are as they were.
    const int times = key.Name.ends_with("LOCK") ? 2 : 1;
    for (int i = 0; i < times; ++i) {
      PressKey(*Injector, key.Name);
      ReleaseKey(*Injector, key.Name);
    }
    const auto events = CollectXEvents(
        FDisplay, [](const XEvent& e) { return e.type == KeyPress || e.type == KeyRelease; },
        2 * times);
    ASSERT_EQ(events.size(), 2u * times) << key.Name;
    EXPECT_EQ(events[0].type, KeyPress);
    EXPECT_EQ(events[1].type, KeyRelease);
    EXPECT_EQ(events[0].xkey.keycode, XKeysymToKeycode(FDisplay, key.Keysym))
        << key.Name << " came as "
        << XKeysymToString(XkbKeycodeToKeysym(FDisplay, events[0].xkey.keycode, 0, 0));
  }
  EXPECT_TRUE(Injector->HeldKeys().empty());
  MoveMouseAbsolute(*Injector, 20, 20);  // over the test window
  const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> mouse = {
      {[&] { MouseButton(*Injector, "MIDDLE", "PRESS"); }, {"press 2"}},
      {[&] { MouseButton(*Injector, "MIDDLE", "RELEASE"); }, {"release 2"}},
      {[&] { MouseButton(*Injector, "BACK", "PRESS"); }, {"press 8"}},
      {[&] { MouseButton(*Injector, "BACK", "RELEASE"); }, {"release 8"}},
      {[&] { MouseButton(*Injector, "FORWARD", "PRESS"); }, {"press 9"}},
      {[&] { MouseButton(*Injector, "FORWARD", "RELEASE"); }, {"release 9"}},
      {[&] { MouseWheel(*Injector, 2, false); }, {"press 4", "release 4", "press 4", "release 4"}},
      {[&] { MouseWheel(*Injector, -1, false); }, {"press 5", "release 5"}},
      {[&] { MouseWheel(*Injector, 1, true); }, {"press 7", "release 7"}},
      {[&] { MouseWheel(*Injector, -1, true); }, {"press 6", "release 6"}},
  };
  for (const auto& [act, expected] : mouse) {
    act();
    std::vector<std::string> seen;
    for (const XEvent& event : CollectXEvents(
             FDisplay,
             [](const XEvent& e) { return e.type == ButtonPress || e.type == ButtonRelease; },
             expected.size())) {
      seen.push_back((event.type == ButtonPress ? "press " : "release ") +
                     std::to_string(event.xbutton.button));
    }
    EXPECT_EQ(seen, expected);
  }
  // Held buttons are let go on stop.
  MouseButton(*Injector, "MIDDLE", "PRESS");
  MouseButton(*Injector, "BACK", "PRESS");
  Injector->ReleaseHeld();
  std::vector<unsigned> released;
  for (const XEvent& event : CollectXEvents(
           FDisplay, [](const XEvent& e) { return e.type == ButtonRelease; }, 2)) {
    released.push_back(event.xbutton.button);
  }
  EXPECT_EQ(released, (std::vector<unsigned>{2, 8}));
}

TEST_F(X11Test, RightButtonPressesAndReleasesButtonThree) {
  XSelectInput(FDisplay, FWindow, ButtonPressMask | ButtonReleaseMask);
  XSync(FDisplay, False);
  MoveMouseAbsolute(*Injector, 20, 20);  // over the test window
  MouseButton(*Injector, "RIGHT", "PRESS");
  MouseButton(*Injector, "RIGHT", "RELEASE");
  std::vector<std::string> seen;
  for (const XEvent& event : CollectXEvents(
           FDisplay,
           [](const XEvent& e) { return e.type == ButtonPress || e.type == ButtonRelease; }, 2)) {
    seen.push_back((event.type == ButtonPress ? "press " : "release ") +
                   std::to_string(event.xbutton.button));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"press 3", "release 3"}));
}

TEST_F(X11Test, HeldKeysAreReleasedOnRequest) {
  PressKey(*Injector, "A");  // shift and a held
  Injector->ReleaseHeld();
  PressKey(*Injector, "b");
  ReleaseKey(*Injector, "b");
  EXPECT_EQ(ReadTypedText(2), "Ab");  // b typed without a shift left hanging
}

TEST_F(X11Test, MovesPutThePointerOnTheExpectedPixel) {
  EXPECT_EQ(Injector->GetSystemMetrics(SM_CXSCREEN), 1024);
  EXPECT_EQ(Injector->GetSystemMetrics(SM_CYSCREEN), 768);
  MoveMouseAbsolute(*Injector, 512, 384);
  EXPECT_EQ(CursorX(*Injector), 512);
  EXPECT_EQ(CursorY(*Injector), 384);
  MoveMouseAbsolute(*Injector, 100, 100);
  MoveMouseRelative(*Injector, 10, -5);
  EXPECT_EQ(CursorX(*Injector), 110);
  EXPECT_EQ(CursorY(*Injector), 95);
  MoveMouseAbsolute(*Injector, 1023, 767);
  EXPECT_EQ(CursorX(*Injector), 1023);
  EXPECT_EQ(CursorY(*Injector), 767);
  MouseButton(*Injector, "LEFT", "PRESS");
  MouseButton(*Injector, "LEFT", "RELEASE");
  EXPECT_EQ(CursorX(*Injector), 1023);  // a click does not move the pointer
}

// A stick as a mouse moves the X pointer by relative motion, exactly the pixels it counts (no
// acceleration of the server's in between), left and up as well as right and down.
TEST_F(X11Test, MotionMovesThePointerByItsPixels) {
  MoveMouseAbsolute(*Injector, 500, 400);
  TMotion motion(*Injector);
  TMotionSettings settings;
  settings[TMotionSource::LeftStick].Mode = TMotionMode::Mouse;
  settings[TMotionSource::LeftStick].Speed = 1500;  // 6 px a reading of 4 ms
  settings[TMotionSource::LeftStick].Curve = 1;
  motion.SetSettings(settings);
  auto at = std::chrono::steady_clock::now();
  const auto read = [&](std::uint32_t x, std::uint32_t y) {
    TMotionReading reading;
    reading.Answering = true;
    reading.At = at += std::chrono::milliseconds(4);
    reading.Raw.dwXpos = x;
    reading.Raw.dwYpos = y;
    reading.Raw.dwZpos = reading.Raw.dwRpos = reading.Raw.dwUpos = 32767;
    motion.OnMotionReading(reading);
  };
  read(32767, 32767);
  for (int i = 0; i < 10; ++i) read(65535, 32767);  // right
  for (int i = 0; i < 5; ++i) read(32767, 0);       // up
  EXPECT_NEAR(CursorX(*Injector), 560, 1);
  EXPECT_NEAR(CursorY(*Injector), 370, 1);
  for (int i = 0; i < 20; ++i) read(0, 65535);  // left and down at once, each at full
  EXPECT_NEAR(CursorX(*Injector), 560 - 20 * 6 * 0.7071, 2);
  EXPECT_NEAR(CursorY(*Injector), 370 + 20 * 6 * 0.7071, 2);
}

// What the detection of the application in front sees: the test plays the window manager and
// names its own window the active one.
TEST_F(X11Test, TheActiveWindowsClassAndExecutable) {
  XClassHint hint{const_cast<char*>("racing"), const_cast<char*>("RacingGame")};
  XSetClassHint(FDisplay, FWindow, &hint);
  const Atom pid = XInternAtom(FDisplay, "_NET_WM_PID", False);
  const unsigned long self = static_cast<unsigned long>(::getpid());
  XChangeProperty(FDisplay, FWindow, pid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&self), 1);
  const Atom active = XInternAtom(FDisplay, "_NET_ACTIVE_WINDOW", False);
  const Window root = DefaultRootWindow(FDisplay);
  XChangeProperty(FDisplay, root, active, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&FWindow), 1);
  XSync(FDisplay, False);
  const TActiveWindow seen = ReadX11ActiveWindow();
  EXPECT_TRUE(seen.Found);
  EXPECT_EQ(seen.Class, "RacingGame");
  EXPECT_EQ(seen.Instance, "racing");
  EXPECT_EQ(seen.Executable, std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(seen.Source.rfind("X11 _NET_ACTIVE_WINDOW on :", 0), 0u) << seen.Source;
  // The program says the same.
  std::string out;
  if (FILE* pipe = ::popen(KESTROVA_BINARY " --active-window", "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    EXPECT_EQ(::pclose(pipe), 0);
  }
  EXPECT_NE(out.find("class: RacingGame\ninstance: racing\nexecutable: "), std::string::npos)
      << out;
  // No window active (none named, or a native Wayland one in front): said so.
  const Window none = 0;
  XChangeProperty(FDisplay, root, active, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&none), 1);
  XSync(FDisplay, False);
  EXPECT_FALSE(ReadX11ActiveWindow().Found);
}

// With its standard output stalled (status lines flooding a pipe nobody reads), a headless run
// still ends at once on SIGTERM and lets go of the key it held.
TEST_F(X11Test, AStalledOutputLeavesNoKeyDownOnStop) {
  const testing::TTempDir dir("kestrova-x11-stall");
  TSlotTable table;
  table[26] = {"KEY DOWN a", "BEGBLOCK 001 RPT 0", "DELAY soon", "ENDBLOCK 001"};
  const std::string profile = (dir / "held.kpf").string();
  WriteProfileFile(profile, table, {300, 300, 300, 300, 300, 300, 300});
  const std::string replay = (dir / "timeline.txt").string();
  std::ofstream(replay) << "0 button 1 down\n100000 end\n";
  const int reader = testing::TProcess::StalledOutput(dir / "stalled");
  ASSERT_GE(reader, 0);
  testing::TProcess process({"--headless", "--output", "x11", "--replay", replay, profile},
                            dir.Path(), {}, {}, {}, dir / "stalled");
  const KeyCode a = XKeysymToKeycode(FDisplay, XK_a);
  const auto down = [&] {
    char keys[32];
    XQueryKeymap(FDisplay, keys);
    return (keys[a / 8] & (1 << (a % 8))) != 0;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!down() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(down());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the pipe is full by now
  process.Signal(SIGTERM);
  const testing::TRun run = process.Wait(std::chrono::seconds(5));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_FALSE(down());
  ::close(reader);
}

TEST(X11Open, UnknownDisplayIsAClearError) {
  try {
    CreateX11Injector(":987");
    FAIL() << "opened a display that does not exist";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Cannot open X display ':987'");
  }
}

}  // namespace
}  // namespace kestrova
