// kestrova from the command line: replayed controllers, printed output, checks and signals.

#include <gmock/gmock.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include "common/TempDir.h"
#include "common/WaitUntil.h"

#include <cstring>

#include "e2e/Run.h"
#include "mapping/Profile.h"

namespace kestrova::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

class CliTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(Dir / name, std::ios::binary) << text;
    return (Dir / name).string();
  }
  std::string Profile(const std::vector<std::pair<int, Lines>>& slots) {
    TSlotTable table;
    for (const auto& [slot, lines] : slots) table[slot] = lines;
    return Write("profile.kpf", FormatProfile(table, {300, 300, 300, 300, 300, 300, 300}));
  }
  TRun Run(const std::vector<std::string>& arguments, const std::vector<std::string>& env = {}) {
    TProcess process(arguments, Dir, env);
    return process.Wait();
  }
  // Replays a timeline through a profile with printed output; the records without their times.
  Lines Replay(const std::vector<std::pair<int, Lines>>& slots, const std::string& timeline,
               std::vector<std::string> extra = {}) {
    const std::string profile = Profile(slots);
    const std::string replay = Write("timeline.txt", timeline);
    std::vector<std::string> arguments = {"--headless", "--output", "print", "--replay", replay};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(profile);
    Last = Run(arguments);
    EXPECT_EQ(Last.ExitCode, 0) << Last.Err;
    Lines records;
    std::istringstream out(Last.Out);
    for (std::string line; std::getline(out, line);)
      records.push_back(line.substr(line.find(' ') + 1));
    return records;
  }

  TTempDir Temp{"kestrova-cli"};
  std::filesystem::path Dir = Temp.Path();
  TRun Last;
};

TEST_F(CliTest, StickLeftAndBackTypesAnUpperCaseA) {
  EXPECT_THAT(
      Replay({{0, {"KEY DOWN A"}}, {1, {"KEY UP A"}}}, "100 axis X 0\n200 axis X 32767\n300 end\n"),
      ElementsAre("status Executing Stick Left PRESS", "key 0x10 (SHIFT) down", "key 0x41 (A) down",
                  "status Executing Stick Left RELEASE", "key 0x41 (A) up", "key 0x10 (SHIFT) up"));
  // Records are "<ms with three decimals> <record>", and keys follow their entries closely.
  std::istringstream out(Last.Out);
  std::string line;
  std::vector<double> keyTimes;
  while (std::getline(out, line)) {
    const auto space = line.find(' ');
    const std::string time = line.substr(0, space);
    ASSERT_EQ(time.size() - time.find('.'), 4u) << line;
    if (line.find(" key ") != std::string::npos) keyTimes.push_back(std::stod(time));
  }
  ASSERT_EQ(keyTimes.size(), 4u);
  EXPECT_GE(keyTimes[0], 100);
  EXPECT_LT(keyTimes[1], 200);
  EXPECT_GE(keyTimes[2], 200);
  EXPECT_LT(keyTimes[3], 300);
}

TEST_F(CliTest, BlockRepeatedThreeTimes) {
  EXPECT_THAT(Replay({{26, {"BEGBLOCK 001 RPT 3", "KEY DOWN b", "KEY UP b", "ENDBLOCK 001"}}},
                     "0 button 1 down\n150 button 1 up\n250 end\n"),
              ElementsAre("status Executing Button 1 PRESS", "key 0x42 (B) down", "key 0x42 (B) up",
                          "key 0x42 (B) down", "key 0x42 (B) up", "key 0x42 (B) down",
                          "key 0x42 (B) up", "status Executing Button 1 RELEASE"));
}

TEST_F(CliTest, EndlessBlockStoppedByAnotherButton) {
  const Lines records =
      Replay({{26, {"BEGBLOCK 001 RPT 0", "KEY DOWN c", "KEY UP c", "DELAY 10", "ENDBLOCK 001"}},
              {28, {"TRMBLOCK 001"}}},
             "0 button 1 down\n50 button 1 up\n200 button 2 down\n250 button 2 up\n400 end\n");
  const auto stop = std::find(records.begin(), records.end(), "status Executing Button 2 PRESS");
  ASSERT_NE(stop, records.end());
  EXPECT_GE(std::count(records.begin(), stop, "key 0x43 (C) down"), 5);
  // After the terminate is queued, the pass under way finishes and at most one more starts.
  EXPECT_LE(std::count(stop, records.end(), "key 0x43 (C) down"), 2);
  EXPECT_EQ(std::count(records.begin(), records.end(), "key 0x43 (C) down"),
            std::count(records.begin(), records.end(), "key 0x43 (C) up"));
}

TEST_F(CliTest, ShiftButtonAndHat) {
  EXPECT_THAT(
      Replay({{46, {"KEY DOWN x"}}, {47, {"KEY UP x"}}, {30, {"KEY DOWN n"}}},
             "0 button 9 down\n50 button 3 down\n100 button 3 up\n150 button 9 up\n"
             "200 hat 0\n250 hat 4500\n300 hat centre\n400 end\n"),
      ElementsAre("status Executing Shift Button 3 PRESS", "key 0x58 (X) down",
                  "status Executing Shift Button 3 RELEASE", "key 0x58 (X) up",
                  "status Executing POV North PRESS", "status Executing POV North RELEASE",
                  "status Executing POV NE PRESS", "status Executing POV NE RELEASE",
                  "status Executing POV Center PRESS", "status Executing POV Center RELEASE"));
}

TEST_F(CliTest, MouseMovesOnAGivenScreen) {
  EXPECT_THAT(
      Replay({{26,
               {"MOUSE MOVE A N 512 384 N N", "MOUSE MOVE R N 10 -5 N N", "LEFT MOUSE DOWN",
                "LEFT MOUSE UP"}}},
             "0 button 1 down\n100 end\n", {"--screen", "1024x768", "--cursor", "100,100"}),
      ElementsAre("status Executing Button 1 PRESS", "mouse 0x8001 32768 32768",
                  "mouse 0x8001 33408 32341", "mouse 0x8002 522 379", "mouse 0x8004 522 379"));
}

