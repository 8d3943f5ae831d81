// The application in front on the real compositors, headless: sway with two Wayland clients of
// different application ids focused in turn, and GNOME Shell with Kestrova's extension. sway and
// GNOME Shell refuse to run as root; as root the test runs them, their clients and Kestrova as
// the user nobody (setpriv), with folders that user owns. Where a compositor cannot run here,
// the test says why and is skipped.

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "common/RulesFixture.h"
#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "e2e/Run.h"

namespace kestrova::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr uid_t Nobody = 65534;

bool Installed(const char* program) {
  return ::access(program, X_OK) == 0;
}

// A session of one user (nobody, when the test runs as root): its folders, and the processes it
// starts, which end with it.
class TUserSession {
 public:
  explicit TUserSession(const char* name) : FDir(name) {
    for (const char* folder : {"runtime", "home", "config", "data", "logs"}) {
      fs::create_directories(FDir.Path() / folder);
    }
    ::chmod((FDir.Path() / "runtime").c_str(), 0700);
    if (::geteuid() == 0) {
      ::chmod(FDir.Path().c_str(), 0755);
      for (const auto& entry : fs::recursive_directory_iterator(FDir.Path())) {
        (void)!::chown(entry.path().c_str(), Nobody, Nobody);
      }
      (void)!::chown(FDir.Path().c_str(), Nobody, Nobody);
    }
  }
  ~TUserSession() {
    // The clients first, then the compositors; then whatever they started (bus daemons that
    // went into the background): every process whose environment names this session's folder.
    for (auto it = FProcesses.rbegin(); it != FProcesses.rend(); ++it) (*it)->Signal(SIGTERM);
    std::this_thread::sleep_for(200ms);
    const std::string mark = "XDG_RUNTIME_DIR=" + Path("runtime").string();
    for (int round = 0; round < 2; ++round) {
      std::error_code error;
      for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream environ(entry.path() / "environ", std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(environ),
                               std::istreambuf_iterator<char>()};
        if (text.find(mark + '\0') != std::string::npos) {
          ::kill(std::stoi(name), round == 0 ? SIGTERM : SIGKILL);
        }
      }
      std::this_thread::sleep_for(300ms);
    }
  }

  fs::path Path(const std::string& name) const { return FDir.Path() / name; }
  // Waits for the window started last to listen for requests, which it does just before it asks
  // what is in front, and gives it a moment to have its answer.
  bool WaitForWindow() const {
    const bool listening = WaitUntil(
        [&] { return fs::exists(Path("runtime") / "kestrova" / "instance-1.socket"); }, 20s);
    std::this_thread::sleep_for(1500ms);
    return listening;
  }
  // Makes what the session's user must own, owned by it.
  void Own(const fs::path& path) const {
    if (::geteuid() != 0) return;
    (void)!::chown(path.c_str(), Nobody, Nobody);
    if (fs::is_directory(path)) {
      for (const auto& entry : fs::recursive_directory_iterator(path)) {
        (void)!::chown(entry.path().c_str(), Nobody, Nobody);
      }
    }
  }

  // The environment every program of the session gets.
  std::vector<std::string> Environment(const std::vector<std::string>& more = {}) const {
    std::vector<std::string> env = {"PATH=/usr/bin:/bin",
                                    "XDG_RUNTIME_DIR=" + Path("runtime").string(),
                                    "HOME=" + Path("home").string(),
                                    "XDG_CONFIG_HOME=" + Path("config").string(),
                                    "XDG_DATA_HOME=" + Path("data").string(),
                                    "LANG=C.UTF-8"};
    env.insert(env.end(), more.begin(), more.end());
    return env;
  }

  // Starts program as the session's user with exactly the session's environment and more.
  TProcess& Start(const std::string& name, const std::vector<std::string>& command,
                  const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments;
    if (::geteuid() == 0) {
      arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    arguments.push_back("/usr/bin/env");
    arguments.push_back("-i");
    for (const auto& entry : Environment(more)) arguments.push_back(entry);
    arguments.insert(arguments.end(), command.begin(), command.end());
    const std::string binary = ::geteuid() == 0 ? "/usr/bin/setpriv" : arguments[0];
    if (::geteuid() != 0) arguments.erase(arguments.begin());
    FProcesses.push_back(std::make_unique<TProcess>(
        arguments, Path("logs") / name, std::vector<std::string>{}, binary, Path("home").string()));
    return *FProcesses.back();
  }
  // Runs a command to its end: its output.
  TRun Run(const std::string& name, const std::vector<std::string>& command,
           const std::vector<std::string>& more = {}, std::chrono::milliseconds timeout = 20s) {
    return Start(name, command, more).Wait(timeout);
  }

 private:
  TTempDir FDir;
  std::vector<std::unique_ptr<TProcess>> FProcesses;
};

