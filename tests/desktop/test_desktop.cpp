// The desktop layer without a window: the single instance's protocol and socket folder, the rules
// that pick a profile by application, and the follower's rules against scripted sources.

#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <filesystem>
#include <stdexcept>

#include "common/TempDir.h"
#include "desktop/AppFollower.h"
#include "desktop/Instance.h"

namespace kestrova {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace kestrova::testing;

TEST(InstanceRequests, OnlyWellFormedLinesAreRequests) {
  auto load = ParseInstanceRequest("LOAD\t1\t/home/me/racing.kpf");
  ASSERT_TRUE(load);
  EXPECT_EQ(load->Kind, TInstanceRequest::Load);
  EXPECT_TRUE(load->Force);
  EXPECT_EQ(load->Path, "/home/me/racing.kpf");
  EXPECT_FALSE(ParseInstanceRequest("LOAD\t0\t/with\ttab.kpf")->Force);  // tabs in names are fine
  EXPECT_EQ(ParseInstanceRequest("QUIT")->Kind, TInstanceRequest::Quit);
  EXPECT_FALSE(ParseInstanceRequest("QUIT")->Force);
  EXPECT_TRUE(
      ParseInstanceRequest(FormatInstanceRequest({TInstanceRequest::Quit, true, ""}).substr(0, 6))
          ->Force);
  EXPECT_EQ(ParseInstanceRequest("SHOW")->Kind, TInstanceRequest::Show);
  for (const std::string& bad :
       {std::string("LOAD\t0\tracing.kpf"), std::string("LOAD\t2\t/a.kpf"),
        std::string("LOAD\t0\t"), std::string("LOAD /a.kpf"), std::string("QUIT now"),
        std::string("quit"), std::string(""), "LOAD\t0\t/" + std::string(9000, 'a')}) {
    EXPECT_FALSE(ParseInstanceRequest(bad)) << bad.substr(0, 30);
  }
  // What is sent is what is read back.
  const TInstanceRequest request{TInstanceRequest::Load, false, "/x/y z.kpf"};
  std::string line = FormatInstanceRequest(request);
  ASSERT_EQ(line.back(), '\n');
  line.pop_back();
  EXPECT_EQ(ParseInstanceRequest(line)->Path, "/x/y z.kpf");
  // A reply is one line, whatever its text holds.
  EXPECT_EQ(FormatInstanceReply({false, "List index out of bounds (1)\n\n/a.kpf"}),
            "ERROR\tList index out of bounds (1)  /a.kpf\n");
  // Paths travel byte for byte, whatever they hold.
  for (const std::string& path : {std::string("/x/new\nline.kpf"), std::string("/50%/a\tb c.kpf"),
                                  std::string("/caf\xe9.kpf"), std::string("/%41.kpf")}) {
    std::string line = FormatInstanceRequest({TInstanceRequest::Load, false, path});
    ASSERT_EQ(line.find('\n'), line.size() - 1) << path;  // one line
    line.pop_back();
    ASSERT_TRUE(ParseInstanceRequest(line)) << line;
    EXPECT_EQ(ParseInstanceRequest(line)->Path, path);
  }
  for (const char* bad : {"LOAD\t0\t/a%4", "LOAD\t0\t/a%", "LOAD\t0\t/a%G1", "LOAD\t0\t/a%00b"}) {
    EXPECT_FALSE(ParseInstanceRequest(bad)) << bad;
  }
}

TEST(InstanceRequests, TheSocketFolderIsTheUsersAlone) {
  const TTempDir dir("kestrova-runtime");
  const std::filesystem::path& runtime = dir.Path();
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  std::filesystem::create_directory(runtime / "kestrova");
  std::filesystem::permissions(runtime / "kestrova", std::filesystem::perms::all);  // 0777
  EXPECT_EQ(InstanceSocketPath(2), (runtime / "kestrova" / "instance-2.socket").string());
  EXPECT_EQ(std::filesystem::status(runtime / "kestrova").permissions(),
            std::filesystem::perms::owner_all);                  // made private again
  EXPECT_FALSE(SendInstanceRequest(InstanceSocketPath(2), {}));  // nobody listens
  std::filesystem::remove(runtime / "kestrova");
  std::filesystem::create_symlink("/tmp", runtime / "kestrova");  // not a folder of its own
  EXPECT_THROW(InstanceSocketPath(1), std::runtime_error);
  ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(ApplicationProfiles, TheFirstMatchingRuleElseTheDefault) {
  TAppRules rules;
  EXPECT_EQ(ProfileForApplication(rules, {true, "RacingGame", "racing", "/usr/games/racing", ""}),
            "");  // no rule: nothing switches
  rules.Rules = {{TAppRule::WindowClass, "racinggame", "/p/racing.kpf"},
                 {TAppRule::Executable, "shooter", "/p/shooter.kpf"},
                 {TAppRule::Executable, "/opt/editor/bin/editor", "/p/editor.kpf"}};
  rules.DefaultProfile = "/p/desktop.kpf";
  const auto forApp = [&](const std::string& cls, const std::string& exe) {
    return ProfileForApplication(rules, {true, cls, "", exe, ""});
  };
  EXPECT_EQ(forApp("RacingGame", ""), "/p/racing.kpf");  // classes without regard to case
  EXPECT_EQ(forApp("Wine", "/home/me/.wine/shooter"), "/p/shooter.kpf");   // by file name
  EXPECT_EQ(forApp("Editor", "/opt/editor/bin/editor"), "/p/editor.kpf");  // by path
  EXPECT_EQ(forApp("Editor", "/usr/bin/editor"), "/p/desktop.kpf");        // another path: default
  EXPECT_EQ(ProfileForApplication(rules, {}), "");  // nothing in front: the profile stays
  rules.Enabled = false;
  EXPECT_EQ(forApp("RacingGame", ""), "");
  // Stored as text and read back; malformed texts are no rules.
  TAppRule rule;
  ASSERT_TRUE(ParseAppRule(FormatAppRule(rules.Rules[2]), rule));
  EXPECT_EQ(rule.Match, TAppRule::Executable);
  EXPECT_EQ(rule.Value, "/opt/editor/bin/editor");
  EXPECT_EQ(rule.Profile, "/p/editor.kpf");
  EXPECT_TRUE(ParseAppRule("class|A|/with|bar.kpf", rule));
  EXPECT_EQ(rule.Profile, "/with|bar.kpf");
  for (const char* bad : {"window|A|/a.kpf", "class||/a.kpf", "class|A|", "class|A"}) {
    EXPECT_FALSE(ParseAppRule(bad, rule)) << bad;
  }
}

// An instance that works on a request (a large profile loading) says WAIT: the caller then waits
// for the true outcome, longer than it waits for a first answer.
TEST(InstanceRequests, ACallerWaitsForTheOutcomeOfWorkUnderWay) {
  const TTempDir dir("kestrova-wait");
  const std::string path = (dir / "instance.socket").string();
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(server, 1), 0);
  std::thread instance([server] {
    const int client = ::accept(server, nullptr, nullptr);
    char request[256];
    (void)!::recv(client, request, sizeof request, 0);
    const std::string wait = FormatInstanceProgress();
    (void)!::send(client, wait.data(), wait.size(), MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // longer than the first wait
    const std::string done = FormatInstanceReply({true, "loaded /big.kpf"});
    (void)!::send(client, done.data(), done.size(), MSG_NOSIGNAL);
    ::close(client);
  });
  const auto reply =
      SendInstanceRequest(path, {TInstanceRequest::Load, false, "/big.kpf"}, /*timeoutMs=*/100);
  instance.join();
  ::close(server);
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->Ok);
  EXPECT_EQ(reply->Text, "loaded /big.kpf");
}

// A source whose reports and reporting state the test scripts.
class TScriptedSource : public TActiveWindowSource {
 public:
  explicit TScriptedSource(TActiveWindowHandlers handlers) : Handlers(std::move(handlers)) {}
  int Fd() const override { return -1; }
  void Dispatch() override {}
  bool Reporting() const override { return IsReporting; }
  void Tell(const std::string& cls, unsigned long pid = 100) {
    IsReporting = true;
    Handlers.OnChanged({true, cls, "", "", "scripted", pid});
  }
  void Lose(const std::string& why) {
    IsReporting = false;
    Handlers.OnLost(why);
  }
  TActiveWindowHandlers Handlers;
  bool IsReporting = false;
};

// A window that records what the follower asks of it, in order.
struct TFollowerFixture : ::testing::Test {
  TAppRules Rules;
  std::string Shown;
  bool Saved = true;
  std::vector<std::string> Calls;
  TAppFollower Follower{Window(), OwnPid};
  TScriptedSource* KWin = nullptr;
  TScriptedSource* X11 = nullptr;
  static constexpr unsigned long OwnPid = 777;