TEST_F(CliTest, SigtermDuringAnEndlessBlockReleasesAndExits) {
  const std::string profile = Profile({{26,
                                        {"KEY DOWN SHIFT", "BEGBLOCK 001 RPT 0", "KEY DOWN z",
                                         "DELAY 30", "KEY UP z", "ENDBLOCK 001"}}});
  const std::string replay = Write("timeline.txt", "0 button 1 down\n100000 end\n");
  TProcess process({"--headless", "--output", "print", "--replay", replay, profile}, Dir);
  WaitUntil([&] { return process.Out().find("key 0x5A (Z) down") != std::string::npos; }, 10s);
  const auto signalled = std::chrono::steady_clock::now();
  process.Signal(SIGTERM);
  const TRun run = process.Wait();
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 200ms);
  EXPECT_THAT(run.Out, HasSubstr("key 0x5A (Z) up\n"));
  EXPECT_TRUE(run.Out.ends_with(" key 0x10 (SHIFT) up\n")) << run.Out;
}

TEST_F(CliTest, SignalsReleaseEverythingHeldWhateverRuns) {
  const Lines held = {"KEY DOWN SHIFT", "LEFT MOUSE DOWN", "RIGHT MOUSE DOWN", "KEY DOWN q"};
  Lines endless = held;
  endless.insert(endless.end(),
                 {"BEGBLOCK 001 RPT 0", "KEY DOWN z", "DELAY 20", "KEY UP z", "ENDBLOCK 001"});
  Lines delay = held;
  delay.push_back("DELAY 100000");
  for (const Lines& slot : {endless, delay}) {
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
      const std::string profile = Profile({{26, slot}});
      const std::string replay = Write("timeline.txt", "0 button 1 down\n100000 end\n");
      TProcess process({"--headless", "--output", "print", "--replay", replay, profile}, Dir);
      WaitUntil([&] { return process.Out().find("key 0x51 (Q) down") != std::string::npos; }, 10s);
      std::this_thread::sleep_for(30ms);  // into the delay, or a few passes in
      const auto signalled = std::chrono::steady_clock::now();
      process.Signal(signal);
      const TRun run = process.Wait();
      const auto took = std::chrono::steady_clock::now() - signalled;
      EXPECT_EQ(run.ExitCode, 0) << run.Err;
      EXPECT_LT(took, 200ms) << "signal " << signal;
      for (const char* up :
           {"key 0x51 (Q) up\n", "key 0x10 (SHIFT) up\n", "mouse 0x8004 ", "mouse 0x8010 "}) {
        EXPECT_THAT(run.Out, HasSubstr(up)) << "signal " << signal;
      }
      // Nothing is left held: every down has its up.
      for (const char* key : {"0x10 (SHIFT)", "0x51 (Q)", "0x5A (Z)"}) {
        const auto count = [&](const std::string& what) {
          std::size_t n = 0;
          for (auto at = run.Out.find(what); at != std::string::npos;
               at = run.Out.find(what, at + 1))
            ++n;
          return n;
        };
        EXPECT_EQ(count(std::string("key ") + key + " down"),
                  count(std::string("key ") + key + " up"));
      }
    }
  }
}

// A reader that stops reading (a terminal stopped with Ctrl-S, a pipe into a stalled program)
// holds neither the worker nor the stop: the run ends at once on a signal.
TEST_F(CliTest, AStalledReaderHoldsNeitherTheWorkerNorTheStop) {
  const std::string profile = Profile(
      {{26, {"KEY DOWN SHIFT", "BEGBLOCK 001 RPT 0", "KEY DOWN z", "KEY UP z", "ENDBLOCK 001"}}});
  const std::string replay = Write("timeline.txt", "0 button 1 down\n100000 end\n");
  const std::filesystem::path fifo = Dir / "stalled";
  const int reader = TProcess::StalledOutput(fifo);
  ASSERT_GE(reader, 0);
  TProcess process({"--headless", "--output", "print", "--replay", replay, profile}, Dir, {}, {},
                   {}, fifo);
  std::this_thread::sleep_for(500ms);  // a 4 KiB pipe is full after some 150 lines
  const auto signalled = std::chrono::steady_clock::now();
  process.Signal(SIGTERM);
  const TRun run = process.Wait(5s);
  const auto took = std::chrono::steady_clock::now() - signalled;
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(took, 500ms);
  char first[128] = {};
  ASSERT_GT(::read(reader, first, sizeof first - 1), 0);
  EXPECT_THAT(first, HasSubstr(" key 0x10 (SHIFT) down\n"));  // it printed until the pipe was full
  ::close(reader);
}

TEST_F(CliTest, ClosedOutputEndsPrintingNotTheReleases) {
  // As in "kestrova ... | head -1": the reader goes away during an endless block.
  const std::string profile = Profile(
      {{26, {"KEY DOWN SHIFT", "BEGBLOCK 001 RPT 0", "KEY DOWN z", "KEY UP z", "ENDBLOCK 001"}}});
  const std::string replay = Write("timeline.txt", "0 button 1 down\n100000 end\n");
  const std::string command = std::string("'") + KESTROVA_BINARY +
                              "' --headless --output print --replay '" + replay + "' '" + profile +
                              "' | head -1 >/dev/null; exit ${PIPESTATUS[0]}";
  TProcess process({"-c", command}, Dir, {}, "/bin/bash");
  const TRun run = process.Wait(10s);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;  // not 141: SIGPIPE does not kill it
  EXPECT_THAT(run.Err, HasSubstr("kestrova: Output: print (nothing is injected)\n"));
  // Which controller is read, on standard error too.
  EXPECT_THAT(run.Err, ::testing::MatchesRegex(".*kestrova: Controller [0-9]+: Kestrova Virtual "
                                               "Controller \\(plain joystick\\)\n.*"));
}

