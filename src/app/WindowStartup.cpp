#include "app/WindowStartup.h"

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTextStream>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include "about/Logo.h"
#include "app/Following.h"
#include "desktop/AppFollower.h"
#include "desktop/FollowedForm.h"
#include "desktop/Instance.h"
#include "desktop/InstanceServer.h"
#include "desktop/MainWindow.h"
#include "desktop/Settings.h"
#include "desktop/Tray.h"
#include "document/ProfileDocument.h"
#include "mapping/Convert.h"
#include "platform/Desktop.h"
#include "platform/Environment.h"
#include "session/Session.h"
#include "session/StopSignals.h"

namespace kestrova {

namespace {

// Chooses Qt's platform where the environment leaves it open, so that Qt never aborts for want
// of a display: false when there is none to open.
bool PrepareDisplay() {
  if (!EnvironmentValue("QT_QPA_PLATFORM").empty()) return true;
  const std::string platform = WindowPlatformFor(ReadDesktopEnvironment());
  if (platform == "wayland") ::setenv("QT_QPA_PLATFORM", "wayland", 1);
  return !platform.empty();
}

// The program's name, desktop entry, icon and style.
void DressApplication() {
  QApplication::setApplicationName("Kestrova");
  // Ties the window to its desktop entry (and so to its icon and name in task bars).
  QGuiApplication::setDesktopFileName("org.example.Kestrova");
  QIcon icon = QIcon::fromTheme("org.example.Kestrova");
  if (icon.isNull()) {
    for (int size : {16, 32, 48, 64, 128, 256}) {
      icon.addPixmap(QPixmap::fromImage(KestrovaLogo(size, size)));
    }
  }
  QApplication::setWindowIcon(icon);
  QApplication::setStyle(QStyleFactory::create("Fusion"));
}

// Absolute moves of the uinput output span the desktop, unless the command line gave a size.
TSessionOptions SessionOptionsOnDesktop(const TCommandLine& options) {
  TSessionOptions sessionOptions = options;
  if (!sessionOptions.ScreenGiven) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect desktop = screen->virtualGeometry();
      sessionOptions.ScreenWidth = desktop.width();
      sessionOptions.ScreenHeight = desktop.height();
      sessionOptions.ScreenGiven = true;
      sessionOptions.ScreenSource = "the desktop";
    }
  }
  return sessionOptions;
}

// For tests and bug reports: KESTROVA_STATE_FILE names a file that receives the window's caption,
// status box and keystroke test box when the program ends.
void WriteStateFile(const TWindowSet& windows) {
  const std::string path = EnvironmentValue("KESTROVA_STATE_FILE");
  if (path.empty()) return;
  QFile file(QString::fromLocal8Bit(path.c_str()));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  QTextStream(&file) << windows.StateReport();
}

// The long-lived windows and what surrounds them on the desktop, all on the one document and the
// session's engine. Members are destroyed in the reverse order.
struct TWindowRun {
  TWindowRun(TProfileDocument& document, TSession& session)
      : Document(document),
        Engine(session.Engine()),
        Windows(CreateWindowSet(document, session.Engine())),
        Main(Windows->Main()) {}

  TProfileDocument& Document;
  TEngine& Engine;
  std::unique_ptr<TWindowSet> Windows;
  TMainWindow& Main;
  TSettings Settings;
  TTray Tray{Main, Document, Settings, QCoreApplication::applicationFilePath(), true};
  TInstanceServer Instance{Main, Document};
  TAppFollower Follower{FollowedWindowOf(Main, Document, Engine, Settings),
                        static_cast<unsigned long>(::getpid())};
  std::unique_ptr<TFollowing> Following;  // before the follower goes
  bool StopRequested = false;
};

// Stop signals end the program as Exit does. One may come while a message box of the start-up
// is open, before the event loop runs: the flag keeps it from being lost.
void ConnectStopSignals(TWindowRun& run, TStopSignals& stopSignals, QSocketNotifier& notifier) {
  QObject::connect(&notifier, &QSocketNotifier::activated, run.Main.Widget(), [&run, &stopSignals] {
    stopSignals.Take();
    run.StopRequested = true;
    run.Main.Quit();
    QApplication::closeAllWindows();  // and any message box open over it
  });
}

// The instance that --load, --quit and a second start talk to: why it cannot listen, or "".
// Listens only while holding the claim (taken now if the start could not take it).
QString ListenForRequests(TWindowRun& run, const TCommandLine& options, TUniqueFd& claim) {
  if (!options.Replay.empty()) return {};  // a replay is a run of its own
  QString why;
  try {
    const QString socket = QString::fromStdString(InstanceSocketPath(options.Joystick));
    if (!claim.Valid()) claim = ClaimInstance(options.Joystick);
    if (!claim.Valid()) {
      why = "another Kestrova runs for controller " + QString::number(options.Joystick);
    } else if (!run.Instance.Listen(socket, &why)) {
      why = "cannot listen at " + socket + ": " + why;
    }
  } catch (const std::exception& error) {
    why = QString::fromLocal8Bit(error.what());
  }
  return why.isEmpty() ? why : "--load and --quit cannot reach this window: " + why;
}

// The controller's status lines go to the status box and the tray's tooltip; so does a change of
// the settings that cannot be stored.
void ShowControllerStatus(TWindowRun& run, TSession& session) {
  run.Settings.SetOnProblem([&run](const QString& line) { run.Main.AddStatusLine(line); });
  session.SetControllerSink([&run](const std::string& line) {
    run.Main.PostStatusLine(line);
    QMetaObject::invokeMethod(
        &run.Tray, [&run, text = QString::fromStdString(line)] { run.Tray.SetController(text); },
        Qt::QueuedConnection);
  });
}

