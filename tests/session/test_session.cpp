// The pieces of a run that need neither a window nor a controller: the replay timeline, the
// print output, the record printer and the stop signals.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/TempDir.h"
#include "common/WaitUntil.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "fakes/VirtualSleeper.h"
#include "joystick/AxisConditioning.h"
#include "joystick/Jstick.h"
#include "mapping/Profile.h"
#include "mapping/TextFile.h"
#include "platform/print/PrintInjector.h"
#include "platform/sdl/SdlJoyService.h"
#include "session/Engine.h"
#include "session/LineWriter.h"
#include "session/Monitor.h"
#include "session/Output.h"
#include "session/Replay.h"
#include "session/Session.h"
#include "session/StopSignals.h"

namespace kestrova {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ErrorOf(std::string_view text) {
  try {
    ParseReplay(text, "t.replay");
  } catch (const EReplayError& error) {
    return error.what();
  }
  return "";
}

// The engine runs what the document holds: it starts with it, and every edit, undo, redo and load
// reaches the mapper at once, the decimal separator with it; a save changes nothing it runs.
TEST(Engine, RunsWhatTheDocumentHolds) {
  testing::TTempDir dir;
  TRecordingInjector injector(800, 600, {400, 300});
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  TProfileDocument document(',');
  document.Append(26, "MOUSE MOVE R N 1,5 0 N N");
  document.SetTolerance(2, 250);
  TEngine engine(injector, joysticks, sleeper, document);
  TMapper& mapper = engine.Mapper();
  EXPECT_EQ(mapper.Slot(26), std::vector<std::string>{"MOUSE MOVE R N 1,5 0 N N"});
  EXPECT_EQ(mapper.ZTol(), 250);
  EXPECT_EQ(mapper.DecimalSeparator(), ',');
  mapper.ExecuteCommands("Button 1", "PRESS");
  while (mapper.RunNextQueuedLine()) {
  }
  EXPECT_THAT(injector.TakeCalls(), ElementsAre(HasSubstr("mouse 0x8001")));  // 1,5 read

  document.SetSlots({{0, {"KEY DOWN a"}}, {1, {"KEY UP a"}}});
  document.SetTolerance(6, 100);
  EXPECT_EQ(mapper.Slot(1), std::vector<std::string>{"KEY UP a"});
  EXPECT_EQ(mapper.Tolerance(6), 100);
  document.Undo();
  EXPECT_EQ(mapper.Tolerance(6), 300);
  document.Undo();
  EXPECT_TRUE(mapper.SlotEmpty(0) && mapper.SlotEmpty(1));
  document.Redo();
  EXPECT_EQ(mapper.Slot(0), std::vector<std::string>{"KEY DOWN a"});
  TMotionSettings motion;
  motion[TMotionSource::LeftStick].Mode = TMotionMode::Mouse;
  document.SetMotion(motion);
  EXPECT_EQ(engine.Motion().Settings(), motion);
  const std::string path = (dir.Path() / "engine.kpf").string();
  document.Save(path);
  document.SetMotion(TMotionSettings{});
  EXPECT_EQ(engine.Motion().Settings(), DefaultMotion);
  document.Clear(0);
  document.SetTolerance(2, 10);
  ASSERT_EQ(document.TryLoad(path), "");
  EXPECT_EQ(mapper.Slot(0), std::vector<std::string>{"KEY DOWN a"});
  EXPECT_EQ(mapper.ZTol(), 250);
  EXPECT_EQ(engine.Motion().Settings(), motion);
  // The lists of layers and press types and the press settings, edited, undone and loaded.
  const int hold = ListId(3, TPressType::Hold, 26);
  document.Append(hold, "KEY DOWN h");
  TPressParams press;
  press.HoldMs = 400;
  document.SetPressParams(press);
  EXPECT_EQ(mapper.Slot(hold), std::vector<std::string>{"KEY DOWN h"});
  EXPECT_EQ(mapper.ExtraLists().Press.HoldMs, 400);
  document.Save(path);
  document.Undo();
  document.Undo();
  EXPECT_TRUE(mapper.SlotEmpty(hold));
  EXPECT_EQ(mapper.ExtraLists().Press.HoldMs, DefaultHoldMs);
  ASSERT_EQ(document.TryLoad(path), "");
  EXPECT_EQ(mapper.ExtraLists(), document.Extras());
  EXPECT_EQ(mapper.Slot(hold), std::vector<std::string>{"KEY DOWN h"});
}

// A PROFILE line the worker runs switches the profile on the document's thread: keys it held let
// go first, the press that switched lets go without running the new profile's lists; a file that
// cannot be loaded, the profile running, unsaved edits and a loop of switches are refused.
TEST(Engine, PROFILELinesSwitchTheProfile) {
  testing::TTempDir dir;
  const auto write = [&dir](const std::string& name, const TSlotTable& slots) {
    WriteProfileFile(dir.Path() / name, slots, DefaultTolerances);
    return (dir.Path() / name).string();
  };
  TSlotTable a;
  a[26] = {"KEY DOWN a", "PROFILE sub/../b.kpf"};
  a[27] = {"KEY UP a", "KEY DOWN x"};
  TSlotTable b;
  b[26] = {"KEY DOWN b", "PROFILE " + (dir.Path() / "a.kpf").string()};
  b[27] = {"KEY UP b"};
  b[28] = {"PROFILE b.kpf"};
  b[30] = {"PROFILE missing.kpf"};
  const std::string pathA = write("a.kpf", a);
  const std::string pathB = write("b.kpf", b);
  std::filesystem::create_directory(dir.Path() / "sub");

  TRecordingInjector injector(800, 600, {400, 300});
  TScriptedJoyService joysticks;
  TVirtualSleeper sleeper;
  TProfileDocument document;
  std::vector<std::string> status;
  std::vector<std::function<void()>> posted;
  TEngine engine(injector, joysticks, sleeper, document,
                 [&status](const std::string& line) { status.push_back(line); });
  engine.SetTaskPoster([&posted](std::function<void()> task) { posted.push_back(task); });
  TMapper& mapper = engine.Mapper();
  const auto route = [&](int event, bool release) {
    mapper.QueueEvent(event, release);
    while (mapper.RunNextQueuedLine()) {
    }
    auto tasks = std::move(posted);
    for (auto& task : tasks) task();
  };
  const auto said = [&status](const std::string& text) {
    return std::count_if(status.begin(), status.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  };
  ASSERT_EQ(document.TryLoad(pathA), "");
  route(13, false);
  EXPECT_EQ(document.Path(), (dir.Path() / "b.kpf").lexically_normal().string());
  EXPECT_EQ(said("Switched to sub/../b.kpf"), 1);
  route(13, true);  // pressed in a.kpf: nothing of b.kpf runs, nor a.kpf's Release
  EXPECT_THAT(injector.TakeCalls(), ElementsAre("key 0x41 (A) down", "key 0x41 (A) up"));
  route(14, false);
  EXPECT_EQ(said("Not switched to b.kpf: it is the profile running"), 1);
  route(15, false);
  EXPECT_EQ(said("Not switched to missing.kpf: Cannot open file"), 1);
  EXPECT_EQ(document.Path(), (dir.Path() / "b.kpf").lexically_normal().string());
  // Back and forth: at most four switches a second.
  for (int i = 0; i < 4; ++i) {
    route(13, false);
    route(13, true);
  }
  EXPECT_EQ(said("Switched to "), 4);
  EXPECT_EQ(said("more than 4 switches within a second"), 1);
  // Unsaved edits are not lost to a switch.
  document.Append(40, "KEY DOWN q");
  const std::string before = document.Path();
  route(13, false);
  EXPECT_EQ(said("the profile shown has unsaved edits"), 1);
  EXPECT_EQ(document.Path(), before);
  // Without a poster, a PROFILE line is skipped and says so.
  TProfileDocument other;
  other.SetSlot(26, {"PROFILE b.kpf"});
  TEngine alone(injector, joysticks, sleeper, other,
                [&status](const std::string& line) { status.push_back(line); });
  alone.Mapper().QueueEvent(13, false);
  while (alone.Mapper().RunNextQueuedLine()) {
  }
  EXPECT_EQ(said("Skipped \"PROFILE b.kpf\": profiles are not switched here"), 1);
}

TEST(ReplayTimeline, EntriesKindsAndEndTime) {
  const TReplay replay = ParseReplay(
      "# a comment\r\n"
      "0 axis X 0\n"
      "\n"
      "10 axis V 65535\r"
      "10 button 32 down\n"
      "20 button 1 up\n"
      "30 hat 31500\n"
      "30 hat centre\n",
      "t.replay");
  ASSERT_EQ(replay.Entries.size(), 6u);
  EXPECT_EQ(replay.Entries[0].Kind, TReplayEntry::Axis);
  EXPECT_EQ(replay.Entries[0].Index, 0);
  EXPECT_EQ(replay.Entries[1].Index, 5);  // V is the sixth axis
  EXPECT_EQ(replay.Entries[1].Value, 65535u);
  EXPECT_EQ(replay.Entries[2].Kind, TReplayEntry::Button);
  EXPECT_EQ(replay.Entries[2].Index, 32);
  EXPECT_EQ(replay.Entries[2].Value, 1u);
  EXPECT_EQ(replay.Entries[3].Value, 0u);
  EXPECT_EQ(replay.Entries[4].Value, 31500u);
  EXPECT_EQ(replay.Entries[5].Value, JOY_POVCENTERED);
  EXPECT_EQ(replay.EndTimeMs, 1030u);  // a second after the last entry

  // The pad's sensors: a timeline with them drives a pad that has them.
  const TReplay sensors = ParseReplay(
      "0 gyro 1.5 -90 0\n0 accel 0 9.81 0\n5 touch down 0.25 1\n6 touch up 0 0 2\n", "t");
  ASSERT_EQ(sensors.Entries.size(), 4u);
  EXPECT_TRUE(sensors.Pad && sensors.Sensors);
  EXPECT_EQ(sensors.Entries[0].Kind, TReplayEntry::Gyro);
  EXPECT_EQ(sensors.Entries[0].Values[1], -90.0f);
  EXPECT_EQ(sensors.Entries[2].Value, static_cast<std::uint32_t>(TPadSample::TouchDown));
  EXPECT_EQ(sensors.Entries[2].Values[0], 0.25f);
  EXPECT_EQ(sensors.Entries[3].Index, 2);  // the finger
  EXPECT_FALSE(replay.Sensors);

  EXPECT_EQ(ParseReplay("5 end\n", "t").EndTimeMs, 5u);
  // The default end of an entry near 2^32 ms does not wrap round to before it.
  EXPECT_EQ(ParseReplay("4294967295 button 1 down\n", "t").EndTimeMs, 4294968295ull);
  // A comment may end a line.
  EXPECT_EQ(ParseReplay("3 button 2 up # let go\n", "t").Entries.at(0).Index, 2);
  EXPECT_EQ(ParseReplay("", "t").EndTimeMs, 1000u);
  EXPECT_EQ(ParseReplay("7 axis Y 1\n7 axis Y 2\n", "t").Entries.size(), 2u);  // equal times
  // Fractions of a millisecond, to the microsecond.
  const TReplay fine = ParseReplay("7.25 axis Y 1\n7.5 axis Y 2\n7.500 end\n", "t");
  ASSERT_EQ(fine.Entries.size(), 3u);
  EXPECT_EQ(fine.Entries[0].TimeMs, 7u);
  EXPECT_EQ(fine.Entries[0].TimeUs, 250u);
  EXPECT_EQ(fine.Entries[1].TimeUs, 500u);
}

// The same inclusive limit for a timeline: exactly the limit is read, a byte more is refused.
TEST(ReplayTimeline, ATimelineOfExactlyTheLimitIsRead) {
  const kestrova::testing::TTempDir dir("kestrova-timeline");
  const std::string path = (dir / "long.replay").string();
  const std::string head = "0 end\n#";
  for (const std::size_t size : {MaxInputFileBytes, MaxInputFileBytes + 1}) {
    std::ofstream(path, std::ios::binary) << head << std::string(size - head.size(), 'x');
    if (size == MaxInputFileBytes) {
      EXPECT_EQ(ReadReplayFile(path).EndTimeMs, 0u);
    } else {
      EXPECT_THROW(ReadReplayFile(path), std::exception);
    }
  }
}

TEST(ReplayTimeline, MalformedEntriesNameTheirLine) {
  EXPECT_EQ(ErrorOf("10 axis X 1\n5 axis X 2\n"),
            "t.replay:2: the time 5 comes before the previous entry's 10");
  EXPECT_EQ(ErrorOf("10.5 axis X 1\n10.499 axis X 2\n"),
            "t.replay:2: the time 10.499 comes before the previous entry's 10.5");
  for (const char* bad : {"1. end\n", "1.2345 end\n", ".5 end\n", "1.-5 end\n", "1.5.5 end\n"}) {
    EXPECT_THAT(ErrorOf(bad), HasSubstr("is not a number of milliseconds")) << bad;
  }
  EXPECT_THAT(ErrorOf("\n\n0 axis W 1\n"), HasSubstr("t.replay:3: unknown axis 'W'"));
  EXPECT_THAT(ErrorOf("0 axis X 65536\n"), HasSubstr("not in 0..65535"));
  EXPECT_THAT(ErrorOf("0 axis X -1\n"), HasSubstr("not in 0..65535"));
  EXPECT_THAT(ErrorOf("0 button 0 down\n"), HasSubstr("not in 1..32"));
  EXPECT_THAT(ErrorOf("0 button 33 down\n"), HasSubstr("not in 1..32"));
  EXPECT_THAT(ErrorOf("0 button 3 pressed\n"), HasSubstr("'down' or 'up'"));
  EXPECT_THAT(ErrorOf("0 hat 4501\n"), HasSubstr("not one of 0 4500"));
  EXPECT_THAT(ErrorOf("0 hat 36000\n"), HasSubstr("not one of 0 4500"));
  EXPECT_THAT(ErrorOf("0 end\n1 axis X 1\n"), HasSubstr("t.replay:2: nothing may follow"));
  EXPECT_THAT(ErrorOf("soon axis X 1\n"), HasSubstr("not a number of milliseconds"));
  EXPECT_THAT(ErrorOf("0 jump\n"), HasSubstr("unknown entry 'jump'"));
  EXPECT_THAT(ErrorOf("0 axis X\n"), HasSubstr("an axis entry is"));
  EXPECT_THAT(ErrorOf("0 gyro 1 2\n"), HasSubstr("a gyro entry is: <time> gyro <x> <y> <z>"));
  EXPECT_THAT(ErrorOf("0 gyro 1 nan 2\n"), HasSubstr("gyro value 'nan' is not a number"));
  EXPECT_THAT(ErrorOf("0 gyro 1 5001 2\n"), HasSubstr("in -5000..5000"));
  EXPECT_THAT(ErrorOf("0 accel 0 0 -201\n"), HasSubstr("in -200..200"));
  EXPECT_THAT(ErrorOf("0 touch press 0 0\n"), HasSubstr("'down', 'move' or 'up'"));
  EXPECT_THAT(ErrorOf("0 touch down 1.5 0\n"), HasSubstr("is not in 0..1"));
  EXPECT_THAT(ErrorOf("0 touch down 0 0 10\n"), HasSubstr("finger '10' is not in 0..9"));
  EXPECT_THAT(ErrorOf("0 gyro 0 0 0\n1 axis V 3\n"),
              HasSubstr("t.replay:2: a timeline with gyro, accel or touch entries drives a game "
                        "pad, which has no V axis"));
}

// What runs but is likely not what was meant: a trigger left pulled (a "rest" written as 32767)
// and Z on a pad; each said once, at its line.
TEST(ReplayTimeline, WarnsOfTriggersLeftPulledAndZOnAPad) {
  const struct {
    const char* Text;
    std::vector<std::string> Warnings;
  } cases[] = {
      {"0 axis LT 65535\n9 axis RT 1\n10 axis LT 0\n11 axis RT 0\n", {}},
      {"0 axis LT 32767\n",
       {"t:1: the left trigger is still pulled (32767) when the timeline ends: a trigger rests "
        "at 0, not 32767"}},
      {"0 axis RT 9\n5 axis LT 0\n", {"t:1: the right trigger is still pulled (9)"}},
      {"0 axis RT 0\n\n5 axis Z 40000\n6 axis Z 1\n",
       {"t:3: on a game pad, axis Z moves both triggers on one axis"}},
      {"0 gyro 0 0 0\n1 axis Z 0\n", {"t:2: on a game pad, axis Z"}},
      {"0 axis Z 40000\n0 axis X 0\n", {}},  // a joystick's Z is an axis like the others
  };
  for (const auto& test : cases) {
    const std::vector<std::string> warnings = ParseReplay(test.Text, "t").Warnings;
    ASSERT_EQ(warnings.size(), test.Warnings.size()) << test.Text;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_THAT(warnings[i], ::testing::StartsWith(test.Warnings[i])) << test.Text;
    }
  }
}

// For the thread sanitizer: a timeline's player that starts before the poll thread's first
// reading pushes its pad's samples and sets its controls while the poll thread reads and takes
// them; each side reaches the shared pad only under its lock. The release is still seen.
TEST(ReplayTimeline, PlaysFromBeforeTheFirstPollWhileThePollThreadReads) {
  const TReplay replay = ParseReplay(
      "0 gyro 0 90 0\n0 accel 0 9.81 0\n0 button 1 down\n0 axis LT 65535\n"
      "30 touch down 0.5 0.5\n40 button 1 up\n40 axis LT 0\n50 touch up 0.5 0.5\n80 end\n",
      "t");
  auto service = CreateSdlJoyService();
  TVirtualControllerDesc desc;
  desc.Name = "Early Replay Pad";
  desc.GameController = desc.ReadOrder = desc.Sensors = true;
  auto pad = AttachSdlVirtualController(desc);
  int id = 0;
  for (const auto& controller : ListControllers(*service)) {
    if (controller.Name == desc.Name) id = controller.JoystickID;
  }
  ASSERT_GT(id, 0);
  TJstick stick(*service);
  stick.SetJoystickID(id);
  stick.SetThreadIntensity(1);
  std::atomic<int> releases{0};
  stick.OnButton = [&](TObject*, int button, bool down) {
    if (button == 1 && !down) ++releases;
  };
  std::atomic<bool> ended{false};
  TReplayPlayer player(replay, *pad, [&] { ended = true; });
  player.Start(std::chrono::steady_clock::now());
  stick.SetEnablePolling(true);
  EXPECT_TRUE(testing::WaitUntil([&] { return ended.load(); }));
  EXPECT_TRUE(testing::WaitUntil([&] { return releases.load() == 1; }));
  stick.SetEnablePolling(false);
  stick.WaitForPollThread();
  player.Stop();
}

TEST(PrintOutput, RecordsEveryCallAndKeepsThePointerOnTheScreen) {
  std::vector<std::string> lines;
  // 1366 does not divide 65536: absolute coordinates must still land on the right pixel.
  auto printer = CreatePrintInjector(1366, 768, {683, 384},
                                     [&lines](const std::string& line) { lines.push_back(line); });
  TPoint at;
  printer->keybd_event(0x41, 0, 0, 0);
  printer->mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 65535, 0, 0, 0);
  ASSERT_TRUE(printer->GetCursorPos(at));
  EXPECT_EQ(at.x, 1365);
  EXPECT_EQ(at.y, 0);
  printer->mouse_event(MOUSEEVENTF_MOVE, -2000, 5000, 0, 0);  // off both edges
  printer->GetCursorPos(at);
  EXPECT_EQ(at.x, 0);
  EXPECT_EQ(at.y, 767);
  printer->mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 24000, 40000, 0, 0);
  printer->GetCursorPos(at);
  EXPECT_EQ(at.x, 500);                                    // 24000 x 1366 / 65536 = 500.24
  EXPECT_EQ(at.y, 469);                                    // 40000 x 768 / 65536 = 468.75
  printer->mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);  // buttons do not move it
  printer->GetCursorPos(at);
  EXPECT_EQ(at.x, 500);
  EXPECT_EQ(printer->GetSystemMetrics(SM_CXSCREEN), 1366);
  EXPECT_EQ(printer->GetSystemMetrics(SM_CYSCREEN), 768);
  EXPECT_THAT(lines,
              ElementsAre("key 0x41 (A) down", "mouse 0x8001 65535 0", "mouse 0x0001 -2000 5000",
                          "mouse 0x8001 24000 40000", "mouse 0x0002 0 0"));
  // What it pressed is released at shutdown, as with a real output: keys, then buttons at the
  // pointer.
  lines.clear();
  printer->ReleaseHeld();
  EXPECT_THAT(lines, ElementsAre("key 0x41 (A) up", "mouse 0x8004 500 469"));
}