TEST_F(CliTest, OnlyRegularFilesOfBoundedSizeAreRead) {
  const std::string fifo = (Dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = Write("big.kpf", std::string((16u << 20) + 1, '#'));
  const std::string profile = Profile({});
  const std::string timeline = Write("timeline.txt", "0 end\n");
  struct TCase {
    std::vector<std::string> arguments;
    std::string file;
    std::string reason;
  };
  const std::vector<TCase> cases = {
      {{"--check", fifo}, fifo, "not a regular file"},
      {{"--check", "/dev/zero"}, "/dev/zero", "not a regular file"},
      {{"--check", Dir.string()}, Dir.string(), "it is a folder"},
      {{"--check", "/proc/self/mem"}, "/proc/self/mem", ""},
      {{"--check", big}, big, "larger than 16 MiB"},
      {{"--headless", "--output", "print", fifo}, fifo, "not a regular file"},
      {{"--headless", "--output", "print", "/proc/self/mem"}, "/proc/self/mem", ""},
      {{"--headless", "--output", "print", "--replay", fifo, profile}, fifo, "not a regular file"},
      {{"--headless", "--output", "print", "--replay", "/dev/zero", profile},
       "/dev/zero",
       "not a regular file"},
      {{"--headless", "--output", "print", "--replay", Dir.string(), profile},
       Dir.string(),
       "it is a folder"},
  };
  for (const auto& c : cases) {
    TProcess process(c.arguments, Dir);
    const TRun run = process.Wait(10s);
    EXPECT_EQ(run.ExitCode, 2) << c.arguments.back();
    EXPECT_THAT(run.Err, HasSubstr("kestrova: Cannot open file " + c.file + ": " + c.reason));
    EXPECT_LT(run.Elapsed, 5s) << c.arguments.back();  // never waits on a FIFO or a device
  }
  (void)timeline;
}

TEST_F(CliTest, SmallRefusalsAndNotes) {
  TRun run = Run({"--headless", "--poll-interval", "0", Profile({})});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("--poll-interval takes a whole number from 1 to 100"));
  const std::string nul = Write("nul.txt", std::string("0 axis X 1\n5 but\0ton 1 down\n", 26));
  run = Run({"--headless", "--output", "print", "--replay", nul, Profile({})});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr(nul + ":2: a NUL byte"));
  // --joystick does not choose the controller of a replay; it says so.
  const std::string timeline = Write("t.txt", "0 button 1 down   # pressed at once\n50 end\n");
  const Lines records = Replay(
      {{26, {"KEY DOWN b"}}}, "0 button 1 down   # pressed at once\n50 end\n", {"--joystick", "3"});
  EXPECT_THAT(records, ::testing::Contains("key 0x42 (B) down"));
  EXPECT_THAT(Last.Err, HasSubstr("--joystick is ignored with --replay"));
  (void)timeline;
}

// --poll-interval is how often the controller is read: 2 ms and 40 ms differ twentyfold in wake-
// ups, without a window and with one.
TEST_F(CliTest, ThePollIntervalSetsHowOftenTheControllerIsRead) {
  const std::string replay = Write("idle.txt", "100000 end\n");
  const auto rate = [&](std::vector<std::string> arguments, int interval) {
    arguments.insert(arguments.end(), {"--wake", "interval", "--poll-interval",
                                       std::to_string(interval), "--replay", replay});
    TProcess process(arguments, Dir / ("rate" + std::to_string(interval)),
                     {"QT_QPA_PLATFORM=offscreen"});
    std::this_thread::sleep_for(700ms);  // started
    const long before = process.WakeUps();
    std::this_thread::sleep_for(1s);
    const long woke = process.WakeUps() - before;
    process.Signal(SIGTERM);
    process.Wait();
    return woke;
  };
#ifdef KESTROVA_HAS_WINDOW
  const std::vector<std::vector<std::string>> runs = {
      {"--headless", "--output", "print", Profile({})}, {"--output", "print"}};
#else
  const std::vector<std::vector<std::string>> runs = {
      {"--headless", "--output", "print", Profile({})}};
#endif
  for (const auto& run : runs) {
    const long fast = rate(run, 2);
    const long slow = rate(run, 40);
    EXPECT_GT(fast, 150) << run[0];  // about 500 a second
    EXPECT_LT(slow, 100) << run[0];  // about 25 a second
    EXPECT_GT(fast, 4 * slow) << run[0];
  }
}

// A timeline's first entry, at time 0, is never lost to the start of polling: five runs, five
// presses, each with its key.
TEST_F(CliTest, AReplaysFirstEntryIsAlwaysSeen) {
  const std::string profile = Profile({{26, {"KEY DOWN f"}}, {27, {"KEY UP f"}}});
  const std::string replay = Write("first.txt", "0 button 1 down\n0 axis X 0\n30 end\n");
  for (int run = 0; run < 5; ++run) {
    const TRun done = Run({"--headless", "--output", "print", "--replay", replay, profile});
    EXPECT_EQ(done.ExitCode, 0) << done.Err;
    EXPECT_THAT(done.Out, HasSubstr(" key 0x46 (F) down\n")) << "run " << run;
    EXPECT_THAT(done.Out, HasSubstr("status Executing Stick Left PRESS")) << "run " << run;
  }
}

TEST_F(CliTest, CursorMustBeOnTheScreen) {
  TRun run = Run({"--headless", "--output", "print", "--screen", "800x600", "--cursor", "800,10",
                  Profile({})});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("--cursor 800,10 is outside the 800x600 screen (0..799, 0..599)"));
  run = Run({"--headless", "--output", "print", "--screen", "800x600", "--cursor", "10,600",
             Profile({})});
  EXPECT_EQ(run.ExitCode, 2);
  const std::string replay = Write("end.txt", "0 end\n");
  run = Run({"--headless", "--output", "print", "--screen", "800x600", "--cursor", "799,599",
             "--replay", replay, Profile({})});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
}

TEST_F(CliTest, ProfileTolerancesAndTheDefaultCursorApply) {
  // X tolerance 100 in the profile: a stick a quarter of the way left (about -250) fires with it,
  // as it would not with the default 300. The pointer starts at the centre of the screen.
  TSlotTable table;
  table[0] = {"KEY DOWN a"};
  table[1] = {"KEY UP a"};
  table[26] = {"MOUSE MOVE R N 0 0 N N"};
  const std::string profile =
      Write("tol.kpf", FormatProfile(table, {100, 300, 300, 300, 300, 300, 300}));
  const std::string replay = Write("t.txt",
                                   "0 axis X 16000\n100 axis X 32767\n200 button 1 down\n"
                                   "300 end\n");
  const TRun run =
      Run({"--headless", "--output", "print", "--screen", "1001x701", "--replay", replay, profile});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_THAT(run.Out, HasSubstr(" key 0x41 (A) down\n"));
  EXPECT_THAT(run.Out, HasSubstr(" key 0x41 (A) up\n"));
  // (0 + 500) x 65536 / 1001 and (0 + 350) x 65536 / 701, truncated.
  EXPECT_THAT(run.Out, HasSubstr(" mouse 0x8001 32735 32721\n"));

  // Each axis its own tolerance (X 100, Y 200, Z 300, R 400): 30 short of it, nothing fires;
  // 30 past it, its event fires. Any two tolerances swapped change one of the two.
  TSlotTable axes;
  axes[0] = {"KEY DOWN a"};   // Stick Left
  axes[4] = {"KEY DOWN b"};   // Stick Up
  axes[12] = {"KEY DOWN c"};  // Z Left
  axes[8] = {"KEY DOWN d"};   // Rot. Left
  const std::string four =
      Write("four.kpf", FormatProfile(axes, {100, 200, 300, 400, 300, 300, 300}));
  // Deflections -70, -170, -270, -370, then -130, -230, -330, -430 (--monitor shows them).
  const std::string moves = Write("four.txt",
                                  "0 axis X 25408\n0 axis Y 19510\n0 axis Z 13612\n0 axis R 7714\n"
                                  "100 button 2 down\n"  // a marker between the two phases
                                  "200 axis X 21870\n200 axis Y 15972\n200 axis Z 10074\n"
                                  "200 axis R 4176\n400 end\n");
  const TRun each = Run({"--headless", "--output", "print", "--replay", moves, four});
  EXPECT_EQ(each.ExitCode, 0) << each.Err;
  const auto marker = each.Out.find("Executing Button 2 PRESS");
  ASSERT_NE(marker, std::string::npos) << each.Out;
  EXPECT_EQ(each.Out.substr(0, marker).find(" key 0x"), std::string::npos) << each.Out;
  for (const char* key : {"0x41 (A)", "0x42 (B)", "0x43 (C)", "0x44 (D)"}) {
    EXPECT_NE(each.Out.find(std::string(" key ") + key + " down", marker), std::string::npos)
        << key << "\n"
        << each.Out;
  }
}

