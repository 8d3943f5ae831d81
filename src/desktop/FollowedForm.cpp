#include "desktop/FollowedForm.h"

#include <QString>

#include "desktop/Settings.h"
#include "window/FormMain.h"

namespace kestrova {

TFollowedWindow FollowedWindowOf(TFormMain& form, const TSettings& settings) {
  TFollowedWindow window;
  window.Rules = [&settings] { return settings.AppRules(); };
  window.ProfilePath = [&form] { return form.ProfilePath().toStdString(); };
  window.Saved = [&form] { return form.Saved(); };
  window.ReleaseAll = [&form] { form.Mapper().DropQueueAndRelease(); };
  window.LoadProfile = [&form](const std::string& path) {
    return form.TryLoadProfileFile(QString::fromStdString(path)).toStdString();
  };
  window.StatusLine = [&form](const std::string& line) {
    form.AddStatusLine(QString::fromStdString(line));
  };
  return window;
}

}  // namespace kestrova
