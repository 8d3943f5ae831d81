// Settings, the autostart entry and the tray menu, offscreen, in a configuration folder of the
// test's own (XDG_CONFIG_HOME).

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "common/WindowHarness.h"
#include "desktop/AppFollower.h"
#include "desktop/Autostart.h"
#include "desktop/FollowedForm.h"
#include "desktop/Instance.h"
#include "desktop/InstanceServer.h"
#include "desktop/Settings.h"
#include "desktop/Tray.h"
#include "window/AppProfilesDialog.h"

using namespace kestrova;
using namespace kestrova::testing;

namespace {

QTemporaryDir* ConfigHome = nullptr;

QString ExpectedSettingsFile() {
  return ConfigHome->filePath("Kestrova/Kestrova.ini");
}

// A request to the server of this thread's event loop, sent from another thread as another
// process would; the reply, or "no reply" after ten seconds.
TInstanceReply AskTheServer(const QString& socket, const TInstanceRequest& request) {
  std::optional<TInstanceReply> reply;
  std::atomic<bool> done{false};
  std::thread client([&] {
    try {
      reply = SendInstanceRequest(socket.toStdString(), request);
    } catch (const std::exception& error) {
      reply = TInstanceReply{false, error.what()};  // turned away
    }
    done = true;
  });
  const bool answered = QTest::qWaitFor([&] { return done.load(); }, 10000);
  client.join();
  return answered ? reply.value_or(TInstanceReply{false, "no instance"})
                  : TInstanceReply{false, "no reply"};
}

QStringList MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  return texts;
}

}  // namespace

class TrayTest : public TWindowTest {
  Q_OBJECT

 private:
  QString Profile(const QString& name) {
    const QString path = Dir->filePath(name);
    WriteProfileFile(path.toStdString(), TSlotTable{}, {300, 300, 300, 300, 300, 300, 300});
    return path;
  }

 private slots:
  void init() {
    QFile::remove(ExpectedSettingsFile());
    QFile::remove(AutostartFile());
    StartWindow();
  }
  void cleanup() { StopWindow(); }

  // The follower on the real window: no switch over unsaved edits, held keys released first, a
  // profile that fails to load keeps the current one.
  void TheFollowerSwitchesTheWindowSafely() {
    TFormMain& form = Harness->Form;
    const auto status = [&form] { return form.MemoTest->toPlainText(); };
    const QString game = Dir->filePath("game.kpf");
    const QString other = Dir->filePath("other.kpf");
    const QString broken = Dir->filePath("broken.kpf");
    TSlotTable table;
    table[0] = {"KEY DOWN g"};
    WriteProfileFile(game.toStdString(), table, {300, 300, 300, 300, 300, 300, 300});
    TSlotTable otherTable;
    otherTable[2] = {"KEY DOWN o"};
    WriteProfileFile(other.toStdString(), otherTable, {300, 300, 300, 300, 300, 300, 300});
    std::ofstream(broken.toStdString()) << "#Kestrova Beta Profile\r\n";
    TSettings settings;
    TAppRules rules;
    for (const auto& [cls, profile] :
         {std::pair{"RacingGame", game}, std::pair{"Editor", other}, std::pair{"Broken", broken}}) {
      rules.Rules.push_back({TAppRule::WindowClass, cls, profile.toStdString()});
    }
    settings.SetAppRules(rules);
    TAppFollower follower(FollowedWindowOf(form, Harness->Document, Harness->Engine, settings), 0);
    const auto inFront = [&follower](const char* cls) {
      follower.Report(TWindowSourceKind::X11, TActiveWindow{true, cls, "", "", "test", 4242});
    };

    form.ButtonDelayClick();  // an unsaved edit
    inFront("RacingGame");
    QVERIFY(status().contains("Not switched to " + game +
                              " for RacingGame: the profile shown has unsaved edits"));
    QCOMPARE(form.ProfilePath(), QString());
    // Saved (here: a profile loaded), it switches, and lets go of what was held first.
    form.LoadProfileFile(game);
    Harness->Mapper.SetSlot(26, {"KEY DOWN SHIFT"});
    Harness->Mapper.ExecuteCommands("Button 1", "PRESS");
    QVERIFY(QTest::qWaitFor([this] { return !Harness->Injector.HeldKeys().empty(); }, 5000));
    inFront("Editor");
    QVERIFY(Harness->Injector.HeldKeys().empty());
    QCOMPARE(form.ProfilePath(), other);
    QVERIFY(status().contains("Switched to " + other + " for Editor"));
    // Within the gap after a switch, the next one waits for it, then happens.
    inFront("Broken");
    QVERIFY(!status().contains("for Broken"));
    QVERIFY(QTest::qWaitFor(
        [&] {
          return status().contains("Not switched to " + broken +
                                   " for Broken: List index out of bounds (1)");
        },
        5000));
    QCOMPARE(form.ProfilePath(), other);
  }