TEST_F(CliTest, CheckWarnsAboutLinesThatRunSurprisingly) {
  TSlotTable table;
  table[0] = {"KEY DOWN", "KEY DOWN SPACEBAR", "KEY UP SPACEBAR"};
  table[1] = {"KEY UP"};
  table[26] = {"KEY DOWN a", "BEGBLOCK 001 RPT -5", "DELAY 5", "ENDBLOCK 001"};
  table[28] = {"KEY DOWN b"};
  table[29] = {"KEY UP b"};  // released by the Release list
  table[30] = {"KEY DOWN c", "KEY UP c"};
  const std::string file =
      Write("warn.kpf", FormatProfile(table, {300, 300, 300, 300, 300, 300, 300}));
  const TRun run = Run({"--check", file});
  EXPECT_EQ(run.ExitCode, 0) << run.Out;  // warnings only
  EXPECT_THAT(run.Out, HasSubstr(":3: warning: KEY DOWN has no key name: it presses the Down "
                                 "arrow key\n"));
  EXPECT_THAT(run.Out, HasSubstr(":4: warning: 'SPACEBAR' is not a key name: only its first "
                                 "character 'S' is pressed\n"));
  EXPECT_THAT(run.Out, HasSubstr(":7: warning: KEY UP has no key name: it releases the Up arrow"));
  EXPECT_THAT(run.Out, HasSubstr("warning: 'a' is pressed and never released"));
  EXPECT_THAT(run.Out, HasSubstr("warning: the repeat count -5 is negative"));
  EXPECT_THAT(run.Out, ::testing::Not(HasSubstr("'b' is pressed")));
  EXPECT_THAT(run.Out, ::testing::Not(HasSubstr("'c' is pressed")));
  EXPECT_THAT(run.Out, ::testing::Not(HasSubstr("'DOWN' is pressed")));
  EXPECT_THAT(run.Out, HasSubstr(file + ": OK, 6 warning(s)\n"));
}

#ifdef KESTROVA_HAS_WINDOW
// A stop signal or --quit while the start-up's error box is open ends the program (a --quit
// that answered "ends" left it running hidden).
TEST_F(CliTest, StopDuringTheStartUpMessageBoxEndsTheWindow) {
  const std::string broken = Write("broken.kpf", "#Kestrova Beta Profile\r\n#Command Tag 0\r\n");
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + Dir.string()};
  for (int signal : {SIGTERM, SIGHUP, 0}) {
    TProcess process({"--output", "print", broken}, Dir / "window", env);
    std::this_thread::sleep_for(1500ms);  // the window is up and the error box shows
    if (signal != 0) {
      process.Signal(signal);
    } else {
      // The box is modal: a --load meanwhile is refused, not applied under it.
      const TRun load = Run({"--load", "--force", Profile({})}, env);
      EXPECT_EQ(load.ExitCode, 1);
      EXPECT_THAT(load.Err, HasSubstr("busy: a dialog is open"));
      const TRun quit = Run({"--quit"}, env);
      EXPECT_EQ(quit.ExitCode, 0) << quit.Err;
    }
    const TRun run = process.Wait(10s);
    EXPECT_EQ(run.ExitCode, 0) << "signal " << signal << ": " << run.Err;
  }
}

// One running window per user and controller, told from outside.
TEST_F(CliTest, TheRunningWindowLoadsShowsAndQuitsOnRequest) {
  const std::string socket = (Dir / "kestrova" / "instance-1.socket").string();
  const std::vector<std::string> offscreen = {"QT_QPA_PLATFORM=offscreen",
                                              "XDG_RUNTIME_DIR=" + Dir.string()};
  const std::string state = (Dir / "state.txt").string();
  TProcess window({"--output", "print"}, Dir / "window",
                  {"QT_QPA_PLATFORM=offscreen", "KESTROVA_STATE_FILE=" + state,
                   "XDG_RUNTIME_DIR=" + Dir.string()});
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(socket); }, 10s));
  EXPECT_EQ(std::filesystem::status(Dir / "kestrova").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);  // only its user may reach it
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(socket).permissions() & (perms::group_all | perms::others_all),
            perms::none);  // the socket too

  TSlotTable table;
  table[0] = {"KEY DOWN q"};
  const std::string good =
      Write("good.kpf", FormatProfile(table, {300, 300, 300, 300, 300, 300, 300}));
  TRun run = Run({"--load", good}, offscreen);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out, "kestrova: loaded " + good + "\n");
  const std::string broken = Write("broken.kpf", "#Kestrova Beta Profile\r\n");
  run = Run({"--load", broken}, offscreen);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_THAT(run.Err, HasSubstr("kestrova: List index out of bounds (1)"));
  run = Run({}, offscreen);  // a second start shows the first one's window
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_THAT(run.Out, HasSubstr("shown"));

  // Anything else is answered with an error, and nothing more.
  for (const std::string& request :
       {std::string("HELLO\n"), std::string(20000, 'x'), std::string("LOAD\t0\trelative.kpf\n")}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char reply[256] = {};
    std::size_t got = 0;
    for (ssize_t n;
         got < sizeof reply - 1 && (n = ::recv(fd, reply + got, sizeof reply - 1 - got, 0)) > 0;) {
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    EXPECT_THAT(std::string(reply), ::testing::StartsWith("ERROR\t")) << request.substr(0, 20);
  }

  run = Run({"--quit"}, offscreen);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  const TRun ended = window.Wait(10s);
  EXPECT_EQ(ended.ExitCode, 0) << ended.Err;
  const std::string text = TProcess::ReadFile(state);
  EXPECT_THAT(text, HasSubstr("caption: Kestrova - " + good));
  EXPECT_THAT(text, HasSubstr("Loaded " + good + " from the command line"));
  run = Run({"--quit"}, offscreen);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_THAT(run.Err, HasSubstr("no Kestrova runs for controller 1"));
}

