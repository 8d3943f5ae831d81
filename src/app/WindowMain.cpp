#include "WindowMain.h"

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
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "AppProfilesDialog.h"
#include "ControllerView.h"
#include "FormMain.h"
#include "Instance.h"
#include "InstanceServer.h"
#include "Settings.h"
#include "Tray.h"
#include "about/Logo.h"
#include "about/about.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/getxy.h"
#include "dialogs/mousemove.h"
#include "platform/kwin/KWinActiveWindow.h"
#include "platform/qt/Shell.h"
#include "platform/x11/ActiveWindowWatch.h"
#include "session/Session.h"
#include "session/StopSignals.h"

namespace kestrova {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Whether the X server of DISPLAY has its local socket (a remote display is taken on trust).
bool XDisplayUsable() {
  const std::string display = Environment("DISPLAY");
  if (display.empty()) return false;
  if (!display.starts_with(":")) return true;
  const std::string number = display.substr(1, display.find('.') - 1);
  return std::filesystem::exists("/tmp/.X11-unix/X" + number);
}

bool WaylandDisplayUsable() {
  const std::string name = Environment("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  if (name.starts_with("/")) return std::filesystem::exists(name);
  const std::string runtime = Environment("XDG_RUNTIME_DIR");
  return !runtime.empty() && std::filesystem::exists(runtime + "/" + name);
}

// Chooses Qt's platform where the environment leaves it open, so that Qt never aborts for want
// of a display: false when there is none to open.
bool PrepareDisplay() {
  if (!Environment("QT_QPA_PLATFORM").empty()) return true;
  const bool wayland = WaylandDisplayUsable();
  const bool x11 = XDisplayUsable();
  if (wayland && (!x11 || Environment("XDG_SESSION_TYPE") == "wayland")) {
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
  }
  return x11;
}

// For tests and bug reports: KESTROVA_STATE_FILE names a file that receives the window's caption,
// status box and keystroke test box when the program ends.
void WriteStateFile(TFormMain& form) {
  const char* path = std::getenv("KESTROVA_STATE_FILE");
  if (path == nullptr || path[0] == '\0') return;
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  QTextStream out(&file);
  out << "platform: " << QGuiApplication::platformName() << "\n";
  out << "desktop file: " << QGuiApplication::desktopFileName() << "\n";
  out << "icon: " << (form.windowIcon().isNull() ? "none" : "set") << "\n";
  out << "caption: " << form.windowTitle() << "\n";
  out << "status:\n" << form.MemoTest->toPlainText() << "\n";
  out << "input:\n" << form.MemoInput->toPlainText() << "\n";
}

}  // namespace

int RunWindow(const TCommandLine& options, int& argc, char** argv) {
  if (!PrepareDisplay()) {
    std::cerr << "kestrova: no display for the window: neither an X display (DISPLAY) nor a "
                 "Wayland display (WAYLAND_DISPLAY) can be reached (run a profile without a "
                 "window with --headless PROFILE)\n";
    return 2;
  }
  // Stop signals end the program as Exit does.
  std::optional<TStopSignals> stopSignals;
  try {
    stopSignals.emplace();
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }

  QApplication application(argc, argv);
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

  // Absolute moves of the uinput output span the desktop.
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
  std::unique_ptr<TSession> session;
  try {
    session = std::make_unique<TSession>(sessionOptions, nullptr);
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }

  // The long-lived windows, in their order of creation; the About box first.
  TFormAbout formAbout;
  TFormMain formMain(session->Mapper());
  TFormKeyboard formKeyboard;
  TFormGetXY formGetXY;
  TFormMouseMove formMouseMove;
  TFormBlock formBlock;
  TFormController formController(session->Mapper());
  formMain.SetDialogs({&formAbout, &formKeyboard, &formMouseMove, &formBlock, &formController});

  // A stop signal may come while a message box of the start-up is open, before the event loop
  // runs: the flag keeps it from being lost.
  bool stopRequested = false;
  QSocketNotifier stopNotifier(stopSignals->Fd(), QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, &formMain,
                   [&formMain, &stopSignals, &stopRequested] {
                     stopSignals->Take();
                     stopRequested = true;
                     formMain.ButtonExitClick();
                     QApplication::closeAllWindows();  // and any message box open over it
                   });

  // Around the specified window: the settings and the tray.
  TSettings settings;
  TTray tray(formMain, settings, QCoreApplication::applicationFilePath(), true);
  // The instance that --load, --quit and a second start talk to (a replay is a run of its own).
  TInstanceServer instance(formMain);
  QString instanceProblem;
  if (options.Replay.empty()) {
    QString why;
    try {
      const QString socket = QString::fromStdString(InstanceSocketPath(options.Joystick));
      if (!instance.Listen(socket, &why)) why = "cannot listen at " + socket + ": " + why;
    } catch (const std::exception& error) {
      why = QString::fromLocal8Bit(error.what());
    }
    if (!why.isEmpty()) instanceProblem = "--load and --quit cannot reach this window: " + why;
  }
  session->SetControllerSink([&formMain, &tray](const std::string& line) {
    formMain.PostStatusLine(line);
    QMetaObject::invokeMethod(
        &tray, [&tray, text = QString::fromStdString(line)] { tray.SetController(text); },
        Qt::QueuedConnection);
  });
  // Profiles that follow the application in front, told by KWin or the X display.
  QStringList seenApplications;  // newest first, for the rules' dialog
  TFormAppProfiles formAppProfiles(&formMain);
  formAppProfiles.setWindowFlag(Qt::Window);
  const auto openAppProfiles = [&] {
    formAppProfiles.SetRules(settings.AppRules(), seenApplications);
    if (formAppProfiles.exec() == QDialog::Accepted) settings.SetAppRules(formAppProfiles.Rules());
  };
  tray.OnAppProfiles = openAppProfiles;
  // Each report of the application in front: remembered for the dialog, then the rules (a
  // change of the application in front, never what was in front at the start). Kestrova's own
  // windows keep the profile: the user came to look at it or edit it.
  const auto applicationInFront = [&formMain, &settings, &seenApplications](
                                      const TActiveWindow& active, bool applyRules = true) {
    if (active.Pid == static_cast<unsigned long>(::getpid())) return;
    const QString seen = QString::fromStdString(active.Class);
    if (!seen.isEmpty()) {
      seenApplications.removeAll(seen);
      seenApplications.prepend(seen);
      while (seenApplications.size() > 5) seenApplications.removeLast();
    }
    if (!applyRules) return;
    const std::string profile = ProfileForApplication(settings.AppRules(), active);
    formMain.SwitchProfileFor(QString::fromStdString(profile),
                              QString::fromStdString(active.Class));
  };
  // KWin, when it runs, tells native Wayland windows too; while it reports, the X display's
  // reports are read and dropped.
  std::unique_ptr<TKWinActiveWindowSource> kwin;
  if (options.Replay.empty()) {
    TKWinHandlers handlers;
    handlers.OnChanged = [&formMain, &applicationInFront,
                          first = true](const TActiveWindow& active) mutable {
      formMain.Guarded([&] { applicationInFront(active, !first); });
      first = false;
    };
    handlers.OnLost = [&formMain, &settings](const std::string& why) {
      const TAppRules rules = settings.AppRules();
      if (rules.Enabled && !rules.Rules.empty()) {
        formMain.AddStatusLine(QString::fromStdString("Profiles by application: " + why +
                                                      "; only X11 windows are seen now"));
      }
    };
    try {
      kwin = CreateKWinActiveWindowSource(PrivateRuntimeFolder(), std::move(handlers));
    } catch (const std::exception& error) {
      formMain.AddStatusLine(QString::fromLocal8Bit(error.what()));
    }
  }
  std::unique_ptr<TActiveWindowWatch> watch;
  std::unique_ptr<QSocketNotifier> watchNotifier;
  if (XDisplayUsable()) {
    try {
      watch = CreateActiveWindowWatch();
      watchNotifier = std::make_unique<QSocketNotifier>(watch->Fd(), QSocketNotifier::Read);
      QObject::connect(watchNotifier.get(), &QSocketNotifier::activated, &formMain,
                       [&formMain, &watch, &kwin, &applicationInFront] {
                         formMain.Guarded([&] {
                           const auto active = watch->Changed();
                           if (active && !(kwin && kwin->Reporting())) applicationInFront(*active);
                         });
                       });
    } catch (const std::exception&) {
      watch.reset();  // no X display to watch: the rules wait for one
    }
  }
  const bool hidden = options.Hidden && tray.Shown();
  if (hidden) {
    formMain.FormShow();  // starts the mapper, as the first showing does
  } else {
    formMain.show();  // starts the mapper
  }
  session->Start();
  formMain.AddStatusLine(QString::fromStdString(session->OutputDescription()));
  formMain.AddStatusLine(QString::fromStdString(session->WakeDescription()));
  if (!session->OutputNote().empty()) {
    formMain.AddStatusLine(QString::fromStdString(session->OutputNote()));
  }
  if (options.Hidden && !hidden) {
    formMain.AddStatusLine(
        "There is no tray on this desktop: the window is shown (--hidden "
        "needs one; on GNOME, the AppIndicator extension)");
  }
  if (!settings.Problem().isEmpty()) formMain.AddStatusLine(settings.Problem());
  if (!instanceProblem.isEmpty()) formMain.AddStatusLine(instanceProblem);
  if (options.ShowController) formMain.ButtonControllerClick();
  if (options.AppProfiles)
    QTimer::singleShot(0, &formMain, [&] { formMain.Guarded(openAppProfiles); });
  QString profile = QString::fromLocal8Bit(options.Profile.c_str());
  if (profile.isEmpty() && settings.OpenLastProfileAtStart()) profile = settings.LastProfile();
  if (!profile.isEmpty()) formMain.Guarded([&] { formMain.LoadProfileFile(profile); });
  // The window stays when the timeline ends: the user may still look and edit.
  session->StartReplay([&formMain] {
    formMain.PostStatusLine("The replay timeline has ended; the virtual controller stays at rest");
  });

  const int code = stopRequested ? 0 : QApplication::exec();
  session->Shutdown();
  WriteStateFile(formMain);
  return code;
}

}  // namespace kestrova