// What the window wrote of its caption and status box when it ended.
std::string StateOf(const fs::path& path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Kestrova's window on the session, with the rules' fixture, while the focus goes to Editor and
// then to RacingGame: the rules, and what its state file says once it has ended. settle, when
// given, returns once the compositor has answered the window's first question (what the window
// first hears switches nothing, so a focus change must come after it).
struct TFollowed {
  TRulesFixture Rules;
  std::string State;
};
TFollowed FollowTheFocus(TUserSession& session, std::vector<std::string> environment,
                         const std::function<void(const std::string&)>& focus,
                         const std::function<void()>& settle = {}) {
  fs::create_directories(session.Path("rules"));
  TFollowed followed{WriteRulesFixture(session.Path("rules")), {}};
  session.Own(session.Path("rules"));
  const fs::path state = session.Path("logs") / "state.txt";
  environment.insert(environment.end(),
                     {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + followed.Rules.ConfigHome,
                      "KESTROVA_STATE_FILE=" + state.string()});
  TProcess& kestrova =
      session.Start("kestrova", {KESTROVA_BINARY, "--output", "print"}, environment);
  EXPECT_TRUE(session.WaitForWindow());
  if (settle) settle();
  for (const char* application : {"Editor", "RacingGame"}) {
    focus(application);
    std::this_thread::sleep_for(500ms);
  }
  kestrova.Signal(SIGTERM);
  const TRun ended = kestrova.Wait(20s);
  EXPECT_EQ(ended.ExitCode, 0) << ended.Err;
  followed.State = StateOf(state);
  return followed;
}

class SwayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("/usr/bin/sway") || !Installed("/usr/bin/foot")) {
      GTEST_SKIP() << "sway or foot is not installed (scripts/install-deps installs them)";
    }
    std::ofstream(Session.Path("sway.config")) << "output HEADLESS-1 resolution 1280x800\n";
    Session.Own(Session.Path("sway.config"));
    Session.Start("sway", {"/usr/bin/sway", "-c", Session.Path("sway.config").string()},
                  {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"});
    const bool up = WaitUntil(
        [&] {
          for (const auto& entry : fs::directory_iterator(Session.Path("runtime"))) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("sway-ipc.")) Socket = entry.path().string();
          }
          return !Socket.empty() && fs::exists(Session.Path("runtime") / "wayland-1");
        },
        15s);
    if (!up) {
      GTEST_SKIP() << "sway did not start here: "
                   << TProcess::ReadFile(Session.Path("logs") / "sway" / "stderr");
    }
  }
  std::vector<std::string> Wayland() const {
    return {"SWAYSOCK=" + Socket, "WAYLAND_DISPLAY=wayland-1", "XDG_CURRENT_DESKTOP=sway"};
  }
  // A foot terminal with that application id, once sway shows it focused.
  void OpenClient(const std::string& appId) {
    Session.Start("foot-" + appId, {"/usr/bin/foot", "--app-id=" + appId, "sleep", "120"},
                  Wayland());
    ASSERT_TRUE(
        WaitUntil([&] { return InFront().find("class: " + appId) != std::string::npos; }, 15s))
        << InFront();
  }
  void Focus(const std::string& appId) {
    const TRun run =
        Session.Run("swaymsg", {"/usr/bin/swaymsg", "[app_id=" + appId + "] focus"}, Wayland());
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
  }
  std::string InFront() {
    const TRun run = Session.Run("active", {KESTROVA_BINARY, "--active-window"}, Wayland());
    return run.Out + run.Err;
  }

  TUserSession Session{"kestrova-sway"};
  std::string Socket;
};