  void RecentProfilesAndStartChoicesSurviveARestart() {
    {
      TSettings settings;
      QVERIFY(settings.Problem().isEmpty());
      QVERIFY(!settings.OpenLastProfileAtStart());  // by default the window starts empty
      for (int i = 1; i <= 7; ++i)
        settings.AddRecentProfile(Dir->filePath(QString("p%1.kpf").arg(i)));
      settings.AddRecentProfile(Dir->filePath("p4.kpf"));  // again: to the front, not twice
      settings.SetOpenLastProfileAtStart(true);
    }
    TSettings again;
    QCOMPARE(again.RecentProfiles(),
             (QStringList{Dir->filePath("p4.kpf"), Dir->filePath("p7.kpf"), Dir->filePath("p6.kpf"),
                          Dir->filePath("p5.kpf"), Dir->filePath("p3.kpf")}));
    QCOMPARE(again.LastProfile(), Dir->filePath("p4.kpf"));
    QVERIFY(again.OpenLastProfileAtStart());
    QCOMPARE(again.FileName(), ExpectedSettingsFile());
  }

  void ABrokenSettingsFileIsIgnored() {
    QDir().mkpath(ConfigHome->filePath("Kestrova"));
    std::ofstream(ExpectedSettingsFile().toStdString())
        << "[profiles\nrecent=\"unterminated\n\x01\x02";
    TSettings settings;
    QVERIFY(!settings.Problem().isEmpty());
    QVERIFY(settings.Problem().contains("is broken and was ignored"));
    QVERIFY(settings.RecentProfiles().isEmpty());
    settings.AddRecentProfile(Dir->filePath("fresh.kpf"));  // and it works from there on
    QCOMPARE(TSettings().RecentProfiles(), QStringList{Dir->filePath("fresh.kpf")});
  }

