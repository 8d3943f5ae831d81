// The real program with its window under Xvfb, as a user runs it: a replayed controller types
// into the keystroke test box through XTest.

// GoogleTest and Qt first: Xlib defines macros (None, Status, Bool) that clash with their names.
#include <gtest/gtest.h>

#include <QImage>

#include "common/RulesFixture.h"
#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "e2e/Run.h"
#include "mapping/Profile.h"
#include "platform/qt/Shell.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;

// The top-level window whose title starts with prefix, or 0.
Window FindWindow(Display* display, Window parent, const std::string& prefix) {
  Window root = 0;
  Window up = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      if (std::string(name).starts_with(prefix)) found = children[i];
      XFree(name);
    }
    if (!found) found = FindWindow(display, children[i], prefix);
  }
  if (children) XFree(children);
  return found;
}

// Waits up to timeout for a shown top-level window whose title starts with prefix; 0 when none.
Window WaitForWindow(Display* display, const std::string& prefix,
                     std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Window window = FindWindow(display, DefaultRootWindow(display), prefix)) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display, window, &attributes) &&
          attributes.map_state == IsViewable) {
        std::this_thread::sleep_for(200ms);  // placed and drawn
        return window;
      }
    }
    std::this_thread::sleep_for(20ms);
  }
  return 0;
}

// Clicks the left button at (x, y) of the window's client area, where the window is now.
void ClickAt(Display* display, Window window, int x, int y) {
  int left = 0;
  int top = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top, &child);
  XTestFakeMotionEvent(display, DefaultScreen(display), left + x, top + y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
}

bool SaveScreenshot(Display* display, const std::string& path) {
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  XImage* shot =
      XGetImage(display, RootWindow(display, screen), 0, 0, width, height, AllPlanes, ZPixmap);
  if (!shot) return false;
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, static_cast<QRgb>(XGetPixel(shot, x, y)) | 0xFF000000u);
    }
  }
  XDestroyImage(shot);
  return image.save(QString::fromStdString(path), "PNG");
}

TEST(Window, ReplayedButtonTypesIntoTheTestBox) {
  const TTempDir temp("kestrova-window");
  const std::filesystem::path& dir = temp.Path();
  TSlotTable table;
  table[26] = {"KEY DOWN H", "KEY UP H", "KEY DOWN i", "KEY UP i", "KEY DOWN !", "KEY UP !"};
  const std::string profile = (dir / "hi.kpf").string();
  WriteProfileFile(profile, table, {300, 300, 300, 300, 300, 300, 300});
  const std::string replay = (dir / "hi.replay").string();
  std::ofstream(replay) << "3500 button 1 down\n3600 button 1 up\n5000 end\n";
  const std::string state = (dir / "state.txt").string();

  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X server; run under scripts/with-xvfb";
  TProcess process({"--replay", replay, profile}, dir, {"KESTROVA_STATE_FILE=" + state});

  // The user clicks into the keystroke test box once the window is up.
  const Window window = WaitForWindow(display, "Kestrova - ");
  ASSERT_NE(window, 0u) << "the window did not appear";
  ClickAt(display, window, 520, 360);

  const auto typed = process.Started() + 4200ms;
  std::this_thread::sleep_until(typed);
  EXPECT_TRUE(SaveScreenshot(display, KESTROVA_SCREENSHOT));
  // The window stays open after the timeline's end, and says so.
  std::this_thread::sleep_until(process.Started() + 6000ms);
  EXPECT_EQ(process.Wait(0ms).ExitCode, -1) << "the window closed at the end of the timeline";
  process.Signal(SIGTERM);
  const TRun run = process.Wait(20s);
  XCloseDisplay(display);

  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(TProcess::ReadFile(state).find("The replay timeline has ended"), std::string::npos);
  // Tied to its desktop entry, with an icon.
  EXPECT_NE(TProcess::ReadFile(state).find("desktop file: org.example.Kestrova\nicon: set\n"),
            std::string::npos);
  const std::string text = TProcess::ReadFile(state);
  EXPECT_NE(text.find("caption: Kestrova - " + profile), std::string::npos) << text;
  EXPECT_NE(text.find("Executing Button 1 PRESS\n"), std::string::npos) << text;
  EXPECT_NE(text.find("input:\nHi!\n"), std::string::npos) << text;
}