// --active-window names each client as it comes in front; the window's profile follows the
// focus, what was in front at its start switching nothing.
TEST_F(SwayTest, TheProfileFollowsTheFocus) {
  OpenClient("RacingGame");
  OpenClient("Editor");
  Focus("RacingGame");
  const std::string told = InFront();
  EXPECT_THAT(told, HasSubstr("class: RacingGame\n"));
  EXPECT_THAT(told, HasSubstr("source: sway's IPC socket"));
  EXPECT_THAT(told, HasSubstr("executable: /usr/bin/foot"));

  const auto [rules, text] =
      FollowTheFocus(Session, {"SWAYSOCK=" + Socket, "XDG_CURRENT_DESKTOP=sway"},
                     [this](const std::string& id) { Focus(id); });
  EXPECT_THAT(text, HasSubstr("the application in front is told by sway's IPC socket (SWAYSOCK)"));
  EXPECT_THAT(text, HasSubstr("Switched to " + rules.DesktopProfile + " for Editor"));
  EXPECT_THAT(text, HasSubstr("Switched to " + rules.RacingProfile + " for RacingGame"));
  EXPECT_LT(text.find("for Editor"), text.find("for RacingGame")) << text;
  EXPECT_THAT(text, HasSubstr("caption: Kestrova - " + rules.RacingProfile));
}

// GNOME Shell 43, headless, in a mount namespace of its own (a tmpfs over /run/systemd, so that it
// does not look for logind), on a private session bus with a second one as the system bus, with
// Kestrova's extension and the tests' helper (which leaves the overview and focuses a window by
// its class) installed into the session's data folder and enabled.
class GnomeShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("/usr/bin/gnome-shell") || !Installed("/usr/bin/foot") ||
        !Installed("/usr/bin/dbus-run-session") || !Installed("/usr/bin/unshare")) {
      GTEST_SKIP() << "gnome-shell, foot, dbus-run-session or unshare is not installed";
    }
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace of its own";
    const fs::path extensions = Session.Path("data") / "gnome-shell" / "extensions";
    fs::create_directories(extensions);
    for (const fs::path& extension :
         {fs::path(KESTROVA_SOURCE_DIR) / "data/gnome-shell/kestrova-focus@example.org",
          fs::path(KESTROVA_SOURCE_DIR) / "tests/desktop/gnome-helper@example.org"}) {
      fs::copy(extension, extensions / extension.filename(), fs::copy_options::recursive);
    }
    Session.Own(Session.Path("data"));
    const fs::path script = Session.Path("shell.sh");
    std::ofstream(script)
        << "#!/bin/sh\n"
        << "dbus-daemon --session --fork --print-address=3 3>\"$1/system-bus\"\n"
        << "export DBUS_SYSTEM_BUS_ADDRESS=$(cat \"$1/system-bus\")\n"
        << "gsettings set org.gnome.shell enabled-extensions "
           "\"['kestrova-focus@example.org', 'gnome-helper@example.org']\"\n"
        << "echo \"$DBUS_SESSION_BUS_ADDRESS\" > \"$1/session-bus.new\"\n"
        << "mv \"$1/session-bus.new\" \"$1/session-bus\"\n"
        << "exec gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800\n";
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    const std::string logs = Session.Path("logs").string();
    // The namespace is made as root; all inside runs as the session's user.
    std::vector<std::string> user;
    for (const auto& entry : Session.Environment()) user.push_back(entry);
    std::string command =
        "mount -t tmpfs tmpfs /run/systemd && exec setpriv --reuid=65534 "
        "--regid=65534 --clear-groups -- /usr/bin/env -i";
    for (const auto& entry : user) command += " '" + entry + "'";
    command += " dbus-run-session -- " + script.string() + " " + logs;
    Shell = std::make_unique<TProcess>(std::vector<std::string>{"-m", "sh", "-c", command},
                                       Session.Path("logs") / "shell", std::vector<std::string>{},
                                       "/usr/bin/unshare");
    const bool bus =
        WaitUntil([&] { return fs::exists(Session.Path("logs") / "session-bus"); }, 20s);
    if (bus) {
      std::ifstream(Session.Path("logs") / "session-bus") >> Bus;
    }
    if (!bus ||
        !WaitUntil([&] { return Call("org.kestrova.Focus.GetFocus").ExitCode == 0; }, 30s)) {
      GTEST_SKIP() << "GNOME Shell did not start here, or without its extensions: "
                   << TProcess::ReadFile(Session.Path("logs") / "shell" / "stderr").substr(0, 3000);
    }
  }
  void TearDown() override {
    if (Shell) Shell->Signal(SIGKILL);
  }
  std::vector<std::string> Desktop() const {
    return {"DBUS_SESSION_BUS_ADDRESS=" + Bus, "WAYLAND_DISPLAY=wayland-0",
            "XDG_CURRENT_DESKTOP=GNOME"};
  }
  TRun Call(const std::string& method, const std::vector<std::string>& arguments = {},
            const std::string& path = "/org/kestrova/Focus") {
    std::vector<std::string> command = {
        "/usr/bin/gdbus", "call", "--session", "--dest", "org.gnome.Shell",
        "--object-path",  path,   "--method",  method};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return Session.Run("gdbus", command, Desktop(), 10s);
  }
  void Focus(const std::string& cls) {
    ASSERT_TRUE(WaitUntil(
        [&] {
          const TRun run = Call("org.kestrova.TestHelper.Focus", {cls}, "/org/kestrova/TestHelper");
          return run.Out.find("true") != std::string::npos &&
                 InFront().find("class: " + cls + "\n") != std::string::npos;
        },
        15s))
        << InFront();
  }
  std::string InFront() {
    const TRun run = Session.Run("active", {KESTROVA_BINARY, "--active-window"}, Desktop());
    return run.Out + run.Err;
  }

  TUserSession Session{"kestrova-gnome"};
  std::unique_ptr<TProcess> Shell;
  std::string Bus;
};