  // Read as profiles are: a FIFO (which would hold the start for ever), a folder or a file too
  // large is never read, and the window starts with the defaults.
  void OnlyARegularFileOfBoundedSizeIsRead() {
    const std::string path = ExpectedSettingsFile().toStdString();
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"is not a regular file", [&] { QCOMPARE(::mkfifo(path.c_str(), 0600), 0); }},
        {"is not a regular file", [&] { QVERIFY(QDir().mkpath(ExpectedSettingsFile())); }},
        {"is too large", [&] {
           std::ofstream(path) << "[profiles]\nrecent=/a.kpf\n"
                               << std::string(TSettings::MaxFileBytes, ';');
         }}};
    for (const auto& [problem, make] : cases) {
      QDir(ConfigHome->filePath("Kestrova")).removeRecursively();
      QVERIFY(QDir().mkpath(ConfigHome->filePath("Kestrova")));
      make();
      TSettings settings;
      QVERIFY2(settings.Problem().contains(QString::fromStdString(problem)),
               qPrintable(settings.Problem()));
      QVERIFY(settings.RecentProfiles().isEmpty());
      settings.AddRecentProfile(Dir->filePath("this-run.kpf"));  // kept for this run only
      QCOMPARE(settings.RecentProfiles(), QStringList{Dir->filePath("this-run.kpf")});
    }
    QDir(ConfigHome->filePath("Kestrova")).removeRecursively();
  }

  // A change that cannot be stored is told once, not silently lost, and not at every change.
  void SettingsThatCannotBeStoredAreToldOnce() {
    QDir(ConfigHome->filePath("Kestrova")).removeRecursively();
    std::ofstream(ConfigHome->filePath("Kestrova").toStdString()) << "";  // no folder can be there
    TSettings settings;
    QStringList told;
    settings.SetOnProblem([&told](const QString& line) { told << line; });
    settings.AddRecentProfile(Dir->filePath("a.kpf"));
    settings.SetOpenLastProfileAtStart(true);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told[0].contains("cannot be stored"), qPrintable(told[0]));
    QFile::remove(ConfigHome->filePath("Kestrova"));
  }

  void StartAtLoginWritesAndRemovesTheAutostartEntry() {
    QCOMPARE(AutostartFile(), ConfigHome->filePath("autostart/org.example.Kestrova.desktop"));
    QVERIFY(!StartsAtLogin());
    QVERIFY(SetStartAtLogin(true, "/opt/my games/kestrova"));
    QVERIFY(StartsAtLogin());
    QFile entry(AutostartFile());
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    QVERIFY(text.startsWith("[Desktop Entry]\nType=Application\n"));
    QVERIFY(text.contains("\nExec=\"/opt/my games/kestrova\" --hidden --last-profile\n"));
    QVERIFY(text.contains("\nTryExec=/opt/my games/kestrova\n"));  // uninstalled: not started
    QVERIFY(SetStartAtLogin(false, "kestrova"));
    QVERIFY(!StartsAtLogin());
    QVERIFY(SetStartAtLogin(false, "kestrova"));  // nothing to remove: fine
  }

  void UnsavedEditsRefuseALoadUnlessForced() {
    TFormMain& form = Harness->Form;
    TInstanceServer server(form, Harness->Document);
    const QString socket = Dir->filePath("instance.socket");
    QVERIFY(server.Listen(socket));
    TInstanceServer second(form, Harness->Document);
    QString why;
    QVERIFY(!second.Listen(socket, &why));  // one instance a socket
    QVERIFY(why.contains("another Kestrova listens"));

    const QString profile = Profile("launcher.kpf");
    const auto ask = [&](bool force, std::string path = {}) {
      if (path.empty()) path = profile.toStdString();
      return AskTheServer(socket, {TInstanceRequest::Load, force, path});
    };
    form.ButtonDelayClick();  // an unsaved edit
    TInstanceReply reply = ask(false);
    QVERIFY(!reply.Ok);
    QVERIFY(QString::fromStdString(reply.Text).contains("unsaved edits; --force"));
    QCOMPARE(form.ProfilePath(), QString());
    // A dialog open in the window: nothing changes under it, whatever --force says.
    QTimer::singleShot(0, &form, [&] {
      reply = ask(true);
      QApplication::activeModalWidget()->close();
    });
    QMessageBox box(QMessageBox::Question, "Kestrova", "a question", QMessageBox::Ok, &form);
    box.exec();
    QVERIFY(!reply.Ok);
    QCOMPARE(QString::fromStdString(reply.Text).left(27), QString("busy: a dialog is open in t"));
    QCOMPARE(form.ProfilePath(), QString());
    reply = ask(true);
    QVERIFY(reply.Ok);
    QCOMPARE(form.ProfilePath(), profile);
    QVERIFY(form.Saved());
    QCOMPARE(QString::fromStdString(reply.Text), "loaded " + profile);
    // A profile that loads with lines that will do nothing says how many, and where to look.
    const QString doubtful = Dir->filePath("doubtful.kpf");
    TSlotTable doubts;
    doubts[0] = {"DELAY soon", "KEY DOWN a", "BEGBLOCK 001 RPT many"};
    WriteProfileFile(doubtful.toStdString(), doubts, {300, 300, 300, 300, 300, 300, 300});
    reply = ask(false, doubtful.toStdString());
    QVERIFY(reply.Ok);
    QCOMPARE(
        QString::fromStdString(reply.Text),
        "loaded " + doubtful + "; 2 lines will do nothing (kestrova --check " + doubtful + ")");
    QVERIFY(
        form.MemoTest->toPlainText().contains("from the command line; 2 lines will do nothing"));
    // Any file name reaches the window byte for byte; one it cannot show is refused.
    const QString odd = Profile("new\nline %41 tab\t.kpf");
    reply = ask(false, odd.toStdString());
    QVERIFY2(reply.Ok, reply.Text.c_str());
    QCOMPARE(form.ProfilePath(), odd);
    // --quit over unsaved edits is refused without --force.
    form.ButtonDelayClick();
    const TInstanceReply quit = AskTheServer(socket, {TInstanceRequest::Quit, false, ""});
    QVERIFY(!quit.Ok);
    QVERIFY(QString::fromStdString(quit.Text).contains("--quit --force"));
    QVERIFY(!form.Exiting());
    reply = ask(false, Dir->filePath("caf").toStdString() + "\xe9.kpf");
    QVERIFY(!reply.Ok);
    QVERIFY(QString::fromStdString(reply.Text).contains("not UTF-8"));
  }

  // A flood of idle connections takes a bounded number of the window's descriptors, and the
  // socket stays for the requests after it.
  void AFloodOfConnectionsIsBounded() {
    TInstanceServer server(Harness->Form, Harness->Document);
    const QString socket = Dir->filePath("instance.socket");
    QVERIFY(server.Listen(socket));
    const auto descriptors = [] {
      return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                           std::filesystem::directory_iterator());
    };
    const auto before = descriptors();
    std::vector<int> flood;
    for (int i = 0; i < 200; ++i) {
      // Non-blocking: the server runs on this very thread.
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strcpy(address.sun_path, socket.toUtf8().constData());
      if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        flood.push_back(fd);
      } else {
        ::close(fd);
      }
      QCoreApplication::processEvents();
    }
    QTest::qWait(200);
    const auto served = descriptors() - before - static_cast<long>(flood.size());
    QVERIFY2(served <= 40, qPrintable(QString::number(served) + " descriptors for the flood"));
    for (const int fd : flood) ::close(fd);
    QTest::qWait(100);
    QVERIFY(QFile::exists(socket));
    QVERIFY(AskTheServer(socket, {TInstanceRequest::Show, false, ""}).Ok);
  }

  // Clients that connect and send nothing hold a place only for the idle time: with every place
  // taken by them a request is turned away, and once they are dropped it is served again while
  // they are still connected.
  void SilentClientsAreDroppedAfterTheIdleTime() {
    TInstanceServer server(Harness->Form, Harness->Document, nullptr, 400);
    const QString socket = Dir->filePath("silent.socket");
    QVERIFY(server.Listen(socket));
    std::vector<int> silent;
    for (int i = 0; i < TInstanceServer::MaxClients; ++i) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strcpy(address.sun_path, socket.toUtf8().constData());
      QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
      silent.push_back(fd);
    }
    QTest::qWait(50);  // all taken in
    QVERIFY(!AskTheServer(socket, {TInstanceRequest::Show, false, ""}).Ok);
    const auto dropped = [&] {
      return std::all_of(silent.begin(), silent.end(), [](int fd) {
        char byte = 0;
        return ::read(fd, &byte, 1) == 0;  // the server's end closed
      });
    };
    QVERIFY(QTest::qWaitFor(dropped, 5000));
    QVERIFY(AskTheServer(socket, {TInstanceRequest::Show, false, ""}).Ok);
    for (const int fd : silent) ::close(fd);
  }

  void ApplicationProfilesAreEditedWithoutTypingAClass() {
    TFormAppProfiles dialog;
    TAppRules rules;
    rules.Rules = {{TAppRule::Executable, "shooter", "/p/shooter.kpf"}};
    dialog.SetRules(rules, {"RacingGame", "Firefox"});
    QCOMPARE(dialog.ComboBoxApplication->count(), 2);
    QCOMPARE(dialog.ComboBoxApplication->currentText(), QString("RacingGame"));  // newest first
    QCOMPARE(dialog.TableRules->rowCount(), 1);
    // Add: the application offered, the profile asked for; no profile chosen, no rule.
    Harness->Shell.Files = {"/p/racing.kpf"};
    dialog.ButtonAdd->click();
    dialog.ButtonAdd->click();  // the file dialog cancelled
    QCOMPARE(dialog.TableRules->rowCount(), 2);
    dialog.ComboBoxApplication->setEditText("");
    dialog.ButtonAdd->click();
    QCOMPARE(Harness->Shell.Messages.size(), 1);  // an application first
    Harness->Shell.Files = {"/p/desktop.kpf"};
    dialog.ButtonBrowseDefault->click();
    dialog.CheckBoxEnabled->setChecked(false);
    TAppRules edited = dialog.Rules();
    QVERIFY(!edited.Enabled);
    QCOMPARE(edited.DefaultProfile, std::string("/p/desktop.kpf"));
    QCOMPARE(edited.Rules.size(), std::size_t(2));
    QCOMPARE(edited.Rules[1].Value, std::string("RacingGame"));
    QCOMPARE(edited.Rules[1].Profile, std::string("/p/racing.kpf"));
    QVERIFY(edited.Rules[1].Match == TAppRule::WindowClass);
    // Remove the selected one; and what is saved reads back.
    dialog.TableRules->selectRow(0);
    dialog.ButtonRemove->click();
    edited = dialog.Rules();
    QCOMPARE(edited.Rules.size(), std::size_t(1));
    QCOMPARE(edited.Rules[0].Value, std::string("RacingGame"));
    TSettings settings;
    settings.SetAppRules(edited);
    const TAppRules stored = TSettings().AppRules();
    QCOMPARE(stored.Rules.size(), std::size_t(1));
    QCOMPARE(stored.Rules[0].Profile, std::string("/p/racing.kpf"));
    QCOMPARE(stored.DefaultProfile, std::string("/p/desktop.kpf"));
    QVERIFY(!stored.Enabled);
  }

  void TheMenuWithoutATray() {
    TFormMain& form = Harness->Form;
    TSettings settings;
    TTray tray(form, Harness->Document, settings, "kestrova", true);
    QVERIFY(!tray.Shown());  // no tray offscreen: the program goes on without one
    QCOMPARE(
        MenuTexts(tray.Menu()),
        (QStringList{"Hide window", "Controller...", "Recent profiles",
                     "Open the last profile at start", "Profiles follow the application in front",
                     "Application profiles...", "Start at login", "Exit"}));
    QVERIFY(!tray.RecentMenu()->isEnabled());
    QCOMPARE(tray.ToolTip(), QString("Kestrova: new profile"));

    // Show/Hide toggles the window and its own caption.
    tray.ShowHideAction->trigger();
    QVERIFY(!form.isVisible());
    QCOMPARE(tray.ShowHideAction->text(), QString("Show window"));
    tray.ShowHideAction->trigger();
    QVERIFY(form.isVisible());
    QCOMPARE(tray.ShowHideAction->text(), QString("Hide window"));

    // The checks write the settings and the autostart entry.
    tray.OpenLastAction->trigger();
    QVERIFY(TSettings().OpenLastProfileAtStart());
    tray.StartAtLoginAction->trigger();
    QVERIFY(StartsAtLogin());
    tray.StartAtLoginAction->trigger();
    QVERIFY(!StartsAtLogin());

    // Loading and saving feed the recent list and the tooltip.
    const QString first = Profile("first.kpf");
    const QString second = Profile("second.kpf");
    form.LoadProfileFile(first);
    form.LoadProfileFile(second);
    tray.SetController("Controller 1: Wireless Pad (pad layout)");
    QCOMPARE(tray.ToolTip(),
             QString("Kestrova: second.kpf - Controller 1: Wireless Pad (pad layout)"));
    tray.Refresh();
    QCOMPARE(MenuTexts(tray.RecentMenu()), (QStringList{second, first}));

    // A recent profile loads (after the question, with unsaved work); a vanished one is dropped.
    form.ButtonDelayClick();
    QVERIFY(!form.Saved());
    Harness->Shell.Answers = {false};
    tray.RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(form.ProfilePath(), second);  // declined: nothing loaded
    Harness->Shell.Answers = {true};
    tray.RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(form.ProfilePath(), first);
    QFile::remove(second);
    tray.Refresh();
    tray.RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(TSettings().RecentProfiles(), QStringList{first});
    QVERIFY(form.MemoTest->toPlainText().contains("The profile " + second + " is gone"));

    // Exit over unsaved edits asks as the close box does: declined, the window stays.
    form.ButtonDelayClick();
    Harness->Shell.Answers = {false};
    tray.ExitAction->trigger();
    QVERIFY(form.isVisible());
    QVERIFY(!form.Exiting());
    // Agreed (or nothing unsaved): it ends the program as the window's Exit does.
    Harness->Shell.Answers = {true};
    tray.ExitAction->trigger();
    QVERIFY(!form.isVisible());
  }
};

int main(int argc, char** argv) {
  QTemporaryDir configHome;
  ConfigHome = &configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QApplication application(argc, argv);
  TrayTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_tray.moc"
