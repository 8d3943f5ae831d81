#include "desktop/Tray.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>

#include "desktop/Autostart.h"
#include "desktop/MainWindow.h"
#include "desktop/Settings.h"
#include "document/ProfileDocument.h"

namespace kestrova {

TTray::TTray(TMainWindow& window, TProfileDocument& document, TSettings& settings,
             QString executable, bool showIcon)
    : FWindow(window),
      FDocument(document),
      FSettings(settings),
      FExecutable(std::move(executable)) {
  FMenu = new QMenu;
  FMenu->setObjectName("TrayMenu");
  ShowHideAction = FMenu->addAction("Hide window", this, [this] { ToggleWindow(); });
  ControllerAction =
      FMenu->addAction("Controller...", this, [this] { FWindow.OpenControllerView(); });
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
      FWindow.AddStatusLine(error);
      const QSignalBlocker keep(StartAtLoginAction);
      StartAtLoginAction->setChecked(StartsAtLogin());
    }
  });
  FMenu->addSeparator();
  // Over unsaved edits it asks, as the close box does (the window's Exit! ends at once).
  ExitAction = FMenu->addAction("Exit", this, [this] {
    FWindow.Guarded([this] {
      if (FWindow.ConfirmDiscard()) FWindow.Quit();
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
  FSubscription = FDocument.Subscribe([this](const TDocumentChange& change) {
    if (change.Kind != TDocumentChange::Replaced && change.Kind != TDocumentChange::Stored) return;
    FSettings.AddRecentProfile(QString::fromStdString(FDocument.Path()));
    Refresh();
    UpdateToolTip();
  });
}

TTray::~TTray() {
  FDocument.Unsubscribe(FSubscription);
  delete FMenu;
}

bool TTray::Shown() const {
  return FIcon != nullptr && FIcon->isVisible();
}

QString TTray::ToolTip() const {
  const QString path = QString::fromStdString(FDocument.Path());
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
  if (FWindow.WindowShown()) {
    FWindow.HideWindow();
  } else {
    FWindow.ShowWindow();
  }
  Refresh();
}

void TTray::Refresh() {
  ShowHideAction->setText(FWindow.WindowShown() ? "Hide window" : "Show window");
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
    FWindow.AddStatusLine("The profile " + path + " is gone; it was taken off the recent profiles");
    Refresh();
    return;
  }
  FWindow.Guarded([&] {
    if (FWindow.ConfirmDiscard()) FWindow.LoadProfileFile(path);
  });
}

}  // namespace kestrova
