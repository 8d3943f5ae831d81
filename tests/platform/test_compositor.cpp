// The application in front as sway and Hyprland tell it, against stand-in sockets that speak
// their documented protocols: what is reported and when, and what a peer that misbehaves gets
// (malformed, huge or endless messages, a closed socket, a socket of another user).

#include <gmock/gmock.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "common/TempDir.h"
#include "platform/compositor/CompositorSocket.h"
#include "platform/compositor/Hyprland.h"
#include "platform/compositor/Sway.h"

namespace kestrova::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

int Listen(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string ReadFor(int fd, std::chrono::milliseconds time) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < end) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 10) <= 0) continue;
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<std::size_t>(n));
  }
  return got;
}

// What a source told.
struct TTold {
  std::vector<TActiveWindow> Changes;
  std::vector<std::string> Losses;
  std::vector<std::string> Notes;
  TActiveWindowHandlers Handlers() {
    return {[this](const TActiveWindow& a) { Changes.push_back(a); },
            [this](const std::string& why) { Losses.push_back(why); },
            [this](const std::string& note) { Notes.push_back(note); }};
  }
  std::vector<std::string> Classes() const {
    std::vector<std::string> classes;
    for (const auto& change : Changes) classes.push_back(change.Found ? change.Class : "(none)");
    return classes;
  }
};

// Dispatches the source while its descriptor has something to read, up to time.
void Pump(TActiveWindowSource& source, std::chrono::milliseconds time = 300ms) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < end && source.Fd() >= 0) {
    pollfd wait{source.Fd(), POLLIN, 0};
    if (::poll(&wait, 1, 20) > 0) source.Dispatch();
  }
}

std::string SwayMessage(std::uint32_t type, const std::string& payload) {
  std::string message = "i3-ipc";
  const auto length = static_cast<std::uint32_t>(payload.size());
  message.append(reinterpret_cast<const char*>(&length), 4);
  message.append(reinterpret_cast<const char*>(&type), 4);
  return message + payload;
}

std::string FocusEvent(const std::string& appId) {
  return SwayMessage(0x80000003u, R"({"change":"focus","container":{"app_id":")" + appId +
                                      R"(","pid":)" + std::to_string(::getpid()) + "}}");
}

