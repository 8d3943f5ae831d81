// The application in front as GNOME Shell tells it, against a stand-in shell on a private
// session bus (the test runs under dbus-run-session): Kestrova's real extension runs in a
// JavaScript engine and exports its object; the source and the program's --active-window
// follow it. The real GNOME Shell is tested in tests/desktop where it can run.

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <vector>

#include "common/StandIn.h"
#include "platform/gnome/GnomeActiveWindow.h"

namespace kestrova {
namespace {

const QString Extension =
    KESTROVA_SOURCE_DIR "/data/gnome-shell/kestrova-focus@example.org/extension.js";

// The stand-in shell, running the extension.
class TFakeShell : public testing::TStandIn {
 public:
  explicit TFakeShell(const QStringList& arguments = {})
      : TStandIn(KESTROVA_FAKE_GNOME_SHELL, QStringList{Extension} + arguments) {}
  // Whether a line starting with line has been said, waiting up to the timeout.
  bool Has(const QString& line) { return !WaitFor(line).isEmpty(); }
};

using testing::Self;
using testing::SelfExecutable;
using testing::TTold;

struct TProgramRun {
  int ExitCode = -1;
  QString Out;
  QString Err;
};

// The program's --active-window on a GNOME desktop without a display of its own.
TProgramRun AskProgram(const QString& runtimeDir) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("WAYLAND_DISPLAY");
  environment.insert("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
  environment.insert("XDG_RUNTIME_DIR", runtimeDir);
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(KESTROVA_BINARY, {"--active-window"});
  TProgramRun run;
  if (!program.waitForFinished(20000)) return run;
  run.ExitCode = program.exitCode();
  run.Out = QString::fromUtf8(program.readAllStandardOutput());
  run.Err = QString::fromUtf8(program.readAllStandardError());
  return run;
}

}  // namespace

class TestGnome : public QObject {
  Q_OBJECT

 private slots:
  // What is in front at the start, then each focus change, with the extension's names: the
  // application id without ".desktop" stands in for a missing class, a made-up "window:N" id
  // names nothing, and nothing in front is told as such.
  void FollowsTheExtension() {
    TFakeShell shell(
        {"--focus", "org.gnome.Terminal:Gnome-terminal:gnome-terminal-server:" + Self()});
    QVERIFY(shell.Has("ready"));
    TTold told;
    auto source = CreateGnomeActiveWindowSource(told.Handlers());
    QVERIFY(source != nullptr);
    QVERIFY2(told.WaitForChanges(1), qPrintable(shell.Said()));
    QVERIFY(source->Reporting());
    QCOMPARE(told.Changes[0].Class, "Gnome-terminal");
    QCOMPARE(told.Changes[0].Instance, "gnome-terminal-server");
    QCOMPARE(told.Changes[0].Executable, SelfExecutable);
    QCOMPARE(told.Changes[0].Source, std::string(GnomeSourceName));

    shell.Send("focus org.example.Racing.desktop - - 0");
    QVERIFY(told.WaitForChanges(2));
    QVERIFY(told.Changes[1].Found);
    QCOMPARE(told.Changes[1].Class, "org.example.Racing");
    QCOMPARE(told.Changes[1].Executable, "");
    shell.Send("focus - steam_app_570 - 0");
    QVERIFY(told.WaitForChanges(3));
    QCOMPARE(told.Changes[2].Class, "steam_app_570");
    QCOMPARE(told.Changes[2].Instance, "steam_app_570");
    shell.Send("focus window:7 - - 0");
    QVERIFY(told.WaitForChanges(4));
    QVERIFY(!told.Changes[3].Found);
    shell.Send("none");
    QVERIFY(told.WaitForChanges(5));
    QVERIFY(!told.Changes[4].Found);
    QVERIFY(!shell.Said().contains("script-error"));
    QVERIFY(told.Losses.empty());
  }