TEST(PrintOutput, WorksWithoutASink) {
  auto printer = CreatePrintInjector(100, 100, {0, 0}, nullptr);
  printer->keybd_event(0x41, 0, 0, 0);
  printer->mouse_event(MOUSEEVENTF_MOVE, 10, 10, 0, 0);
  TPoint at;
  printer->GetCursorPos(at);
  EXPECT_EQ(at.x, 10);
}

// Standard output replaced by a pipe for the length of a test.
class TCapturedStdout {
 public:
  TCapturedStdout() {
    std::fflush(stdout);
    FSaved = ::dup(STDOUT_FILENO);
    if (::pipe(FPipe) != 0) throw std::runtime_error("pipe");
    ::dup2(FPipe[1], STDOUT_FILENO);
    ::close(FPipe[1]);
  }
  ~TCapturedStdout() {
    std::clearerr(stdout);
    ::dup2(FSaved, STDOUT_FILENO);
    ::close(FSaved);
    if (FPipe[0] >= 0) ::close(FPipe[0]);
  }
  std::string Read() {
    char buffer[4096];
    const ssize_t n = ::read(FPipe[0], buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
  }
  void CloseReader() {
    ::close(FPipe[0]);
    FPipe[0] = -1;
  }

 private:
  int FSaved = -1;
  int FPipe[2] = {-1, -1};
};

TEST(RecordPrinter, StopsWhenItsReaderGoesAway) {
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  int closedCalls = 0;
  {
    TCapturedStdout out;
    TRecordPrinter printer;
    printer.SetOnClosed([&closedCalls] { ++closedCalls; });
    printer.Print("key 0x41 (A) down");
    const std::string text = out.Read();
    EXPECT_THAT(text, ::testing::MatchesRegex("[0-9]+\\.[0-9]{3} key 0x41 \\(A\\) down\n"));
    EXPECT_FALSE(printer.Closed());
    out.CloseReader();
    printer.Print("key 0x41 (A) up");
    printer.Print("key 0x42 (B) down");
    EXPECT_TRUE(testing::WaitUntil([&] { return printer.Closed(); }, std::chrono::seconds(5)));
  }
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(closedCalls, 1);
}

// A reader that stalls costs lines, never the writer's caller: they are dropped beyond the
// bound, the reader is told how many when it reads again, and finishing does not wait for it.
TEST(LineWriter, DropsWhatAStalledReaderCannotTakeAndSaysHowMany) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
  std::string read;
  std::size_t taken = 0;
  std::size_t dropped = 0;  // refused lines beyond the first 200
  {
    TLineWriter writer(
        pipe[1], [](std::size_t n) { return "dropped " + std::to_string(n) + "\n"; }, 1000);
    const std::string line(99, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) taken += writer.Write(line + "\n") ? 1 : 0;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));  // no waiting
    EXPECT_LT(taken, 200u);
    EXPECT_GE(taken, 10u);  // at least what the queue holds
    // The reader comes back: what was kept, then the count of what was not, then the line
    // written once there is room again.
    char buffer[65536];
    const auto readSome = [&] {
      pollfd fd{pipe[0], POLLIN, 0};
      if (::poll(&fd, 1, 5000) <= 0) return false;
      const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
      if (n <= 0) return false;
      read.append(buffer, static_cast<std::size_t>(n));
      return true;
    };
    while (!writer.Write("after\n")) {
      ++dropped;  // counted among the dropped, as any refused line
      ASSERT_TRUE(readSome());
    }
    while (read.find("after\n") == std::string::npos) ASSERT_TRUE(readSome());
    // Stalled again: finishing gives up after its stall limit.
    for (int i = 0; i < 200; ++i) writer.Write(line + "\n");
    const auto finishing = std::chrono::steady_clock::now();
    writer.Finish(std::chrono::milliseconds(50));
    EXPECT_LT(std::chrono::steady_clock::now() - finishing, std::chrono::seconds(1));
  }
  // Every line is written or counted, the counts standing where the lines were dropped.
  std::size_t counted = 0;
  for (auto at = read.find("\ndropped "); at != std::string::npos;
       at = read.find("\ndropped ", at + 1)) {
    counted += std::stoul(read.substr(at + 9));
  }
  EXPECT_EQ(counted, 200 - taken + dropped);
  EXPECT_TRUE(read.ends_with("\nafter\n")) << read.substr(read.size() - 40);
  ::close(pipe[0]);
  ::close(pipe[1]);
}

