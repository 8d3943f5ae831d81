#include "desktop/FollowedForm.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include "desktop/MainWindow.h"
#include "desktop/Settings.h"
#include "document/ProfileDocument.h"
#include "session/Engine.h"

namespace kestrova {

TFollowedWindow FollowedWindowOf(TMainWindow& window, TProfileDocument& document, TEngine& engine,
                                 const TSettings& settings) {
  TFollowedWindow followed;
  followed.Rules = [&settings] { return settings.AppRules(); };
  followed.ProfilePath = [&document] { return document.Path(); };
  followed.Saved = [&document] { return document.Saved(); };
  followed.ReleaseAll = [&engine] { engine.DropQueueAndRelease(); };
  followed.LoadProfile = [&document](const std::string& path) { return document.TryLoad(path); };
  followed.StatusLine = [&window](const std::string& line) {
    window.AddStatusLine(QString::fromStdString(line));
  };
  followed.Later = [&window](int ms, std::function<void()> task) {
    QTimer::singleShot(ms, window.Widget(),
                       [&window, task = std::move(task)] { window.Guarded(task); });
  };
  return followed;
}

}  // namespace kestrova