// Profiles follow the application in front: the test plays the window manager, naming windows
// of its own the active one.
TEST(Window, ProfilesFollowTheApplicationInFront) {
  const TTempDir temp("kestrova-follow");
  const std::filesystem::path& dir = temp.Path();
  const TRulesFixture rules = WriteRulesFixture(dir);
  const std::string& racingProfile = rules.RacingProfile;
  const std::string& desktopProfile = rules.DesktopProfile;
  const std::string state = (dir / "state.txt").string();

  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X server; run under scripts/with-xvfb";
  TProcess process({"--output", "print"}, dir,
                   {"KESTROVA_STATE_FILE=" + state, "XDG_CONFIG_HOME=" + rules.ConfigHome});
  const Window own = WaitForWindow(display, "Kestrova");
  ASSERT_NE(own, 0u) << "the window did not appear";

  const Window root = DefaultRootWindow(display);
  const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  const auto makeActive = [&](const char* className, Window window = 0) {
    if (className != nullptr) {
      window = XCreateSimpleWindow(display, root, 0, 0, 10, 10, 0, 0, 0);
      XClassHint hint{const_cast<char*>("app"), const_cast<char*>(className)};
      XSetClassHint(display, window, &hint);
    }
    XChangeProperty(display, root, active, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&window), 1);
    XSync(display, False);
    std::this_thread::sleep_for(700ms);
  };
  makeActive("RacingGame");
  makeActive(nullptr, own);  // Kestrova's own window: the profile stays
  makeActive("Editor");      // any other application: the default profile
  makeActive(nullptr);       // nothing in front (a native Wayland window): the profile stays
  process.Signal(SIGTERM);
  const TRun run = process.Wait(20s);
  XCloseDisplay(display);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const std::string text = TProcess::ReadFile(state);
  EXPECT_NE(text.find("Switched to " + racingProfile + " for RacingGame"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Switched to " + desktopProfile + " for Editor"), std::string::npos) << text;
  EXPECT_NE(text.find("caption: Kestrova - " + desktopProfile), std::string::npos) << text;
  EXPECT_EQ(text.find("Switched to " + desktopProfile),
            text.find("Switched to " + desktopProfile + " for Editor"))
      << text;
}

// Run by tests/install/check-install with KESTROVA_INSTALL_PREFIX set: the installed program,
// started away from the build tree, opens its own help document through the desktop.
// A real window with unsaved edits (Delay clicked): a --load from another process is refused,
// --force loads all the same.
TEST(Window, ForceReachesTheRunningWindowOverUnsavedEdits) {
  const TTempDir temp("kestrova-force");
  const std::filesystem::path& dir = temp.Path();
  const std::string state = (dir / "state.txt").string();
  TSlotTable table;
  table[0] = {"KEY DOWN z"};
  const std::string profile = (dir / "forced.kpf").string();
  WriteProfileFile(profile, table, {300, 300, 300, 300, 300, 300, 300});
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X server; run under scripts/with-xvfb";
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir.string()};
  TProcess window({"--output", "print"}, dir / "window", {env[0], "KESTROVA_STATE_FILE=" + state});
  const Window own = WaitForWindow(display, "Kestrova");
  ASSERT_NE(own, 0u) << "the window did not appear";
  std::this_thread::sleep_for(300ms);
  ClickAt(display, own, 530 + 55, 274 + 8);  // Delay: an unsaved edit
  std::this_thread::sleep_for(300ms);
  TProcess refused({"--load", profile}, dir / "refused", env);
  TRun run = refused.Wait(20s);
  EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
  EXPECT_NE(run.Err.find("unsaved edits"), std::string::npos) << run.Err;
  TProcess forced({"--load", "--force", profile}, dir / "forced", env);
  run = forced.Wait(20s);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  window.Signal(SIGTERM);
  window.Wait(20s);
  XCloseDisplay(display);
  EXPECT_NE(TProcess::ReadFile(state).find("caption: Kestrova - " + profile + "\n"),
            std::string::npos)
      << TProcess::ReadFile(state);
}

