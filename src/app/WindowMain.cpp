#include "WindowMain.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTextStream>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "FormMain.h"
#include "Headless.h"
#include "RunServices.h"
#include "about/about.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/getxy.h"
#include "dialogs/mousemove.h"
#include "platform/qt/Shell.h"

namespace kestrova {

namespace {

bool HasDisplay() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// For tests and bug reports: KESTROVA_STATE_FILE names a file that receives the window's caption,
// status box and keystroke test box when the program ends.
void WriteStateFile(TFormMain& form) {
  const char* path = std::getenv("KESTROVA_STATE_FILE");
  if (path == nullptr || path[0] == '\0') return;
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  QTextStream out(&file);
  out << "caption: " << form.windowTitle() << "\n";
  out << "status:\n" << form.MemoTest->toPlainText() << "\n";
  out << "input:\n" << form.MemoInput->toPlainText() << "\n";
}

}  // namespace

int RunWindow(const TCommandLine& options, int& argc, char** argv) {
  if (!HasDisplay()) {
    std::cerr << "kestrova: no display for the window: DISPLAY is not set (run a profile without "
                 "a window with --headless PROFILE)\n";
    return 2;
  }
  // SIGINT and SIGTERM end the program as Exit does; they are read from a signalfd, so every
  // thread started from here on keeps them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);

  QApplication application(argc, argv);
  QApplication::setApplicationName("Kestrova");
  QApplication::setStyle(QStyleFactory::create("Fusion"));

  TRecordPrinter printer;
  TRunServices services;
  try {
    services = OpenRunServices(options, printer);
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }

  // The long-lived windows, in their order of creation; the About box first.
  TFormAbout formAbout;
  TFormMain formMain(*services.Injector, *services.Joysticks);
  TFormKeyboard formKeyboard;
  TFormGetXY formGetXY;
  TFormMouseMove formMouseMove;
  TFormBlock formBlock;
  formMain.SetDialogs({&formAbout, &formKeyboard, &formMouseMove, &formBlock});
  formMain.Mapper().Jstick1.SetJoystickID(services.JoystickID);
  formMain.Mapper().Jstick1.SetThreadIntensity(static_cast<std::uint32_t>(options.PollInterval));

  QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, &formMain, [&formMain, signalFd] {
    signalfd_siginfo info;
    while (::read(signalFd, &info, sizeof info) > 0) {
    }
    formMain.ButtonExitClick();
  });

  const auto start = std::chrono::steady_clock::now();
  printer.SetStart(start);
  formMain.show();
  if (!options.Profile.empty()) {
    formMain.Guarded(
        [&] { formMain.LoadProfileFile(QString::fromLocal8Bit(options.Profile.c_str())); });
  }

  std::unique_ptr<TReplayPlayer> player;
  if (services.Replay) {
    while (formMain.Mapper().Jstick1.PollPasses() == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    player =
        std::make_unique<TReplayPlayer>(*services.Replay, *services.VirtualController, [&formMain] {
          QMetaObject::invokeMethod(
              &formMain, [&formMain] { formMain.ButtonExitClick(); }, Qt::QueuedConnection);
        });
    player->Start(start);
  }

  const int code = QApplication::exec();
  player.reset();
  formMain.Mapper().Shutdown();
  WriteStateFile(formMain);
  ::close(signalFd);
  return code;
}

}  // namespace kestrova