TEST(StopSignals, ArriveAtTheDescriptorInsteadOfEndingTheProcess) {
  TStopSignals signals;
  EXPECT_EQ(signals.Take(), 0);
  ::raise(SIGTERM);
  EXPECT_EQ(signals.Take(), SIGTERM);
  EXPECT_EQ(signals.Take(), 0);
  ::raise(SIGINT);
  EXPECT_EQ(signals.Take(), SIGINT);
}

}  // namespace
}  // namespace kestrova

namespace kestrova {
namespace {

using kestrova::testing::TTempDir;

TEST(OutputChoice, AutoFollowsTheDesktop) {
  const std::string noUinput = "/dev/uinput does not exist: ... modprobe uinput";
  // desktop: Wayland display, session type, X display, uinput problem, runtime folder
  const auto choose = [](TDesktopEnvironment desktop) { return ChooseOutput("auto", desktop); };
  EXPECT_EQ(choose({"", "x11", ":0", "", ""}).Output, "x11");  // an X11 session needs no set-up
  EXPECT_EQ(choose({"", "", ":0", noUinput, ""}).Output, "x11");
  EXPECT_EQ(choose({"wayland-0", "wayland", ":0", "", ""}).Output, "uinput");
  EXPECT_EQ(choose({"", "wayland", ":1", "", ""}).Output, "uinput");  // the session type alone
  EXPECT_EQ(choose({"", "", "", "", ""}).Output, "uinput");           // the console
  const TOutputChoice fallback = choose({"wayland-0", "wayland", ":0", noUinput, ""});
  EXPECT_EQ(fallback.Output, "x11");
  EXPECT_THAT(fallback.Note, ::testing::HasSubstr("only X11 (XWayland) applications"));
  EXPECT_THAT(fallback.Note, ::testing::HasSubstr("modprobe uinput"));
  EXPECT_EQ(choose({"", "x11", ":0", "", ""}).Note, "");
  for (const TDesktopEnvironment& none :
       {TDesktopEnvironment{"wayland-0", "wayland", "", noUinput, ""},
        TDesktopEnvironment{"", "", "", noUinput, ""}}) {
    try {
      choose(none);
      ADD_FAILURE() << "no output can work here";
    } catch (const std::runtime_error& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr("no output: no X display"));
      EXPECT_THAT(error.what(), ::testing::HasSubstr("modprobe uinput"));
    }
  }
  // Asked for by name.
  EXPECT_EQ(ChooseOutput("x11", {"wayland-0", "wayland", "", "", ""}).Output, "x11");
  EXPECT_EQ(ChooseOutput("print", {"", "", "", noUinput, ""}).Output, "print");
  EXPECT_EQ(ChooseOutput("uinput", {"", "x11", ":0", "", ""}).Output, "uinput");
  EXPECT_THROW(ChooseOutput("uinput", {"", "x11", ":0", noUinput, ""}), std::runtime_error);
}

// The window's platform: the compositor where its socket is there and the session is Wayland's
// (or no X display is reachable), the X display where its socket is, else none.
TEST(OutputChoice, TheWindowGoesWhereADisplayCanBeReached) {
  const TTempDir dir("kestrova-displays");
  std::filesystem::create_directories(dir / "x11");
  std::ofstream(dir / "x11" / "X5") << "";
  std::ofstream(dir / "wayland-1") << "";
  const std::string xSockets = (dir / "x11").string();
  const auto platform = [&](std::string wayland, std::string type, std::string display) {
    return WindowPlatformFor({wayland, type, display, "", dir.String()}, xSockets);
  };
  EXPECT_EQ(platform("", "x11", ":5"), "xcb");
  EXPECT_EQ(platform("", "x11", ":5.0"), "xcb");   // a screen number
  EXPECT_EQ(platform("", "x11", ":4"), "");        // no server behind :4
  EXPECT_EQ(platform("", "", "remote:0"), "xcb");  // taken on trust
  EXPECT_EQ(platform("wayland-1", "wayland", ":5"), "wayland");
  EXPECT_EQ(platform("wayland-1", "x11", ":5"), "xcb");  // both there: the session decides
  EXPECT_EQ(platform("wayland-1", "", ""), "wayland");
  EXPECT_EQ(platform("wayland-2", "wayland", ":5"), "xcb");  // no such compositor socket
  EXPECT_EQ(platform((dir / "wayland-1").string(), "wayland", ""), "wayland");  // absolute
  EXPECT_EQ(WindowPlatformFor({"wayland-1", "wayland", "", "", ""}, xSockets), "");
  EXPECT_EQ(platform("", "", ""), "");
}

TEST(OutputChoice, ScreenSizeFromTheConnectedDisplay) {
  const TTempDir dir("kestrova-drm");
  const std::filesystem::path& drm = dir.Path();
  const auto connector = [&](const std::string& name, const std::string& status,
                             const std::string& modes) {
    std::filesystem::create_directories(drm / name);
    std::ofstream(drm / name / "status") << status << "\n";
    std::ofstream(drm / name / "modes") << modes;
  };
  EXPECT_EQ(DrmScreenSize(drm.string()).Width, 1920);  // nothing connected: the default
  connector("card0-DP-1", "disconnected", "");
  connector("card0-HDMI-A-1", "connected", "2560x1440\n1920x1080\n");
  const TScreenSize size = DrmScreenSize(drm.string());
  EXPECT_EQ(size.Width, 2560);
  EXPECT_EQ(size.Height, 1440);
  EXPECT_EQ(size.Source, (drm / "card0-HDMI-A-1").string());
  EXPECT_EQ(DrmScreenSize("/nonexistent").Height, 1080);
}

}  // namespace
}  // namespace kestrova