// Help through the desktop's opener, watched: an opener that fails at once (a browser that
// exits as it starts) leaves the help to Kestrova's own viewer; one that ends well, or is still
// running when the watch ends, has shown it.
TEST(Window, HelpFallsBackToItsOwnViewerWhenTheBrowserFails) {
  const TTempDir temp("kestrova-help-fails");
  const std::filesystem::path& dir = temp.Path();
  std::filesystem::create_directories(dir / "bin");
  const std::string path = (dir / "bin").string() + ":" + std::getenv("PATH");
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "no X server; run under scripts/with-xvfb";
  for (const auto& [body, viewerExpected] :
       {std::pair{"exit 4", true}, std::pair{"exit 0", false}, std::pair{"sleep 8", false}}) {
    const std::filesystem::path opened = dir / "opened.txt";
    std::filesystem::remove(opened);
    {
      std::ofstream opener(dir / "bin" / "xdg-open");
      opener << "#!/bin/sh\necho \"$1\" >> " << opened.string() << "\n" << body << "\n";
    }
    std::filesystem::permissions(dir / "bin" / "xdg-open", std::filesystem::perms::owner_all);
    TProcess process({"--output", "print"}, dir,
                     {"PATH=" + path, "XDG_RUNTIME_DIR=" + dir.string()});
    const Window window = WaitForWindow(display, "Kestrova");
    ASSERT_NE(window, 0u) << "the window did not appear";
    for (int attempt = 0; attempt < 3 && !std::filesystem::exists(opened); ++attempt) {
      ClickAt(display, window, 520, 518);
      WaitUntil([&] { return std::filesystem::exists(opened); }, 3s);
    }
    ASSERT_TRUE(std::filesystem::exists(opened)) << body;
    const Window viewer =
        WaitForWindow(display, "Kestrova Help", viewerExpected ? 10s : OpenerWatch + 1s);
    EXPECT_EQ(viewer != 0, viewerExpected) << body;
    process.Signal(SIGTERM);
    const TRun run = process.Wait(10s);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
  }
  XCloseDisplay(display);
}

TEST(Window, InstalledProgramOpensItsHelp) {
  const char* prefix = std::getenv("KESTROVA_INSTALL_PREFIX");
  if (prefix == nullptr) GTEST_SKIP() << "KESTROVA_INSTALL_PREFIX is not set";
  const TTempDir temp("kestrova-help");
  const std::filesystem::path& dir = temp.Path();
  // The desktop's opener, replaced by one that notes what it was asked to open.
  const std::filesystem::path opened = dir / "opened.txt";
  std::filesystem::create_directories(dir / "bin");
  {
    std::ofstream opener(dir / "bin" / "xdg-open");
    opener << "#!/bin/sh\necho \"$1\" >> " << opened.string() << "\n";
  }
  std::filesystem::permissions(dir / "bin" / "xdg-open", std::filesystem::perms::owner_all);
  const std::string path = (dir / "bin").string() + ":" + std::getenv("PATH");

  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  TProcess process({}, dir, {"PATH=" + path}, std::string(prefix) + "/bin/kestrova", "/");
  const Window window = WaitForWindow(display, "Kestrova");
  ASSERT_NE(window, 0u) << "the window did not appear";
  // Help; once more if a busy machine let the first click go by.
  for (int attempt = 0; attempt < 3 && !std::filesystem::exists(opened); ++attempt) {
    ClickAt(display, window, 520, 518);
    WaitUntil([&] { return std::filesystem::exists(opened); }, 3s);
  }
  process.Signal(SIGTERM);
  const TRun run = process.Wait(10s);
  XCloseDisplay(display);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const std::string help =
      std::filesystem::canonical(std::string(prefix) + "/share/kestrova/help.htm");
  const std::string text = TProcess::ReadFile(opened);
  EXPECT_EQ(text.substr(0, text.find('\n')), "file://" + help);
}

}  // namespace
}  // namespace kestrova::testing