// --active-window names each client in front, the profile follows the focus; without the
// extension, what to do is said.
TEST_F(GnomeShellTest, TheProfileFollowsTheFocus) {
  for (const char* appId : {"RacingGame", "Editor"}) {
    Session.Start(std::string("foot-") + appId,
                  {"/usr/bin/foot", std::string("--app-id=") + appId, "sleep", "120"}, Desktop());
  }
  Focus("RacingGame");
  const std::string told = InFront();
  EXPECT_THAT(told, HasSubstr("source: GNOME Shell, through Kestrova's extension"));
  EXPECT_THAT(told, HasSubstr("executable: /usr/bin/foot"));

  std::vector<std::string> window = Desktop();
  window.erase(window.begin() + 1);  // no WAYLAND_DISPLAY: offscreen
  const auto [rules, text] = FollowTheFocus(
      Session, window, [this](const std::string& cls) { Focus(cls); },
      // The shell answers in order: once a later question is answered, the
      // window's first one has been too.
      [this] { (void)InFront(); });
  EXPECT_THAT(text, HasSubstr("told by GNOME Shell, through Kestrova's extension"));
  EXPECT_THAT(text, HasSubstr("Switched to " + rules.DesktopProfile + " for Editor"));
  EXPECT_THAT(text, HasSubstr("Switched to " + rules.RacingProfile + " for RacingGame"));
  EXPECT_LT(text.find("for Editor"), text.find("for RacingGame")) << text;

  ASSERT_EQ(Call("org.gnome.Shell.Extensions.DisableExtension", {"kestrova-focus@example.org"},
                 "/org/gnome/Shell")
                .ExitCode,
            0);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return InFront().find("gnome-extensions enable kestrova-focus@example.org") !=
               std::string::npos;
      },
      10s))
      << InFront();
}

}  // namespace
}  // namespace kestrova::testing
