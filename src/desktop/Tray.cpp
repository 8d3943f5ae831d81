#include "desktop/Tray.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>

#include "desktop/Autostart.h"
#include "desktop/Settings.h"
#include "window/FormMain.h"

namespace kestrova {

TTray::TTray(TFormMain& form, TSettings& settings, QString executable, bool showIcon)
    : FForm(form), FSettings(settings), FExecutable(std::move(executable)) {
  FMenu = new QMenu;
  FMenu->setObjectName("TrayMenu");
  ShowHideAction = FMenu->addAction("Hide window", this, [this] { ToggleWindow(); });
  ControllerAction =
      FMenu->addAction("Controller...", this, [this] { FForm.ButtonControllerClick(); });
  FRecent = FMenu->addMenu("Recent profiles");
  FMenu->addSeparator();
  OpenLastAction = FMenu->addAction("Open the last profile at start");
  OpenLastAction->setCheckable(true);
  connect(OpenLastAction, &QAction::toggled, this,
          [this](bool on) { FSettings.SetOpenLastProfileAtStart(on); });
  FollowApplicationsAction = FMenu->addAction("Profiles follow the application in front");
  FollowApplicationsAction->setCheckable(true);
  connect(FollowApplicationsAction, &QAction::toggled, this, [this](bool on) {
    TAppRules rules = FSettings.AppRules();
    rules.Enabled = on;
    FSettings.SetAppRules(rules);
  });
  AppProfilesAction = FMenu->addAction("Application profiles...", this, [this] {
    if (OnAppProfiles) OnAppProfiles();
    Refresh();
  });
  StartAtLoginAction = FMenu->addAction("Start at login");
  StartAtLoginAction->setCheckable(true);
  connect(StartAtLoginAction, &QAction::toggled, this, [this](bool on) {
    QString error;
    if (!SetStartAtLogin(on, FExecutable, &error)) {
      FForm.AddStatusLine(error);
      const QSignalBlocker keep(StartAtLoginAction);
      StartAtLoginAction->setChecked(StartsAtLogin());
    }
  });
  FMenu->addSeparator();
  // Over unsaved edits it asks, as the close box does (the window's Exit! ends at once).
  ExitAction = FMenu->addAction("Exit", this, [this] {
    FForm.Guarded([this] {
      if (FForm.ConfirmDiscard()) FForm.ButtonExitClick();
    });
  });
  connect(FMenu, &QMenu::aboutToShow, this, [this] { Refresh(); });
  Refresh();

  if (showIcon && QSystemTrayIcon::isSystemTrayAvailable()) {
    FIcon = new QSystemTrayIcon(QApplication::windowIcon(), this);
    FIcon->setContextMenu(FMenu);
    connect(FIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::Trigger) ToggleWindow();
            });
    FIcon->show();
  }
  UpdateToolTip();
  auto previous = std::move(FForm.OnProfileFile);
  FForm.OnProfileFile = [this, previous](const QString& path) {
    if (previous) previous(path);
    FSettings.AddRecentProfile(path);
    Refresh();
    UpdateToolTip();
  };
}

TTray::~TTray() {
  delete FMenu;
}

bool TTray::Shown() const {
  return FIcon != nullptr && FIcon->isVisible();
}

QString TTray::ToolTip() const {
  const QString path = FForm.ProfilePath();
  QString text =
      "Kestrova: " + (path.isEmpty() ? QString("new profile") : QFileInfo(path).fileName());
  if (!FController.isEmpty()) text += " - " + FController;
  return text;
}

void TTray::SetController(const QString& line) {
  FController = line;
  UpdateToolTip();
}

void TTray::UpdateToolTip() {
  if (FIcon) FIcon->setToolTip(ToolTip());
}

void TTray::ToggleWindow() {
  if (FForm.isVisible()) {
    FForm.hide();
  } else {
    FForm.show();
    FForm.raise();
    FForm.activateWindow();
  }
  Refresh();
}

void TTray::Refresh() {
  ShowHideAction->setText(FForm.isVisible() ? "Hide window" : "Show window");
  {
    const QSignalBlocker quiet(OpenLastAction);
    OpenLastAction->setChecked(FSettings.OpenLastProfileAtStart());
  }
  {
    const QSignalBlocker quiet(FollowApplicationsAction);
    const TAppRules rules = FSettings.AppRules();
    FollowApplicationsAction->setChecked(rules.Enabled && !rules.Rules.empty());
    FollowApplicationsAction->setEnabled(!rules.Rules.empty());  // off until there is a rule
  }
  {
    const QSignalBlocker quiet(StartAtLoginAction);
    StartAtLoginAction->setChecked(StartsAtLogin());
  }
  FRecent->clear();
  const QStringList recent = FSettings.RecentProfiles();
  FRecent->setEnabled(!recent.isEmpty());
  for (const QString& path : recent) {
    FRecent->addAction(path, this, [this, path] { OpenRecent(path); });
  }
}

void TTray::OpenRecent(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    FSettings.RemoveRecentProfile(path);
    FForm.AddStatusLine("The profile " + path + " is gone; it was taken off the recent profiles");
    Refresh();
    return;
  }
  FForm.Guarded([&] {
    if (FForm.ConfirmDiscard()) FForm.LoadProfileFile(path);
  });
}

}  // namespace kestrova