// The rules' dialog, from the tray or --app-profiles, offering the applications seen in front.
void OpenAppProfiles(TWindowRun& run) {
  QStringList seen;
  for (const std::string& application : run.Follower.Seen()) {
    seen << QString::fromStdString(application);
  }
  if (const auto rules = run.Windows->EditAppRules(run.Settings.AppRules(), seen)) {
    run.Settings.SetAppRules(*rules);
  }
}

// Profiles that follow the application in front, told by the desktop's compositor (native
// Wayland windows too) or the X display.
void FollowApplications(TWindowRun& run, const TCommandLine& options) {
  run.Tray.OnAppProfiles = [&run] { OpenAppProfiles(run); };
  run.Following = std::make_unique<TFollowing>(
      run.Follower, run.Main.Widget(), !options.Replay.empty(),
      [&run](const QString& line) { run.Main.AddStatusLine(line); },
      [&run](const std::function<void()>& handler) { run.Main.Guarded(handler); });
}

// Shows the window (unless it starts hidden in the tray), starts the session's engine and tells
// what it runs through.
void ShowAndStart(TWindowRun& run, TSession& session, const TCommandLine& options,
                  const QString& instanceProblem) {
  const bool hidden = options.Hidden && run.Tray.Shown();
  if (!hidden) run.Main.Widget()->show();
  // PROFILE lines switch the profile on the GUI thread, as the window's own loads do.
  session.Engine().SetTaskPoster([&run](std::function<void()> task) {
    QMetaObject::invokeMethod(
        run.Main.Widget(), [&run, task = std::move(task)] { run.Main.Guarded(task); },
        Qt::QueuedConnection);
  });
  session.Start();
  run.Main.AddStatusLine(QString::fromStdString(session.OutputDescription()));
  run.Main.AddStatusLine(QString::fromStdString(session.WakeDescription()));
  if (!session.OutputNote().empty()) {
    run.Main.AddStatusLine(QString::fromStdString(session.OutputNote()));
  }
  for (const std::string& warning : session.ReplayWarnings()) {
    run.Main.AddStatusLine(QString::fromStdString(warning));
  }
  if (options.Hidden && !hidden) {
    run.Main.AddStatusLine(
        "There is no tray on this desktop: the window is shown (--hidden "
        "needs one; on GNOME, the AppIndicator extension)");
  }
  if (!run.Settings.Problem().isEmpty()) run.Main.AddStatusLine(run.Settings.Problem());
  if (!instanceProblem.isEmpty()) {
    run.Main.AddStatusLine(instanceProblem);
    std::cerr << "kestrova: " << instanceProblem.toStdString() << "\n";
  }
}

// What the command line asks for at the start: the controller view, the rules' dialog, a
// profile (else the last one, where the user chose that), a replay.
void OpenWhatWasAsked(TWindowRun& run, TSession& session, const TCommandLine& options) {
  if (options.ShowController) run.Main.OpenControllerView();
  if (options.AppProfiles) {
    QTimer::singleShot(0, run.Main.Widget(),
                       [&run] { run.Main.Guarded([&run] { OpenAppProfiles(run); }); });
  }
  QString profile = QString::fromLocal8Bit(options.Profile.c_str());
  if (profile.isEmpty() && (options.LastProfile || run.Settings.OpenLastProfileAtStart())) {
    profile = run.Settings.LastProfile();
  }
  if (!profile.isEmpty()) run.Main.Guarded([&] { run.Main.LoadProfileFile(profile); });
  // The window stays when the timeline ends: the user may still look and edit.
  session.StartReplay([&run] {
    run.Main.PostStatusLine("The replay timeline has ended; the virtual controller stays at rest");
  });
}

}  // namespace

int RunWindow(const TCommandLine& options, int& argc, char** argv, TUniqueFd claim) {
  if (!PrepareDisplay()) {
    std::cerr << "kestrova: no display for the window: neither an X display (DISPLAY) nor a "
                 "Wayland display (WAYLAND_DISPLAY) can be reached (run a profile without a "
                 "window with --headless PROFILE)\n";
    return 2;
  }
  std::optional<TStopSignals> stopSignals;
  try {
    stopSignals.emplace();
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }
  QApplication application(argc, argv);
  DressApplication();
  TProfileDocument document(UserDecimalSeparator());
  std::unique_ptr<TSession> session;
  try {
    session = std::make_unique<TSession>(SessionOptionsOnDesktop(options), document, nullptr);
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }

  TWindowRun run(document, *session);
  QSocketNotifier stopNotifier(stopSignals->Fd(), QSocketNotifier::Read);
  ConnectStopSignals(run, *stopSignals, stopNotifier);
  const QString instanceProblem = ListenForRequests(run, options, claim);
  ShowControllerStatus(run, *session);
  FollowApplications(run, options);
  ShowAndStart(run, *session, options, instanceProblem);
  OpenWhatWasAsked(run, *session, options);

  // Exit may have come while a message box of the start-up was open (a stop signal, --quit).
  const int code = run.StopRequested || run.Main.Exiting() ? 0 : QApplication::exec();
  session->Shutdown();
  WriteStateFile(*run.Windows);
  return code;
}

}  // namespace kestrova