  TFollowerFixture() {
    Rules.Rules = {{TAppRule::WindowClass, "RacingGame", "/p/racing.kpf"},
                   {TAppRule::WindowClass, "Broken", "/p/broken.kpf"}};
    Rules.DefaultProfile = "/p/desktop.kpf";
    auto kwin = std::make_unique<TScriptedSource>(Follower.HandlersFor(TWindowSourceKind::KWin));
    auto x11 = std::make_unique<TScriptedSource>(Follower.HandlersFor(TWindowSourceKind::X11));
    KWin = kwin.get();
    X11 = x11.get();
    X11->IsReporting = true;
    Follower.AddSource(TWindowSourceKind::KWin, std::move(kwin));
    Follower.AddSource(TWindowSourceKind::X11, std::move(x11));
  }

  TFollowedWindow Window() {
    TFollowedWindow window;
    window.Rules = [this] { return Rules; };
    window.ProfilePath = [this] { return Shown; };
    window.Saved = [this] { return Saved; };
    window.ReleaseAll = [this] { Calls.push_back("release"); };
    window.LoadProfile = [this](const std::string& path) -> std::string {
      Calls.push_back("load " + path);
      if (path == "/p/broken.kpf") return "List index out of bounds (1)\nmore";
      Shown = path;
      return "";
    };
    window.StatusLine = [this](const std::string& line) { Calls.push_back("status " + line); };
    return window;
  }
};

TEST_F(TFollowerFixture, SwitchesAfterReleasingAndOnlyWhenItShould) {
  X11->Tell("RacingGame");
  EXPECT_THAT(Calls, ElementsAre("release", "load /p/racing.kpf",
                                 "status Switched to /p/racing.kpf for RacingGame"));
  Calls.clear();
  X11->Tell("RacingGame");      // shown already: nothing, not even a release
  X11->Tell("Editor", OwnPid);  // Kestrova's own window keeps the profile
  EXPECT_THAT(Calls, IsEmpty());
  Saved = false;
  X11->Tell("Editor");
  EXPECT_THAT(Calls, ElementsAre("status Not switched to /p/desktop.kpf for Editor: the profile "
                                 "shown has unsaved edits"));
  Saved = true;
  Calls.clear();
  X11->Tell("Broken");  // the first line of the error; the profile stays
  EXPECT_THAT(Calls, ElementsAre("release", "load /p/broken.kpf",
                                 "status Not switched to /p/broken.kpf for Broken: List index out "
                                 "of bounds (1)"));
  EXPECT_EQ(Shown, "/p/racing.kpf");
}

TEST_F(TFollowerFixture, KWinIsPreferredWhileItReportsAndItsFirstReportSwitchesNothing) {
  KWin->Tell("RacingGame");  // what was in front at the start
  EXPECT_THAT(Calls, IsEmpty());
  X11->Tell("Editor");  // the X display is not heard while KWin reports
  EXPECT_THAT(Calls, IsEmpty());
  KWin->Tell("Editor");
  EXPECT_EQ(Shown, "/p/desktop.kpf");
  Calls.clear();
  KWin->Lose("KWin left the session bus");
  EXPECT_THAT(Calls, ElementsAre("status Profiles by application: KWin left the session bus; "
                                 "only X11 windows are seen now"));
  X11->Tell("RacingGame");  // heard again
  EXPECT_EQ(Shown, "/p/racing.kpf");
  KWin->Tell("Editor");  // KWin back: no second start-up report to skip
  EXPECT_EQ(Shown, "/p/desktop.kpf");
  // Without rules, losing KWin is no news.
  Rules.Rules.clear();
  Calls.clear();
  KWin->Lose("gone");
  EXPECT_THAT(Calls, IsEmpty());
}

TEST_F(TFollowerFixture, RemembersTheLastFiveApplicationsNewestFirst) {
  KWin->Tell("Start");  // the start-up report is remembered, though it switches nothing
  KWin->IsReporting = false;
  for (const char* cls : {"A", "B", "C", "D", "B", "E"}) X11->Tell(cls);
  X11->Tell("Kestrova", OwnPid);  // not Kestrova itself
  X11->Tell("");                  // nor a window without a class
  EXPECT_THAT(Follower.Seen(), ElementsAre("E", "B", "D", "C", "A"));
}

// A storm of focus changes: at most one switch every gap, the last application reported in the
// meantime switched to when it has passed; never over unsaved edits.
TEST_F(TFollowerFixture, AFocusStormSwitchesOncePerGapAndEndsOnTheLast) {
  auto now = std::chrono::steady_clock::time_point{};
  std::vector<std::pair<int, std::function<void()>>> later;
  TFollowedWindow window = Window();
  window.Now = [&now] { return now; };
  window.Later = [&later](int ms, std::function<void()> task) { later.emplace_back(ms, task); };
  TAppFollower follower(window, OwnPid);
  for (int i = 0; i < 300; ++i) {
    follower.Report(TWindowSourceKind::X11,
                    {true, i % 2 == 0 ? "RacingGame" : "Editor", "", "", "x11", 100});
    now += std::chrono::microseconds(300);  // 300 reports in 90 ms
  }
  EXPECT_THAT(Calls, ElementsAre("release", "load /p/racing.kpf",
                                 "status Switched to /p/racing.kpf for RacingGame"));
  ASSERT_EQ(later.size(), 1u);  // one wait, however many reports came in it
  EXPECT_GE(later[0].first, 10);
  EXPECT_LE(later[0].first, 100);
  now += std::chrono::milliseconds(later[0].first);
  later[0].second();
  EXPECT_EQ(Shown, "/p/desktop.kpf");  // the last report: Editor
  EXPECT_EQ(Calls.size(), 6u);
  // Unsaved edits stop a held-back switch too.
  now += std::chrono::milliseconds(10);
  follower.Report(TWindowSourceKind::X11, {true, "RacingGame", "", "", "x11", 100});
  ASSERT_EQ(later.size(), 2u);
  Saved = false;
  later[1].second();
  EXPECT_EQ(Shown, "/p/desktop.kpf");
  EXPECT_THAT(Calls.back(), ::testing::HasSubstr("the profile shown has unsaved edits"));
}

// A compositor that never reported says why at once, rules or not (the extension it lacks); the
// sources' notes are told while rules are in use.
TEST_F(TFollowerFixture, ACompositorThatNeverToldSaysWhy) {
  Rules.Rules.clear();
  KWin->Lose("GNOME Shell does not tell the window in front");
  EXPECT_THAT(Calls, ElementsAre("status Profiles by application: GNOME Shell does not tell the "
                                 "window in front; only X11 windows are seen now"));
  Calls.clear();
  KWin->Handlers.OnNote("sway sent a message that is not JSON");
  EXPECT_THAT(Calls, IsEmpty());
  Rules.Rules = {{TAppRule::WindowClass, "RacingGame", "/p/racing.kpf"}};
  KWin->Handlers.OnNote("sway sent a message that is not JSON");
  EXPECT_THAT(Calls, ElementsAre("status Profiles by application: sway sent a message that is "
                                 "not JSON"));
}

// Which compositor tells the application in front, by what the desktop's environment says.
TEST(WindowSources, ChosenByTheDesktop) {
  const auto choose = [](TDesktopEnvironment desktop, bool x) {
    const TWindowSourceChoice choice = ChooseWindowSources(desktop, x);
    std::string kind = "none";
    if (choice.Compositor) {
      constexpr const char* names[] = {"x11", "kwin", "gnome", "sway", "hyprland"};
      kind = names[static_cast<int>(*choice.Compositor)];
    }
    return kind + "|" + choice.Address + "|" + (choice.X11 ? "x" : "-") + "|" + choice.Description;
  };
  TDesktopEnvironment wayland{"wayland-0", "wayland", ":0", "", "/run/user/1000"};
  TDesktopEnvironment gnome = wayland;
  gnome.CurrentDesktop = "ubuntu:GNOME";
  EXPECT_EQ(choose(gnome, true),
            "gnome||x|GNOME Shell, through Kestrova's extension, and the X "
            "display :0 for XWayland windows");
  gnome.CurrentDesktop = "gnome-classic:gnome";  // any case
  EXPECT_EQ(choose(gnome, false), "gnome||-|GNOME Shell, through Kestrova's extension");
  gnome.CurrentDesktop = "GNOMEish";  // a name, not a part of one
  EXPECT_EQ(choose(gnome, false), "kwin||-|KWin, where it runs");
  TDesktopEnvironment sway = wayland;
  sway.CurrentDesktop = "sway";
  sway.SwaySocket = "/run/user/1000/sway-ipc.1000.42.sock";
  sway.I3Socket = "/run/user/1000/i3.sock";
  EXPECT_EQ(choose(sway, false),
            "sway|/run/user/1000/sway-ipc.1000.42.sock|-|sway's IPC socket "
            "(SWAYSOCK)");
  TDesktopEnvironment i3{"", "x11", ":1", "", ""};
  i3.I3Socket = "/tmp/i3.sock";
  EXPECT_EQ(choose(i3, true), "sway|/tmp/i3.sock|x|i3's IPC socket (I3SOCK), and the X display :1");
  TDesktopEnvironment hyprland = sway;  // Hyprland's signature wins over a SWAYSOCK left behind
  hyprland.HyprlandSignature = "abc_1_2";
  EXPECT_EQ(choose(hyprland, true),
            "hyprland|abc_1_2|x|Hyprland's event socket "
            "(HYPRLAND_INSTANCE_SIGNATURE), and the X display :0 for "
            "XWayland windows");
  TDesktopEnvironment kde{"", "x11", ":0", "", ""};
  kde.CurrentDesktop = "KDE";
  EXPECT_EQ(choose(kde, true), "kwin||x|KWin, and the X display :0");
}

TEST(AskInFront, KWinFirstThenTheXDisplay) {
  const TActiveWindow kwinWindow{true, "FromKWin", "", "", "kwin", 1};
  const TActiveWindow xWindow{true, "FromX", "", "", "x11", 2};
  std::vector<std::string> notes;
  const auto note = [&notes](const std::string& text) { notes.push_back(text); };
  const TInFrontQuery x11 = [&] { return std::optional(xWindow); };
  EXPECT_EQ(AskInFront([&] { return std::optional(kwinWindow); }, x11, note).Class, "FromKWin");
  EXPECT_EQ(AskInFront([] { return std::optional<TActiveWindow>(); }, x11, note).Class, "FromX");
  EXPECT_EQ(AskInFront({}, x11, note).Class, "FromX");  // a build that cannot ask KWin
  EXPECT_THAT(notes, IsEmpty());
  const TInFrontQuery failing = []() -> std::optional<TActiveWindow> {
    throw std::runtime_error("KWin did not answer");
  };
  EXPECT_EQ(AskInFront(failing, x11, note).Class, "FromX");
  EXPECT_THAT(notes, ElementsAre("KWin did not answer; asking the X display"));
  EXPECT_THROW(AskInFront({}, failing, note), std::runtime_error);
}

}  // namespace
}  // namespace kestrova