// "Is one running, else become it" is one step: of starts close together exactly one window
// stays, and the others hand over to it.
TEST_F(CliTest, StartsCloseTogetherLeaveOneWindow) {
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + Dir.string()};
  std::vector<std::unique_ptr<TProcess>> starts;
  for (int i = 0; i < 3; ++i) {
    starts.push_back(std::make_unique<TProcess>(std::vector<std::string>{"--output", "print"},
                                                Dir / ("start" + std::to_string(i)), env));
    std::this_thread::sleep_for(30ms);
  }
  int handedOver = 0;
  TProcess* window = nullptr;
  for (auto& start : starts) {
    const TRun run = start->Wait(3s);
    if (run.ExitCode == 0 && run.Out.find("shown") != std::string::npos) {
      ++handedOver;
    } else if (run.ExitCode == -1) {
      window = start.get();
    }
  }
  EXPECT_EQ(handedOver, 2);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Run({"--quit"}, env).ExitCode, 0);
  EXPECT_EQ(window->Wait(10s).ExitCode, 0);
}

// The socket is an extra: a runtime folder that cannot be used (missing, or another user's
// folder there) leaves the window without it, said once.
TEST_F(CliTest, TheWindowStartsWhateverHappensToTheSocketFolder) {
  std::filesystem::create_directories(Dir / "taken");
  std::filesystem::create_symlink("/", Dir / "taken" / "kestrova");  // not a folder of its own
  std::vector<std::string> runtimes = {(Dir / "missing" / "runtime").string(),
                                       (Dir / "taken").string()};
  // Another user's folder in its place (one "sudo -E" run leaves root's there): as root, the
  // test can make one.
  std::filesystem::create_directories(Dir / "others" / "kestrova");
  if (::geteuid() == 0 && ::chown((Dir / "others" / "kestrova").c_str(), 65534, 65534) == 0) {
    runtimes.push_back((Dir / "others").string());
  }
  for (const std::string& runtime : runtimes) {
    TProcess window({"--output", "print"}, Dir / "window",
                    {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + runtime});
    EXPECT_EQ(window.Wait(1500ms).ExitCode, -1) << runtime;  // it runs
    window.Signal(SIGTERM);
    const TRun run = window.Wait(10s);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    const auto told = run.Err.find("--load and --quit cannot reach this window");
    EXPECT_NE(told, std::string::npos) << runtime << ": " << run.Err;
    EXPECT_EQ(run.Err.find("--load and --quit", told + 1), std::string::npos) << "said once";
  }
}

// The start at login (--last-profile) opens the newest recent profile, whatever the start choice.
TEST_F(CliTest, ALoginStartOpensTheLastProfile) {
  const std::string profile = Profile({{0, {"KEY DOWN l"}}});
  std::filesystem::create_directories(Dir / "config" / "Kestrova");
  std::ofstream(Dir / "config" / "Kestrova" / "Kestrova.ini")
      << "[profiles]\nrecent=" << profile << "\n";
  const std::string state = (Dir / "state.txt").string();
  const std::vector<std::string> env = {
      "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + Dir.string(),
      "XDG_CONFIG_HOME=" + (Dir / "config").string(), "KESTROVA_STATE_FILE=" + state};
  TProcess window({"--output", "print", "--hidden", "--last-profile"}, Dir / "window", env);
  ASSERT_TRUE(WaitUntil([&] { return Run({"--quit"}, env).ExitCode == 0; }, 10s));
  EXPECT_EQ(window.Wait(10s).ExitCode, 0);
  EXPECT_THAT(TProcess::ReadFile(state), HasSubstr("caption: Kestrova - " + profile + "\n"));
}

TEST_F(CliTest, EachControllerHasItsOwnRunningWindow) {
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + Dir.string()};
  TProcess first({"--output", "print", "--joystick", "1"}, Dir / "first", env);
  TProcess second({"--output", "print", "--joystick", "2"}, Dir / "second", env);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return std::filesystem::exists(Dir / "kestrova" / "instance-1.socket") &&
               std::filesystem::exists(Dir / "kestrova" / "instance-2.socket");
      },
      10s));
  const std::string profile = Profile({{0, {"KEY DOWN z"}}});
  TRun run = Run({"--load", profile, "--joystick", "2"}, env);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  run = Run({"--quit", "--joystick", "2"}, env);  // the second one only
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(second.Wait(10s).ExitCode, 0);
  EXPECT_EQ(first.Wait(300ms).ExitCode, -1);  // still running
  run = Run({"--quit"}, env);
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(first.Wait(10s).ExitCode, 0);
}

TEST_F(CliTest, ASocketLeftByAKilledWindowIsTakenOver) {
  const std::string socket = (Dir / "kestrova" / "instance-1.socket").string();
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + Dir.string()};
  {
    TProcess killed({"--output", "print"}, Dir / "killed", env);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(socket); }, 10s));
    killed.Signal(SIGKILL);
    killed.Wait();
  }
  ASSERT_TRUE(std::filesystem::exists(socket));  // left behind
  TRun run = Run({"--quit"}, env);
  EXPECT_EQ(run.ExitCode, 1);  // nobody answers there
  TProcess next({"--output", "print"}, Dir / "next", env);
  ASSERT_TRUE(WaitUntil([&] { return Run({"--quit"}, env).ExitCode == 0; }, 10s));
  EXPECT_EQ(next.Wait(10s).ExitCode, 0);
}
#endif

TEST_F(CliTest, LosingTheXDisplayIsARuntimeFailure) {
  // A private X server, killed while Kestrova types into it.
  const std::string displayFile = (Dir / "display").string();
  std::filesystem::create_directory(Dir / "server");  // its output apart from Kestrova's
  TProcess server({"-c", "exec Xvfb -displayfd 3 -nolisten tcp -noreset 3>'" + displayFile + "'"},
                  Dir / "server", {}, "/bin/bash");
  std::string number;
  ASSERT_TRUE(WaitUntil(
      [&] {
        number = TProcess::ReadFile(displayFile);
        return !number.empty() && number.back() == '\n';
      },
      10s));
  number.pop_back();
  const std::string profile = Profile(
      {{26, {"BEGBLOCK 001 RPT 0", "KEY DOWN SHIFT", "KEY UP SHIFT", "DELAY 5", "ENDBLOCK 001"}}});
  const std::string replay = Write("timeline.txt", "0 button 1 down\n100000 end\n");
  TProcess process({"--headless", "--output", "x11", "--replay", replay, profile}, Dir,
                   {"DISPLAY=:" + number});
  std::this_thread::sleep_for(500ms);  // typing
  server.Signal(SIGKILL);
  server.Wait();
  const TRun run = process.Wait(10s);
  EXPECT_EQ(run.ExitCode, 3) << run.Err;
  EXPECT_THAT(run.Err, HasSubstr("kestrova: lost the connection to the X display"));
}

