#include "WindowMain.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTextStream>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "FormMain.h"
#include "about/about.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/getxy.h"
#include "dialogs/mousemove.h"
#include "platform/qt/Shell.h"
#include "session/Session.h"
#include "session/StopSignals.h"

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
  // Stop stopSignals end the program as Exit does.
  std::optional<TStopSignals> stopSignals;
  try {
    stopSignals.emplace();
  } catch (const std::exception& error) {
    std::cerr << "kestrova: " << error.what() << "\n";
    return 2;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName("Kestrova");
  QApplication::setStyle(QStyleFactory::create("Fusion"));

  std::unique_ptr<TSession> session;
  try {
    session = std::make_unique<TSession>(options, nullptr);
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
  formMain.SetDialogs({&formAbout, &formKeyboard, &formMouseMove, &formBlock});

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

  formMain.show();  // starts the mapper
  session->Start();
  if (!options.Profile.empty()) {
    formMain.Guarded(
        [&] { formMain.LoadProfileFile(QString::fromLocal8Bit(options.Profile.c_str())); });
  }
  session->StartReplay([&formMain] {
    QMetaObject::invokeMethod(
        &formMain, [&formMain] { formMain.ButtonExitClick(); }, Qt::QueuedConnection);
  });

  const int code = stopRequested ? 0 : QApplication::exec();
  session->Shutdown();
  WriteStateFile(formMain);
  return code;
}

}  // namespace kestrova
