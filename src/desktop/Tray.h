#pragma once
// Kestrova in the desktop's tray: an icon whose menu shows or hides the window, loads a recent
// profile, sets the start choices and exits. The menu and its logic exist whether or not the
// desktop offers a tray (GNOME only with the AppIndicator extension); the icon only where it does.
// GUI thread.

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace kestrova {

class TMainWindow;
class TProfileDocument;
class TSettings;

class TTray : public QObject {
  Q_OBJECT
 public:
  // executable: the program that "Start at login" starts. A profile loaded or saved in the
  // document joins the recent profiles.
  TTray(TMainWindow& window, TProfileDocument& document, TSettings& settings, QString executable,
        bool showIcon);
  ~TTray() override;

  // The icon is in the desktop's tray.
  bool Shown() const;
  QMenu* Menu() const { return FMenu; }
  QMenu* RecentMenu() const { return FRecent; }
  QAction* ShowHideAction = nullptr;
  QAction* ControllerAction = nullptr;
  QAction* OpenLastAction = nullptr;
  QAction* StartAtLoginAction = nullptr;
  QAction* FollowApplicationsAction = nullptr;  // profiles follow the application in front
  QAction* AppProfilesAction = nullptr;         // opens the rules' dialog (OnAppProfiles)
  std::function<void()> OnAppProfiles;
  QAction* ExitAction = nullptr;

  // "Kestrova: <profile> - <controller>".
  QString ToolTip() const;
  // The controller's latest status line, for the tooltip.
  void SetController(const QString& line);
  // Shows a hidden window, hides a shown one.
  void ToggleWindow();
  // Rebuilds the menu's recent profiles and the action captions from the settings.
  void Refresh();

 private:
  void OpenRecent(const QString& path);
  void UpdateToolTip();

  TMainWindow& FWindow;
  TProfileDocument& FDocument;
  int FSubscription;
  TSettings& FSettings;
  QString FExecutable;
  QString FController;
  QMenu* FMenu;
  QMenu* FRecent;
  QSystemTrayIcon* FIcon = nullptr;
};

}  // namespace kestrova
