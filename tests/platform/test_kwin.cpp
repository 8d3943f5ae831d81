// The application in front as KWin tells it, against a stand-in KWin on a private session bus
// (the test runs under dbus-run-session): the real script runs in a JavaScript engine, calls
// back over the bus, and the source, the program's --active-window and its window follow it.

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <vector>

#include "common/RulesFixture.h"
#include "common/StandIn.h"
#include "platform/kwin/KWinActiveWindow.h"

namespace kestrova {
namespace {

// The stand-in KWin, and what it said.
class TFakeKWin : public testing::TStandIn {
 public:
  explicit TFakeKWin(const QStringList& arguments = {}) : TStandIn(KESTROVA_FAKE_KWIN, arguments) {}
};

using testing::Self;
using testing::SelfExecutable;
using testing::TTold;

// A finished run of the program.
struct TProgramRun {
  int ExitCode = -1;
  QString Out;
  QString Err;
};

QProcessEnvironment ProgramEnvironment(const QString& runtimeDir) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");  // KWin alone tells the window in front
  environment.remove("WAYLAND_DISPLAY");
  environment.insert("XDG_RUNTIME_DIR", runtimeDir);
  return environment;
}

}  // namespace

class TestKWin : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(FFolder.isValid()); }

  // The source follows each activation, with KWin 6's names and with KWin 5's.
  void FollowsActivations_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("KWin 6") << QStringList();
    QTest::newRow("KWin 5") << QStringList{"--kwin5"};
  }
  void FollowsActivations() {
    QFETCH(QStringList, arguments);
    TFakeKWin kwin(arguments + QStringList{"--active", "Konsole:konsole:" + Self()});
    QVERIFY(!kwin.WaitFor("ready").isEmpty());
    TTold told;
    auto source = CreateKWinActiveWindowSource(Folder(), told.Handlers());
    QVERIFY(source != nullptr);
    // What is in front when the script starts.
    QVERIFY2(told.WaitForChanges(1), qPrintable(kwin.Said()));
    QVERIFY(source->Reporting());
    QVERIFY(told.Changes[0].Found);
    QCOMPARE(told.Changes[0].Class, "Konsole");
    QCOMPARE(told.Changes[0].Instance, "konsole");
    QCOMPARE(told.Changes[0].Executable, SelfExecutable);
    QCOMPARE(told.Changes[0].Source, std::string(KWinSourceName));
    // A native Wayland application (its id as class, no process told), then nothing in front.
    kwin.Send("activate org.kde.dolphin org.kde.dolphin 0");
    QVERIFY(told.WaitForChanges(2));
    QCOMPARE(told.Changes[1].Class, "org.kde.dolphin");
    QCOMPARE(told.Changes[1].Executable, "");
    kwin.Send("none");
    QVERIFY(told.WaitForChanges(3));
    QVERIFY(!told.Changes[2].Found);
    QCOMPARE(kwin.Count("script-error"), 0);
    QVERIFY(told.Losses.empty());
    // Gone with the source: KWin keeps no script, the folder no file.
    const QString loaded = kwin.WaitFor("loaded ");
    source.reset();
    QCOMPARE(kwin.WaitFor("unloaded "), "un" + loaded);
    QVERIFY(QDir(FFolder.path()).entryList({"*.js"}, QDir::Files).isEmpty());
  }

  // Only KWin reports: another program on the bus is refused, and so is a malformed call.
  void RefusesReportsFromOthers() {
    TFakeKWin kwin({"--active", "Konsole:konsole:0"});
    QVERIFY(!kwin.WaitFor("ready").isEmpty());
    TTold told;
    auto source = CreateKWinActiveWindowSource(Folder(), told.Handlers());
    QVERIFY(told.WaitForChanges(1));
    QDBusConnection intruder =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "intruder");
    QVERIFY(intruder.isConnected());
    const QString target = QDBusConnection::sessionBus().baseService();
    QDBusMessage call = QDBusMessage::createMethodCall(target, "/org/kestrova/ActiveWindow",
                                                       "org.kestrova.ActiveWindow", "Activated");
    call << QString("Evil") << QString("evil") << QString("1");
    QDBusPendingCall pending = intruder.asyncCall(call);
    QVERIFY(QTest::qWaitFor([&] { return pending.isFinished(); }, 5000));
    QVERIFY(pending.isError());
    QCOMPARE(pending.error().type(), QDBusError::AccessDenied);
    QDBusMessage malformed = QDBusMessage::createMethodCall(
        target, "/org/kestrova/ActiveWindow", "org.kestrova.ActiveWindow", "Activated");
    malformed << QString("Evil");
    QDBusPendingCall second = intruder.asyncCall(malformed);
    QVERIFY(QTest::qWaitFor([&] { return second.isFinished(); }, 5000));
    QCOMPARE(second.error().type(), QDBusError::InvalidArgs);
    QDBusConnection::disconnectFromBus("intruder");
    QTest::qWait(100);
    QCOMPARE(told.Changes.size(), 1u);
  }

  // KWin leaves (a crash, the session's end): said once; a new KWin gets the script again.
  void KWinGoneAndBack() {
    TTold told;
    std::unique_ptr<TActiveWindowSource> source;
    {
      TFakeKWin kwin({"--active", "Konsole:konsole:0"});
      QVERIFY(!kwin.WaitFor("ready").isEmpty());
      source = CreateKWinActiveWindowSource(Folder(), told.Handlers());
      QVERIFY(told.WaitForChanges(1));
    }
    QVERIFY(QTest::qWaitFor([&] { return !told.Losses.empty(); }, 10000));
    QCOMPARE(told.Losses, std::vector<std::string>{"KWin left the session bus"});
    QVERIFY(!source->Reporting());
    TFakeKWin again({"--active", "Game:game:0"});
    QVERIFY2(told.WaitForChanges(2), qPrintable(again.Said()));
    QCOMPARE(told.Changes[1].Class, "Game");
    QVERIFY(source->Reporting());
    QCOMPARE(told.Losses.size(), 1u);
  }

  // A KWin that refuses the script: said, and nothing reported.
  void KWinRefusesTheScript() {
    TFakeKWin kwin({"--refuse"});
    QVERIFY(!kwin.WaitFor("ready").isEmpty());
    TTold told;
    auto source = CreateKWinActiveWindowSource(Folder(), told.Handlers());
    QVERIFY(source != nullptr);
    QVERIFY(QTest::qWaitFor([&] { return !told.Losses.empty(); }, 10000));
    QCOMPARE(told.Losses[0], "KWin refused the script");
    QVERIFY(!source->Reporting());
    QVERIFY(told.Changes.empty());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             ReadKWinActiveWindow(Folder(), std::chrono::seconds(5)));
  }

  // No KWin on the bus: no source, no question asked.
  void NoKWin() {
    TTold told;
    QVERIFY(CreateKWinActiveWindowSource(Folder(), told.Handlers()) == nullptr);
    QVERIFY(!ReadKWinActiveWindow(Folder(), std::chrono::seconds(5)).has_value());
  }

  // The program's --active-window asks KWin, and leaves no script behind.
  void ProgramPrintsWhatKWinTells() {
    TFakeKWin kwin({"--active", "steam_app_570:steam_app_570:" + Self()});
    QVERIFY(!kwin.WaitFor("ready").isEmpty());
    QProcess program;
    program.setProcessEnvironment(ProgramEnvironment(FFolder.path()));
    program.start(KESTROVA_BINARY, {"--active-window"});
    QVERIFY(program.waitForFinished(20000));
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(out.startsWith("class: steam_app_570\ninstance: steam_app_570\nexecutable: " +
                            QString::fromStdString(SelfExecutable) + "\nsource: " + KWinSourceName +
                            "\n"),
             qPrintable(out + program.readAllStandardError()));
    QVERIFY(!kwin.WaitFor("unloaded ").isEmpty());
  }

  // The window switches profiles as KWin tells, native Wayland applications included; what was
  // in front at the start and Kestrova's own window switch nothing; the script goes when the
  // window does.
  void WindowFollowsKWin() {
    const std::filesystem::path dir = FFolder.path().toStdString();
    const testing::TRulesFixture rules = testing::WriteRulesFixture(dir);
    const std::string& racingProfile = rules.RacingProfile;
    const std::string& desktopProfile = rules.DesktopProfile;
    const QString state = QString::fromStdString((dir / "state.txt").string());

    TFakeKWin kwin({"--active", "Konsole:konsole:0"});
    QVERIFY(!kwin.WaitFor("ready").isEmpty());
    QProcess program;
    QProcessEnvironment environment = ProgramEnvironment(FFolder.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(rules.ConfigHome));
    environment.insert("KESTROVA_STATE_FILE", state);
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(KESTROVA_BINARY, {"--output", "print"});
    QVERIFY2(!kwin.WaitFor("reply ok", 1, 20000).isEmpty(), qPrintable(kwin.Said()));
    kwin.Send("activate RacingGame racing 0");
    QVERIFY(!kwin.WaitFor("reply ok", 2).isEmpty());
    // Kestrova's own window in front keeps the profile.
    kwin.Send(QString("activate org.example.Kestrova kestrova %1").arg(program.processId()));
    QVERIFY(!kwin.WaitFor("reply ok", 3).isEmpty());
    kwin.Send("activate org.kde.dolphin org.kde.dolphin 0");
    QVERIFY(!kwin.WaitFor("reply ok", 4).isEmpty());
    QTest::qWait(300);  // the switch follows the reply
    program.terminate();
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 0);
    QFile file(state);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString output = program.readAll();
    QVERIFY2(
        text.contains(QString::fromStdString("Switched to " + racingProfile + " for RacingGame")),
        qPrintable(text + output));
    QVERIFY2(text.contains(
                 QString::fromStdString("Switched to " + desktopProfile + " for org.kde.dolphin")),
             qPrintable(text));
    QVERIFY2(!text.contains("for Konsole"), qPrintable(text));
    QCOMPARE(text.count("Switched to "), 2);
    QVERIFY(text.contains(QString::fromStdString("caption: Kestrova - " + desktopProfile)));
    QVERIFY(!kwin.WaitFor("unloaded ").isEmpty());
  }

 private:
  std::string Folder() const { return FFolder.path().toStdString(); }

  QTemporaryDir FFolder;
};

}  // namespace kestrova

QTEST_GUILESS_MAIN(kestrova::TestKWin)
#include "test_kwin.moc"