TEST_F(CliTest, LargeInputsStayBounded) {
#ifdef KESTROVA_SANITIZED
  GTEST_SKIP() << "time and memory bounds are measured in the plain build";
#endif
  // A 10 MB profile: checked and run in bounded time and memory.
  TSlotTable table;
  table[0].assign(950000, "KEY DOWN a");
  const std::string big =
      Write("big.kpf", FormatProfile(table, {300, 300, 300, 300, 300, 300, 300}));
  ASSERT_GT(std::filesystem::file_size(big), 10'000'000u);
  TRun run = Run({"--check", big});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(run.Elapsed, 10s);
  EXPECT_LT(run.MaxRssKb, 400 * 1024);
  const std::string shortRun = Write("end.txt", "100 end\n");
  run = Run({"--headless", "--output", "print", "--replay", shortRun, big});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(run.MaxRssKb, 400 * 1024);

  // A 1 MB command line, and a 100000-line slot stopped by a signal.
  const std::string huge(1 << 20, 'x');
  EXPECT_THAT(Replay({{26, {"KEY DOWN " + huge, "KEY UP " + huge, "DELAY " + huge}}},
                     "0 button 1 down\n2000 end\n"),
              ::testing::Contains("key 0x58 (X) up"));
  EXPECT_THAT(Last.Out, HasSubstr("'" + huge.substr(0, 80) + "...' is not a valid integer value"));
  const std::string longSlot = Profile({{26, Lines(100000, "KEY DOWN a")}});
  const std::string press = Write("press.txt", "0 button 1 down\n300 end\n");
  run = Run({"--headless", "--output", "print", "--replay", press, longSlot});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(run.Elapsed, 5s);
  EXPECT_THAT(run.Out, HasSubstr("key 0x41 (A) up\n"));  // released at the end

  // A replay of 100000 entries.
  std::string timeline;
  for (int i = 0; i < 100000; ++i) {
    timeline += std::to_string(i / 100) + " button 1 " + (i % 2 ? "up" : "down") + "\n";
  }
  timeline += "1200 end\n";
  const std::string entries = Write("many.txt", timeline);
  run = Run({"--headless", "--output", "print", "--replay", entries, Profile({})});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_LT(run.Elapsed, 10s);

  // What is refused says so.
  const std::string late = Write("late.txt", "99999999999 end\n");
  run = Run({"--headless", "--output", "print", "--replay", late, Profile({})});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err,
              HasSubstr(late + ":1: the time '99999999999' is not a number of milliseconds"));
}

TEST_F(CliTest, MalformedReplayIsRefusedBeforeAnythingRuns) {
  const std::string profile = Profile({});
  const std::string replay = Write("bad.txt", "# fine\n0 axis X 100\n10 axis W 5\n");
  const TRun run = Run({"--headless", "--output", "print", "--replay", replay, profile});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_EQ(run.Err, "kestrova: " + replay + ":3: unknown axis 'W' (X, Y, Z, R, U, V, LT or RT)\n");
  EXPECT_EQ(run.Out, "");
  const std::string pad = Write("pad.txt", "0 axis LT 100\n10 button 18 down\n");
  EXPECT_EQ(Run({"--headless", "--output", "print", "--replay", pad, profile}).Err,
            "kestrova: " + pad +
                ":2: a timeline with LT or RT drives a game pad, whose buttons are 1..17\n");
}

TEST_F(CliTest, CheckReportsProblemsWithLines) {
  const std::string clean = Profile({{0, {"KEY DOWN a"}}, {1, {"KEY UP a"}}});
  TRun run = Run({"--check", clean});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_EQ(run.Out, clean + ": OK\n");

  const std::string bad = Profile({{0, {"DELAY x", "BEGBLOCK 001 RPT 2"}}, {2, {"TRMBLOCK 004"}}});
  run = Run({"--check", bad});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Out, bad + ":3: DELAY value 'x' is not a number\n" + bad +
                         ":4: BEGBLOCK 001 has no ENDBLOCK 001 after it in its slot\n" + bad +
                         ":7: TRMBLOCK 004 stops a block no BEGBLOCK defines\n" + bad +
                         ": 3 problem(s)\n");

  // Characters beyond ASCII as the file has them: a Latin-1 byte, or UTF-8 as it stands.
  for (const auto& [word, shown] : {std::pair<std::string, std::string>{"caf\xe9", "caf\xc3\xa9"},
                                    {"caf\xc3\xa9", "caf\xc3\xa9"}}) {
    const std::string accented = Profile({{0, {"DELAY " + word}}});
    run = Run({"--check", accented});
    EXPECT_THAT(run.Out, HasSubstr(":3: DELAY value '" + shown + "' is not a number\n"));
  }

  const std::string notProfile = Write("notes.txt", "hello\n");
  run = Run({"--check", notProfile});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_THAT(run.Out, HasSubstr(notProfile + ":1: not a Kestrova profile"));

  run = Run({"--check", (Dir / "missing.kpf").string()});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("Cannot open file " + (Dir / "missing.kpf").string()));
}

TEST_F(CliTest, UsageAndRefusedFiles) {
  TRun run = Run({"--help"});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_THAT(run.Out, HasSubstr("kestrova [OPTIONS] [PROFILE]\n  --headless"));
  EXPECT_EQ(Run({"--version"}).Out, "Kestrova 1.3\n");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--headless"},
                                              {"--joystick", "17", "x.kpf"},
                                              {"--output", "wav"},
                                              {"--bogus"},
                                              {"--screen", "10x"},
                                              {"a.kpf", "b.kpf"},
                                              {"--poll-interval", "101"},
                                              {"--output", std::string(1 << 16, 'w')},
                                              {"--" + std::string(1 << 16, 'b')}}) {
    run = Run(bad);
    EXPECT_EQ(run.ExitCode, 2) << bad[0];
    EXPECT_THAT(run.Err, HasSubstr("Try 'kestrova --help'."));
    EXPECT_LT(run.Err.size(), 300u) << "a long token is quoted in part";
  }
  run = Run({"--headless", "--output", "print", (Dir / "none.kpf").string()});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_EQ(run.Err, "kestrova: Cannot open file " + (Dir / "none.kpf").string() +
                         ": No such file or directory\n");
  const std::string old = Write("old.kpf", "#Kestrova Alpha Profile\r\n");
  run = Run({"--headless", "--output", "print", old});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err,
              HasSubstr(old + ":1: The profile you are trying to load is for a different"));

  // No display for XTest output: refused with a clear message.
  run = Run({"--headless", Profile({})}, {"DISPLAY="});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_THAT(run.Err, HasSubstr("DISPLAY is not set"));
}

