#pragma once
// A main window with its dialogs over a profile document, whose engine runs on a recording
// injector and a scripted controller, with a scripted shell answering for the user. The harness
// starts and stops the engine as a session does. Made anew for every test function.

#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
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
  TProfileDocument Document;
  TEngine Engine{Injector, Joysticks, Sleeper, Document};
  TMapper& Mapper = Engine.Mapper();
  TFormMain Form{Document, Engine};
  TFormKeyboard Keyboard;
  TFormMouseMove MouseMove;
  TFormBlock Block;

  TWindowHarness() {
    Form.SetDialogs({nullptr, &Keyboard, &MouseMove, &Block});
    Form.show();
    Engine.Start();
  }
  ~TWindowHarness() { Engine.Shutdown(); }  // before the window its threads report to
};

// The base of a Qt Test object that drives the window: StartWindow() in init() makes a fresh
// harness and a fresh temporary folder, StopWindow() in cleanup() ends both.
class TWindowTest : public QObject {
 protected:
  void StartWindow() {
    Dir = std::make_unique<QTemporaryDir>();
    Harness = std::make_unique<TWindowHarness>();
    Shell = &Harness->Shell;
    Injector = &Harness->Injector;
    Joysticks = &Harness->Joysticks;
    Form = &Harness->Form;
    Keyboard = &Harness->Keyboard;
    MouseMove = &Harness->MouseMove;
    Block = &Harness->Block;
  }
  void StopWindow() {
    Harness.reset();
    Dir.reset();
  }

  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  QString Path(const QString& name) const { return Dir->filePath(name); }
  void WriteFile(const QString& name, const std::string& text) const {
    std::ofstream(Path(name).toStdString(), std::ios::binary) << text;
  }
  QString StatusText() const { return Form->MemoTest->toPlainText(); }

  std::unique_ptr<QTemporaryDir> Dir;
  std::unique_ptr<TWindowHarness> Harness;
  TScriptedShell* Shell = nullptr;
  TRecordingInjector* Injector = nullptr;
  TScriptedJoyService* Joysticks = nullptr;
  TFormMain* Form = nullptr;
  TFormKeyboard* Keyboard = nullptr;
  TFormMouseMove* MouseMove = nullptr;
  TFormBlock* Block = nullptr;
};

inline QStringList Lines(const std::vector<std::string>& lines) {
  QStringList list;
  for (const auto& line : lines) list << QString::fromStdString(line);
  return list;
}

}  // namespace kestrova::testing
