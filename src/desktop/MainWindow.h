#pragma once
// What the desktop's pieces (the tray, the instance server, the follower of the application in
// front) and the start-up need of the main window, and nothing more: they load, save and switch
// the profile through its document, and ask the window only for what a user sees. The window
// library implements both interfaces and makes the windows (CreateWindowSet). GUI thread, but
// PostStatusLine.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mapping/AppRules.h"

class QWidget;

namespace kestrova {

class TEngine;
class TProfileDocument;

class TMainWindow {
 public:
  virtual ~TMainWindow() = default;

  // The window as a widget: the parent of boxes, the context of connections.
  virtual QWidget* Widget() = 0;
  virtual void ShowWindow() = 0;  // shown, raised and activated
  virtual void HideWindow() = 0;
  virtual bool WindowShown() const = 0;
  virtual void OpenControllerView() = 0;

  // A line in the status box.
  virtual void AddStatusLine(const QString& text) = 0;
  // The same from any thread, in the order of the calls.
  virtual void PostStatusLine(const std::string& text) = 0;

  // True when the profile is saved or the user agrees to lose its unsaved edits.
  virtual bool ConfirmDiscard() = 0;
  // Loads a profile without asking; an error is shown in a box.
  virtual void LoadProfileFile(const QString& path) = 0;
  // Ends the program as the window's Exit does: without asking, keys released.
  virtual void Quit() = 0;
  // Quit was asked for (the button, the tray, a stop signal, --quit).
  virtual bool Exiting() const = 0;

  // Runs a handler; an exception it throws is shown in a box captioned "Kestrova".
  virtual void Guarded(const std::function<void()>& handler) = 0;
};

// The long-lived windows: the About box, the main window, the dialogs, the controller view and
// the rules' dialog.
class TWindowSet {
 public:
  virtual ~TWindowSet() = default;
  virtual TMainWindow& Main() = 0;
  // The rules that switch profiles by application, edited in their dialog with the applications
  // seen in front offered; nothing when it was cancelled.
  virtual std::optional<TAppRules> EditAppRules(const TAppRules& rules,
                                                const QStringList& seen) = 0;
  // The main window's caption, status box and keystroke test box, for a report.
  virtual QString StateReport() const = 0;
};

// Made in their order of creation, the About box first; they show and edit the document and take
// the engine's status lines. Both must outlive them. Defined by the window library.
std::unique_ptr<TWindowSet> CreateWindowSet(TProfileDocument& document, TEngine& engine);

}  // namespace kestrova