const std::string Tree =
    R"({"type":"root","nodes":[{"type":"output","nodes":[
  {"type":"workspace","focused":false,"nodes":[{"app_id":"foot","focused":false,"pid":1}],
   "floating_nodes":[{"app_id":null,"focused":true,"pid":)" +
    std::to_string(::getpid()) +
    R"(,"window_properties":{"class":"RacingGame","instance":"racing"}}]}]}]})";

// A stand-in sway: the test accepts the source's connection and speaks for sway.
class SwayTest : public ::testing::Test {
 protected:
  void SetUp() override { Server = Listen(Path); }
  void TearDown() override {
    if (Client >= 0) ::close(Client);
    ::close(Server);
  }
  // Takes the source's connection and answers its subscription and its question for the tree.
  void Accept(const std::string& tree = Tree, bool subscribed = true) {
    Client = ::accept4(Server, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(Client, 0);
    const std::string asked = ReadFor(Client, 100ms);
    EXPECT_EQ(asked, SwayMessage(2, R"(["window"])") + SwayMessage(4, ""));
    Send(SwayMessage(2, subscribed ? R"({"success":true})" : R"({"success":false})") +
         SwayMessage(4, tree));
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(Client, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  TTempDir Dir{"kestrova-sway"};
  std::string Path =
      (Dir.Path() / ("sway-ipc." + std::to_string(::geteuid()) + ".1.sock")).string();
  int Server = -1;
  int Client = -1;
  TTold Told;
};

// The tree's focused window is the first report, an XWayland window named by its class with its
// process; each dispatch reports the last focus of what came, events of other changes are
// passed over.
TEST_F(SwayTest, TheTreeFirstThenTheLastFocusOfEachBatch) {
  auto source = CreateSwayActiveWindowSource(Path, Told.Handlers());
  Accept();
  Pump(*source);
  ASSERT_THAT(Told.Classes(), ElementsAre("RacingGame"));
  EXPECT_EQ(Told.Changes[0].Instance, "racing");
  EXPECT_EQ(Told.Changes[0].Pid, static_cast<unsigned long>(::getpid()));
  EXPECT_EQ(Told.Changes[0].Executable, std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_TRUE(source->Reporting());
  Send(FocusEvent("alpha") + FocusEvent("beta") +
       SwayMessage(0x80000003u, R"({"change":"title","container":{"app_id":"gamma"}})"));
  Pump(*source);
  EXPECT_THAT(Told.Classes(), ElementsAre("RacingGame", "beta"));
  // A focus storm: a thousand events, a report per read at most, the last one last.
  std::string storm;
  for (int i = 0; i < 1000; ++i) storm += FocusEvent(i % 2 == 0 ? "alpha" : "beta");
  storm += FocusEvent("omega");
  Send(storm);
  Pump(*source);
  EXPECT_LT(Told.Changes.size(), 100u);
  EXPECT_EQ(Told.Changes.back().Class, "omega");
  // Nothing focused: a workspace of its own.
  EXPECT_FALSE(FocusedInSwayTree(R"({"nodes":[{"type":"workspace","focused":true}]})").Found);
  EXPECT_THAT(Told.Losses, IsEmpty());
  EXPECT_THAT(Told.Notes, IsEmpty());
}

// What no compositor sends ends the connection with one line that says what; a message that is
// not JSON is passed over and said once; sway closing the socket is said; a sway started again
// beside the old socket is found by Reconnect.
TEST_F(SwayTest, MisbehavingPeersAndARestart) {
  const struct {
    std::string Bytes;
    const char* Lost;
  } cases[] = {
      {"not-ipc" + std::string(7, 'x'), "sway sent a message without the IPC's magic string"},
      {SwayMessage(0x80000003u, "").substr(0, 6) +
           std::string("\xff\xff\xff\x7f\x03\x00\x00\x80", 8),
       "sway sent a message of 2147483647 bytes, more than any compositor sends"},
      {"", "sway closed its IPC socket"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Lost);
    Told = {};
    auto source = CreateSwayActiveWindowSource(Path, Told.Handlers());
    Accept();
    Pump(*source);
    Send(SwayMessage(0x80000003u, "{not json") + SwayMessage(0x80000003u, "[[[") +
         FocusEvent("alpha"));
    Pump(*source);
    EXPECT_THAT(Told.Classes(), ElementsAre("RacingGame", "alpha"));
    EXPECT_THAT(Told.Notes, ElementsAre(HasSubstr("sway sent a message that is not JSON")));
    if (c.Bytes.empty()) {
      ::close(Client);
      Client = -1;
    } else {
      Send(c.Bytes);
    }
    Pump(*source);
    EXPECT_THAT(Told.Losses, ElementsAre(c.Lost));
    EXPECT_FALSE(source->Reporting());
    EXPECT_LT(source->Fd(), 0);
    if (Client >= 0) ::close(Client);
    Client = -1;
  }
  // Refused events: lost at once.
  Told = {};
  auto refused = CreateSwayActiveWindowSource(Path, Told.Handlers());
  Accept(Tree, false);
  Pump(*refused);
  EXPECT_THAT(Told.Losses, ElementsAre("sway refused to tell its window events"));
  ::close(Client);
  Client = -1;

  // sway again, with a socket of a new process id: the old path is gone.
  Told = {};
  auto source = CreateSwayActiveWindowSource(Path, Told.Handlers());
  Accept();
  Pump(*source);
  ::close(Server);
  ::unlink(Path.c_str());
  ::close(Client);
  Client = -1;
  Pump(*source);
  ASSERT_EQ(Told.Losses.size(), 1u);
  EXPECT_FALSE(source->Reconnect());  // no sway at all yet
  Path = (Dir.Path() / ("sway-ipc." + std::to_string(::geteuid()) + ".2.sock")).string();
  Server = Listen(Path);
  ASSERT_TRUE(source->Reconnect());
  Accept(R"({"nodes":[{"app_id":"again","focused":true}]})");
  Pump(*source);
  EXPECT_EQ(Told.Changes.back().Class, "again");
  EXPECT_TRUE(source->Reporting());
}

// --active-window's question: the tree's answer, or a clear failure within the time.
TEST_F(SwayTest, AskedOnce) {
  EXPECT_EQ(ReadSwayActiveWindow("", 100ms), std::nullopt);
  std::thread sway([this] {
    const int client = ::accept4(Server, nullptr, nullptr, SOCK_CLOEXEC);
    ReadFor(client, 50ms);
    const std::string answer = SwayMessage(4, Tree);
    (void)!::write(client, answer.data(), answer.size());
    ::close(client);
  });
  EXPECT_EQ(ReadSwayActiveWindow(Path, 2s)->Class, "RacingGame");
  sway.join();
  std::thread silent([this] {
    const int client = ::accept4(Server, nullptr, nullptr, SOCK_CLOEXEC);
    ReadFor(client, 400ms);
    ::close(client);
  });
  try {
    ReadSwayActiveWindow(Path, 150ms);
    ADD_FAILURE() << "no answer was taken for one";
  } catch (const std::runtime_error& error) {
    EXPECT_THAT(error.what(), HasSubstr("did not tell the window in front within 150 ms"));
  }
  silent.join();
  EXPECT_THROW(ReadSwayActiveWindow((Dir.Path() / "none.sock").string(), 100ms),
               std::runtime_error);
  // Trees nested beyond reason are no stack's end.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += R"({"nodes":[)";
  deep += R"({"app_id":"deep","focused":true})";
  for (int i = 0; i < 100000; ++i) deep += "]}";
  EXPECT_FALSE(FocusedInSwayTree(deep).Found);
  EXPECT_THROW(FocusedInSwayTree("[1,2"), std::runtime_error);
}

// A socket served by another user is no compositor of this session.
TEST(CompositorSocket, AnotherUsersSocketIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve a socket as another user";
  TTempDir dir("kestrova-peer");
  ::chmod(dir.Path().c_str(), 0777);
  const std::string path = (dir.Path() / "other.sock").string();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    const int server = Listen(path);
    ::chmod(path.c_str(), 0777);
    (void)!::write(ready[1], "x", 1);
    const int client = ::accept(server, nullptr, nullptr);
    ::sleep(1);
    ::_exit(client >= 0 ? 0 : 1);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  try {
    ConnectCompositorSocket(path);
    ADD_FAILURE() << "another user's socket was taken";
  } catch (const ECompositorSocket& error) {
    EXPECT_THAT(error.what(), HasSubstr("is served by user 65534, not this user"));
  }
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

// A stand-in Hyprland: its event socket the test writes to, its request socket answering each
// "j/activewindow" with Answer.
class HyprlandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(Folder);
    Events = Listen(Folder + "/.socket2.sock");
    Requests = Listen(Folder + "/.socket.sock");
    Answerer = std::thread([this] {
      while (!Stop) {
        const int listening = Requests.load();
        pollfd wait{listening, POLLIN, 0};
        if (::poll(&wait, 1, 20) <= 0) continue;
        const int client = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
          std::this_thread::sleep_for(1ms);  // closed by the test: wait for the next one
          continue;
        }
        const std::string request = ReadFor(client, 20ms);
        std::string answer;
        {
          std::lock_guard lock(AnswerLock);
          answer = request == "j/activewindow" ? Answer : "unknown request";
          ++Asked;
        }
        (void)!::write(client, answer.data(), answer.size());
        ::close(client);
      }
    });
  }
  void TearDown() override {
    Stop = true;
    Answerer.join();
    if (Client >= 0) ::close(Client);
    ::close(Events);
    ::close(Requests);
  }
  void SetAnswer(const std::string& cls, long pid) {
    std::lock_guard lock(AnswerLock);
    Answer = R"({"address":"0x5a","class":")" + cls + R"(","initialClass":")" + cls +
             R"(-initial","title":"t","pid":)" + std::to_string(pid) + "}";
  }
  void Accept() {
    Client = ::accept4(Events, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(Client, 0);
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(Client, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  TTempDir Dir{"kestrova-hypr"};
  std::string Folder = (Dir.Path() / "hypr" / "abc_123_456").string();
  int Events = -1;
  std::atomic<int> Requests{-1};  // replaced by the test while the answerer waits on it
  int Client = -1;
  std::mutex AnswerLock;
  std::string Answer = "{}";
  int Asked = 0;
  std::atomic<bool> Stop{false};
  std::thread Answerer;
  TTold Told;
};

// The request socket tells what is in front at the start and after each batch of focus events,
// with the window's process; without it, the event's class is reported. A line of no end is
// dropped and said once; Hyprland closing the socket is said, and a new instance is found.
TEST_F(HyprlandTest, EventsAndQuestions) {
  EXPECT_EQ(HyprlandSocketFolder(Dir.Path().string(), "abc_123_456"), Folder);
  EXPECT_EQ(HyprlandSocketFolder(Dir.Path().string(), "../abc_123_456"), "");
  EXPECT_EQ(HyprlandSocketFolder(Dir.Path().string(), ""), "");
  EXPECT_EQ(HyprlandSocketFolder(Dir.Path().string(), "other"), "");

  SetAnswer("RacingGame", ::getpid());
  auto source = CreateHyprlandActiveWindowSource(Folder, Told.Handlers());
  Accept();
  ASSERT_THAT(Told.Classes(), ElementsAre("RacingGame"));
  EXPECT_EQ(Told.Changes[0].Instance, "RacingGame-initial");
  EXPECT_EQ(Told.Changes[0].Executable, std::filesystem::read_symlink("/proc/self/exe").string());
  SetAnswer("beta", 0);
  const int askedBefore = Asked;
  Send(
      "workspace>>2\nactivewindow>>alpha,Alpha\nactivewindowv2>>5a\nactivewindow>>beta,Be,ta\n"
      "activewindowv2>>5b\n");
  Pump(*source);
  EXPECT_THAT(Told.Classes(), ElementsAre("RacingGame", "beta"));
  EXPECT_EQ(Told.Changes.back().Pid, 0u);
  EXPECT_EQ(Asked - askedBefore, 1);  // one question for the batch
  // Nothing in front.
  {
    std::lock_guard lock(AnswerLock);
    Answer = "{}";
  }
  Send("activewindow>>,\n");
  Pump(*source);
  EXPECT_FALSE(Told.Changes.back().Found);
  // A line without end: dropped, said once; what follows it is read.
  SetAnswer("after", 0);
  Send(std::string(MaxHyprlandLineBytes + 10, 'x'));
  Pump(*source);
  Send(std::string(MaxHyprlandLineBytes + 10, 'y') + "\nactivewindow>>after,A\n");
  Pump(*source);
  EXPECT_EQ(Told.Changes.back().Class, "after");
  EXPECT_THAT(Told.Notes, ElementsAre(HasSubstr("Hyprland sent a line of more than 65536 bytes")));
  // The request socket gone: the event's class, without its process.
  ::close(Requests.exchange(-1));
  ::unlink((Folder + "/.socket.sock").c_str());
  Send("activewindow>>solo,Solo\n");
  Pump(*source);
  EXPECT_EQ(Told.Changes.back().Class, "solo");
  EXPECT_EQ(Told.Changes.back().Pid, 0u);
  Requests = Listen(Folder + "/.socket.sock");
  EXPECT_THAT(Told.Losses, IsEmpty());

  // Closed: lost; a new instance beside it is found.
  ::close(Client);
  Client = -1;
  Pump(*source);
  EXPECT_THAT(Told.Losses, ElementsAre("Hyprland closed its event socket"));
  ::close(Events);
  std::filesystem::remove(Folder + "/.socket2.sock");
  const std::string next = (Dir.Path() / "hypr" / "def_789").string();
  std::filesystem::create_directories(next);
  Events = Listen(next + "/.socket2.sock");
  // Its request socket is not up yet: the start's question is said, not lost.
  ASSERT_TRUE(source->Reconnect());
  Accept();
  Send("activewindow>>fresh,F\n");
  Pump(*source);
  EXPECT_EQ(Told.Changes.back().Class, "fresh");
}

TEST_F(HyprlandTest, AskedOnce) {
  EXPECT_EQ(ReadHyprlandActiveWindow("", 100ms), std::nullopt);
  SetAnswer("RacingGame", 42);
  EXPECT_EQ(ReadHyprlandActiveWindow(Folder, 2s)->Class, "RacingGame");
  {
    std::lock_guard lock(AnswerLock);
    Answer = "ok";  // no window
  }
  EXPECT_THROW(ReadHyprlandActiveWindow(Folder, 2s), std::runtime_error);
}

}  // namespace
}  // namespace kestrova::testing