TEST_F(CliTest, MonitorPrintsWhatTheControllerDoes) {
  const std::string replay = Write("t.txt",
                                   "100 axis X 0\n200 button 5 down\n300 hat 9000\n"
                                   "400 axis R 65535\n400 button 5 up\n450 axis U 0\n500 end\n");
  const TRun run = Run({"--monitor", "--replay", replay});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  Lines lines;
  std::istringstream out(run.Out);
  for (std::string line; std::getline(out, line);) lines.push_back(line.substr(line.find(' ') + 1));
  EXPECT_THAT(lines, ElementsAre("axis X 0 -> -500 Left", "button 5 down", "hat 9000 East",
                                 "axis R 65535 -> 500 Rot. Right", "button 5 up",
                                 "axis U 0 -> -500 U Left"));
  EXPECT_THAT(run.Err, HasSubstr("Kestrova Virtual Controller"));
}

// A timeline with a trigger drives a virtual game pad: the pad's further events run their lists
// as the first 33 do.
TEST_F(CliTest, APadTimelineDrivesTheTriggersUAndTheFurtherButtons) {
  const Lines records =
      Replay({{74, {"KEY DOWN t"}}, {75, {"KEY UP t"}}, {66, {"MOUSE MOVE R N 1 0 U N"}}},
             "100 axis LT 65535\n100 axis RT 65535\n200 axis LT 0\n200 axis RT 0\n"
             "300 button 9 down\n320 button 12 down\n340 button 12 up\n360 button 9 up\n"
             "400 axis U 0\n450 axis U 65535\n500 end\n");
  // The worker's records interleave with the poll thread's: each kind is checked in its order.
  Lines statuses;
  Lines output;
  for (const auto& record : records) {
    if (record.starts_with("key ") || record.starts_with("mouse ")) output.push_back(record);
    if (record.find("Trigger") != std::string::npos ||
        record.find("Button 1") != std::string::npos || record.find(" U ") != std::string::npos) {
      statuses.push_back(record);
    }
  }
  EXPECT_THAT(
      statuses,
      ElementsAre("status Executing Left Trigger PRESS", "status Executing Right Trigger PRESS",
                  "status Executing Left Trigger RELEASE", "status Executing Right Trigger RELEASE",
                  "status Executing Shift Button 12 PRESS",
                  "status Executing Shift Button 12 RELEASE", "status Executing U Left PRESS",
                  "status Executing U Left RELEASE", "status Executing U Right PRESS"));
  // The move is scaled by U at the left end (-500 + 1): 499 pixels left of the centre of the
  // 1920-pixel screen, 461 * 65536 / 1920 in mouse units.
  EXPECT_THAT(output,
              ElementsAre("key 0x54 (T) down", "key 0x54 (T) up", "mouse 0x8001 15735 32768"));
  EXPECT_THAT(Last.Err, Not(HasSubstr("warning")));
  // A trigger "at rest" at 32767 is half pulled: the run says so before it starts.
  Replay({}, "100 axis LT 32767\n200 end\n");
  EXPECT_THAT(Last.Err, HasSubstr("kestrova: warning: Replay: "));
  EXPECT_THAT(Last.Err, HasSubstr("timeline.txt:1: the left trigger is still pulled (32767)"));
}

// The pad's sensors from a timeline, through the service as a real pad's samples come: a yaw to
// the right of 90 degrees a second for one second moves the pointer 900 pixels right (10 a
// degree), the far edge up moves it up; the touchpad's finger moves it; its click runs its slot.
TEST_F(CliTest, ATimelinesGyroAndTouchpadMoveThePointer) {
  TMotionSettings motion;
  motion[TMotionSource::Gyro].Mode = TMotionMode::Mouse;
  motion[TMotionSource::Gyro].SmoothDps = 0;
  motion[TMotionSource::Touchpad].Mode = TMotionMode::Mouse;
  TSlotTable table;
  table[106] = {"KEY DOWN c"};
  table[107] = {"KEY UP c"};
  const std::string profile = Write("gyro.kpf", FormatProfile(table, DefaultTolerances, motion));
  const std::string timeline = Write(
      "gyro.txt",
      "100 accel 0 9.81 0\n100 gyro 0 0 0\n300 gyro 0 -90 0\n1300 gyro 45 0 0\n1800 gyro 0 0 0\n"
      "2000 touch down 0.1 0.5\n2050 touch move 0.2 0.5\n2100 touch move 0.3 0.5\n"
      "2150 touch up 0.3 0.5\n2200 button 17 down\n2250 button 17 up\n2400 end\n");
  Last = Run({"--headless", "--output", "print", "--replay", timeline, profile});
  ASSERT_EQ(Last.ExitCode, 0) << Last.Err;
  EXPECT_THAT(Last.Err, HasSubstr("Controller 1 has a gyro and a touchpad"));
  double gyroX = 0, gyroY = 0, touchX = 0;
  Lines keys;
  std::istringstream out(Last.Out);
  for (std::string line; std::getline(out, line);) {
    double ms = 0;
    int dx = 0, dy = 0;
    if (std::sscanf(line.c_str(), "%lf mouse 0x0001 %d %d", &ms, &dx, &dy) == 3) {
      (ms < 1950 ? gyroX : touchX) += dx;
      if (ms < 1950) gyroY += dy;
    }
    if (line.find(" key ") != std::string::npos) keys.push_back(line.substr(line.find("key")));
  }
  EXPECT_NEAR(gyroX, 900, 45);             // within 5 %
  EXPECT_NEAR(gyroY, -45 * 0.5 * 10, 12);  // 45 degrees a second up for half a second
  EXPECT_NEAR(touchX, 200, 2);             // two tenths of the touchpad at 1000 px across it
  EXPECT_THAT(keys, ElementsAre("key 0x43 (C) down", "key 0x43 (C) up"));
}

