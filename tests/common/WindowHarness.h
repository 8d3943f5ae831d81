#pragma once
// A main window with its dialogs, running a mapper on a recording injector and a scripted
// controller, with a scripted shell answering for the user. Made anew for every test function.

#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "common/ScriptedShell.h"
#include "dialogs/block.h"
#include "dialogs/frmkeyboard.h"
#include "dialogs/mousemove.h"
#include "fakes/RecordingInjector.h"
#include "fakes/ScriptedJoyService.h"
#include "window/FormMain.h"

namespace kestrova::testing {

struct TWindowHarness {
  TScriptedShell Shell;
  TRecordingInjector Injector{1024, 768, {100, 100}};
  TScriptedJoyService Joysticks;
  TRealSleeper Sleeper;
  TMapper Mapper{Injector, Joysticks, Sleeper, nullptr};
  TFormMain Form{Mapper};
  TFormKeyboard Keyboard;
  TFormMouseMove MouseMove;
  TFormBlock Block;

  TWindowHarness() {
    Form.SetDialogs({nullptr, &Keyboard, &MouseMove, &Block});
    Form.show();
  }
};

inline QStringList Lines(const std::vector<std::string>& lines) {
  QStringList list;
  for (const auto& line : lines) list << QString::fromStdString(line);
  return list;
}

}  // namespace kestrova::testing