  // Only the shell tells: the same signal from another program on the bus is not a report.
  void OthersOnTheBusAreNotHeard() {
    TFakeShell shell({"--focus", "org.gnome.Nautilus:Nautilus:nautilus:0"});
    QVERIFY(shell.Has("ready"));
    TTold told;
    auto source = CreateGnomeActiveWindowSource(told.Handlers());
    QVERIFY(told.WaitForChanges(1));
    QDBusConnection intruder =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "intruder");
    QVERIFY(intruder.isConnected());
    QDBusMessage forged =
        QDBusMessage::createSignal("/org/kestrova/Focus", "org.kestrova.Focus", "FocusChanged");
    forged << QString("evil") << QString("Evil") << QString("evil") << 0u;
    QVERIFY(intruder.send(forged));
    // Sent after the forgery: once it is here, the forgery has been seen too.
    shell.Send("focus - Game game 0");
    QVERIFY(told.WaitForChanges(2));
    QTest::qWait(100);
    QDBusConnection::disconnectFromBus("intruder");
    QCOMPARE(told.Changes.size(), 2u);
    QCOMPARE(told.Changes[1].Class, "Game");
  }

  // Installed but not enabled: said with the command that enables it; enabled later, it reports
  // without Kestrova starting again; the question of --active-window fails with the same words.
  void TheExtensionNotEnabled() {
    TFakeShell shell({"--disabled", "--focus", "-:Game:game:0"});
    QVERIFY(shell.Has("ready"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, ReadGnomeActiveWindow(std::chrono::seconds(5)));
    TTold told;
    auto source = CreateGnomeActiveWindowSource(told.Handlers());
    QVERIFY(QTest::qWaitFor([&] { return !told.Losses.empty(); }, 10000));
    QCOMPARE(told.Losses, std::vector<std::string>{GnomeExtensionMissing()});
    QVERIFY(GnomeExtensionMissing().find("gnome-extensions enable kestrova-focus@example.org") !=
            std::string::npos);
    QVERIFY(!source->Reporting());
    const TProgramRun refused = AskProgram(FFolder.path());
    QVERIFY(refused.ExitCode != 0);
    QVERIFY2(refused.Err.contains("gnome-extensions enable kestrova-focus@example.org"),
             qPrintable(refused.Out + refused.Err));

    shell.Send("enable");
    QVERIFY(told.WaitForChanges(1));
    QCOMPARE(told.Changes[0].Class, "Game");
    QVERIFY(source->Reporting());
    // Disabled again: nothing more comes, and nothing breaks.
    shell.Send("disable");
    QVERIFY(shell.Has("disabled"));
    shell.Send("focus - Other other 0");
    QTest::qWait(200);
    QCOMPARE(told.Changes.size(), 1u);
  }

  // The shell leaves (a crash, "restart" on X11): said once; the next shell is asked again.
  void TheShellGoneAndBack() {
    TTold told;
    std::unique_ptr<TActiveWindowSource> source;
    {
      TFakeShell shell({"--focus", "-:Konsole:konsole:0"});
      QVERIFY(shell.Has("ready"));
      source = CreateGnomeActiveWindowSource(told.Handlers());
      QVERIFY(told.WaitForChanges(1));
    }
    QVERIFY(QTest::qWaitFor([&] { return !told.Losses.empty(); }, 10000));
    QCOMPARE(told.Losses, std::vector<std::string>{"GNOME Shell left the session bus"});
    QVERIFY(!source->Reporting());
    TFakeShell again({"--focus", "-:Game:game:0"});
    QVERIFY(told.WaitForChanges(2));
    QCOMPARE(told.Changes[1].Class, "Game");
    QVERIFY(source->Reporting());
    QCOMPARE(told.Losses.size(), 1u);
  }

  // No shell on the bus: no source and no answer, without waiting for one.
  void NoShell() {
    TTold told;
    QVERIFY(CreateGnomeActiveWindowSource(told.Handlers()) == nullptr);
    QVERIFY(!ReadGnomeActiveWindow(std::chrono::seconds(5)).has_value());
  }

  // The program asks the shell when the desktop is GNOME.
  void ProgramPrintsWhatTheShellTells() {
    TFakeShell shell({"--focus", "org.example.Game.desktop:GameClass:game:" + Self()});
    QVERIFY(shell.Has("ready"));
    const TProgramRun run = AskProgram(FFolder.path());
    QCOMPARE(run.ExitCode, 0);
    QVERIFY2(run.Out.startsWith("class: GameClass\ninstance: game\nexecutable: " +
                                QString::fromStdString(SelfExecutable) +
                                "\nsource: " + GnomeSourceName + "\n"),
             qPrintable(run.Out + run.Err));
  }

 private:
  QTemporaryDir FFolder;
};

}  // namespace kestrova

QTEST_GUILESS_MAIN(kestrova::TestGnome)
#include "test_gnome.moc"