// From the pad, through the headless run's own loop: a hold on button 1 switches the layer
// while held, a tap on button 2 switches the profile (held keys let go first); --monitor with
// the profile names the events with their layer and injects nothing.
TEST_F(CliTest, LayersPressTypesAndProfileSwitchesFromThePad) {
  TSlotTable first;
  first[26] = {"KEY DOWN a"};
  first[27] = {"KEY UP a"};
  first[34] = {"KEY DOWN x"};  // button 5: held across the switch
  TExtraLists extras;
  extras.SetList(ListId(0, TPressType::Hold, 26), {"LAYER 2"});
  extras.SetList(ListId(0, TPressType::Hold, 27), {"LAYER 0"});
  extras.SetList(ListId(2, TPressType::Plain, 30), {"KEY DOWN z", "KEY UP z"});
  extras.SetList(ListId(0, TPressType::Tap, 28), {"PROFILE second.kpf"});
  const std::string profile =
      Write("first.kpf", FormatProfile(first, DefaultTolerances, DefaultMotion, extras));
  TSlotTable second;
  second[30] = {"KEY DOWN s", "KEY UP s"};
  Write("second.kpf", FormatProfile(second, DefaultTolerances));
  const std::string timeline =
      Write("layers.txt",
            "100 button 1 down\n500 button 3 down\n550 button 3 up\n600 button 1 up\n"
            "800 button 5 down\n900 button 2 down\n950 button 2 up\n1300 button 5 up\n"
            "1400 button 3 down\n1450 button 3 up\n1600 end\n");
  Last = Run({"--headless", "--output", "print", "--replay", timeline, profile});
  ASSERT_EQ(Last.ExitCode, 0) << Last.Err;
  // The poll thread says what runs, the worker types it: each in its order.
  Lines said;
  Lines typed;
  std::istringstream out(Last.Out);
  for (std::string line; std::getline(out, line);) {
    if (line.find(" status ") != std::string::npos)
      said.push_back(line.substr(line.find("status")));
    if (line.find(" key ") != std::string::npos) typed.push_back(line.substr(line.find("key")));
  }
  EXPECT_THAT(
      said, ElementsAre("status Executing Button 1 PRESS", "status Executing Button 1 Hold PRESS",
                        "status Executing Button 3 PRESS (layer 2)",
                        "status Executing Button 3 RELEASE (layer 2)",
                        "status Executing Button 1 RELEASE",
                        "status Executing Button 1 Hold RELEASE", "status Executing Button 5 PRESS",
                        "status Executing Button 2 PRESS", "status Executing Button 2 RELEASE",
                        "status Executing Button 2 Tap PRESS",  // its Release list has no lines
                        "status Switched to second.kpf", "status Executing Button 3 PRESS",
                        "status Executing Button 3 RELEASE"));
  EXPECT_THAT(typed, ElementsAre("key 0x41 (A) down", "key 0x5A (Z) down", "key 0x5A (Z) up",
                                 "key 0x41 (A) up", "key 0x58 (X) down", "key 0x58 (X) up",
                                 "key 0x53 (S) down", "key 0x53 (S) up"));

  const TRun monitored = Run({"--monitor", "--replay", timeline, profile});
  ASSERT_EQ(monitored.ExitCode, 0) << monitored.Err;
  EXPECT_THAT(monitored.Out, HasSubstr(" button 3 down\n"));
  EXPECT_THAT(monitored.Out, HasSubstr(" event Button 3 PRESS (layer 2)\n"));
  EXPECT_THAT(monitored.Out, HasSubstr(" event Button 1 Hold PRESS\n"));
  // It switches nothing: there is no document thread to do it.
  EXPECT_THAT(monitored.Out, Not(HasSubstr("Switched")));
}

// On demand from the command line: two seconds of the pad held still become its gyro's bias,
// kept for the pad; a later run with the gyro as a mouse takes it off, so the resting pad does
// not drift. A controller without a gyro is told so.
TEST_F(CliTest, TheGyroIsCalibratedOnDemandAndKeptForThePad) {
  const std::string config = (Dir / "config").string();
  const std::string still = Write("still.txt", "0 gyro 0.5 -1.25 0.75\n4000 end\n");
  const TRun calibrated =
      Run({"--calibrate-gyro", "--replay", still}, {"XDG_CONFIG_HOME=" + config});
  ASSERT_EQ(calibrated.ExitCode, 0) << calibrated.Err;
  EXPECT_THAT(calibrated.Out, HasSubstr("its bias is 0.50 -1.25 0.75 degrees a second"));
  EXPECT_THAT(calibrated.Err, HasSubstr("hold controller 1 still for two seconds"));
  std::ifstream kept(config + "/Kestrova/gyro-bias");
  std::string line;
  ASSERT_TRUE(std::getline(kept, line));
  EXPECT_THAT(line, HasSubstr(" 0.5 -1.25 0.75"));

  TMotionSettings motion;
  motion[TMotionSource::Gyro].Mode = TMotionMode::Mouse;
  const std::string profile =
      Write("gyro.kpf", FormatProfile(TSlotTable{}, DefaultTolerances, motion));
  const std::string resting = Write("rest.txt", "0 gyro 0.5 -1.25 0.75\n1500 end\n");
  const TRun run = Run({"--headless", "--output", "print", "--replay", resting, profile},
                       {"XDG_CONFIG_HOME=" + config});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_THAT(run.Out, Not(HasSubstr("mouse 0x0001")));
  // Without it, the same pad drifts: 1.25 degrees a second is 18 pixels in 1.5 s.
  const TRun drifting = Run({"--headless", "--output", "print", "--replay", resting, profile},
                            {"XDG_CONFIG_HOME=" + (Dir / "elsewhere").string()});
  EXPECT_THAT(drifting.Out, HasSubstr("mouse 0x0001"));

  const std::string plain = Write("plain.txt", "0 button 1 down\n3000 end\n");
  const TRun none = Run({"--calibrate-gyro", "--replay", plain}, {"XDG_CONFIG_HOME=" + config});
  EXPECT_EQ(none.ExitCode, 1);
  EXPECT_THAT(none.Err, HasSubstr("controller 1 has no gyro Kestrova can read"));
}

TEST_F(CliTest, ListsTheVirtualController) {
  const std::string replay = Write("timeline.txt", "0 end\n");
  const TRun run = Run({"--list-controllers", "--replay", replay});
  EXPECT_EQ(run.ExitCode, 0);
  EXPECT_THAT(run.Out, HasSubstr(": Kestrova Virtual Controller (6 axes, 32 buttons, 1 hats)\n"));
}

}  // namespace
}  // namespace kestrova::testing