namespace kestrova {
namespace {

TEST(Monitor, ALinePerChangeInTheRoutingsTerms) {
  TMonitorLines lines({300, 300, 100, 300, 300, 300, 305});
  TJoyReading reading;
  reading.Answering = true;
  reading.Present = {true, true, true, true, false, false};
  reading.Raw = {sizeof(JOYINFOEX),
                 JOY_RETURNALL,
                 32767,
                 32767,
                 32767,
                 32767,
                 32767,
                 32767,
                 0,
                 0,
                 JOY_POVCENTERED,
                 0,
                 0};
  reading.Value = {-1, -1, -1, -1, -1, -1};
  EXPECT_TRUE(lines.Changes(reading).empty());  // at rest: nothing to tell
  reading.Raw.dwXpos = 12000;
  reading.Value[jaX] = -316;
  reading.Raw.dwZpos = 40000;
  reading.Value[jaZ] = 101;   // past Z's own tolerance of 100
  reading.Raw.dwUpos = 1000;  // U is not present: not told
  reading.Raw.dwButtons = (1u << 4) | (1u << 31);
  reading.Raw.dwPOV = 9000;
  reading.Raw.dwReserved2 = 20000;  // the right trigger at 305: not beyond its tolerance
  EXPECT_EQ(lines.Changes(reading),
            (std::vector<std::string>{"axis X 12000 -> -316 Left", "axis Z 40000 -> 101 Z Right",
                                      "axis RT 20000 -> 305 Right Trigger let go", "button 5 down",
                                      "button 32 down", "hat 9000 East"}));
  EXPECT_TRUE(lines.Changes(reading).empty());  // nothing changed
  reading.Raw.dwYpos = 40000;
  reading.Value[jaY] = 300;  // 301 with the offset: Down
  reading.Raw.dwButtons = 1u << 31;
  reading.Raw.dwPOV = JOY_POVCENTERED;
  reading.Raw.dwReserved2 = 20100;
  EXPECT_EQ(lines.Changes(reading),
            (std::vector<std::string>{"axis Y 40000 -> 300 Down",
                                      "axis RT 20100 -> 306 Right Trigger pulled", "button 5 up",
                                      "hat 65535 Center"}));
}

// The gyro and the touchpad: at most ten lines a second of each, a touch's down and up always.
TEST(Monitor, SensorsAtMostTenLinesASecond) {
  TMonitorLines lines(DefaultTolerances);
  TJoyReading reading;
  reading.Answering = true;
  for (int axis = 0; axis < JoyAxisCount; ++axis) reading.Raw.*AxisFields[axis] = 32767;
  reading.Raw.dwPOV = JOY_POVCENTERED;
  reading.HasGyro = true;
  auto at = std::chrono::steady_clock::now();
  int gyro = 0;
  int touch = 0;
  std::vector<std::string> all;
  for (int ms = 0; ms < 2000; ms += 4) {  // a second of turning, a second of stroking
    at += std::chrono::milliseconds(4);
    reading.Gyro = {0, ms < 1000 ? -90.0f + ms % 7 : 0.0f, 0};
    reading.Touching = ms >= 1000 && ms < 1900;
    reading.TouchX = ms / 2000.0f;
    reading.TouchY = 0.5f;
    for (const auto& line : lines.Changes(reading, at)) {
      all.push_back(line);
      if (line.starts_with("gyro ")) ++gyro;
      if (line.starts_with("touch ")) ++touch;
    }
  }
  EXPECT_GE(gyro, 9);
  EXPECT_LE(gyro, 12);  // ten a second at most, and the rest at the end
  EXPECT_LE(touch, 11);
  EXPECT_THAT(all, ::testing::Contains("gyro 0.0 -90.0 0.0 degrees/s"));
  EXPECT_THAT(all, ::testing::Contains("touch down 0.50 0.50"));
  EXPECT_THAT(all, ::testing::Contains("touch up"));
  EXPECT_EQ(all.back(), "touch up");
}

TEST(Monitor, DirectionsAsTheRoutingFindsThem) {
  EXPECT_EQ(AxisDirection(jaX, -301, 300), "Center");  // -300 with the offset
  EXPECT_EQ(AxisDirection(jaX, -302, 300), "Left");
  EXPECT_EQ(AxisDirection(jaY, 300, 300), "Down");
  EXPECT_EQ(AxisDirection(jaZ, -300, 300), "Center");  // no offset on Z and R
  EXPECT_EQ(AxisDirection(jaZ, -301, 300), "Z Left");
  EXPECT_EQ(AxisDirection(jaR, 301, 300), "Rot. Right");
  EXPECT_EQ(AxisDirection(jaU, 300, 300), "Center");
  EXPECT_EQ(AxisDirection(jaU, 301, 300), "U Right");
  EXPECT_EQ(AxisDirection(jaV, -301, 300), "V Left");
  EXPECT_EQ(HatDirection(31500), "NW");
  EXPECT_EQ(HatDirection(4500), "NE");
  EXPECT_EQ(HatDirection(4501), "");
}

}  // namespace
}  // namespace kestrova
