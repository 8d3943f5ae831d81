#include "app/Following.h"

#include <QCoreApplication>

#include "desktop/Instance.h"
#include "platform/Desktop.h"
#include "platform/Environment.h"
#include "platform/compositor/CompositorSocket.h"
#include "platform/compositor/Hyprland.h"
#include "platform/compositor/Sway.h"
#include "platform/gnome/GnomeActiveWindow.h"
#include "platform/kwin/KWinActiveWindow.h"
#include "platform/x11/ActiveWindow.h"

namespace kestrova {

namespace {

std::unique_ptr<TActiveWindowSource> CompositorSource(const TWindowSourceChoice& choice,
                                                      const TDesktopEnvironment& desktop,
                                                      TActiveWindowHandlers handlers) {
  switch (*choice.Compositor) {
    case TWindowSourceKind::KWin:
      return CreateKWinActiveWindowSource(KestrovaRuntimeFolder(), std::move(handlers));
    case TWindowSourceKind::Gnome:
      return CreateGnomeActiveWindowSource(std::move(handlers));
    case TWindowSourceKind::Sway:
      return CreateSwayActiveWindowSource(choice.Address, std::move(handlers));
    case TWindowSourceKind::Hyprland: {
      const std::string folder = HyprlandSocketFolder(desktop.RuntimeDir, choice.Address);
      if (folder.empty()) {
        throw ECompositorSocket("Hyprland's sockets for " + choice.Address + " are in neither " +
                                desktop.RuntimeDir + "/hypr nor /tmp/hypr");
      }
      return CreateHyprlandActiveWindowSource(folder, std::move(handlers));
    }
    case TWindowSourceKind::X11:
      break;
  }
  return nullptr;
}

}  // namespace

TFollowing::TFollowing(TAppFollower& follower, QObject* context, bool replay,
                       std::function<void(const QString&)> say,
                       std::function<void(const std::function<void()>&)> guard)
    : FFollower(follower), FContext(context), FGuard(std::move(guard)) {
  const TDesktopEnvironment desktop = ReadDesktopEnvironment();
  FChoice = ChooseWindowSources(desktop, XDisplayReachable(desktop));
  if (replay) FChoice.Compositor.reset();
  if (FChoice.Compositor) {
    try {
      FFollower.AddSource(
          *FChoice.Compositor,
          CompositorSource(FChoice, desktop, FFollower.HandlersFor(*FChoice.Compositor)));
    } catch (const std::exception& error) {
      say("Profiles by application: " + QString::fromLocal8Bit(error.what()));
    }
  }
  if (FChoice.X11) {
    try {
      FFollower.AddSource(
          TWindowSourceKind::X11,
          CreateX11ActiveWindowSource(FFollower.HandlersFor(TWindowSourceKind::X11)));
    } catch (const std::exception&) {
      // no X display to watch after all: the compositor alone tells
    }
  }
  if (!replay) {
    say("Profiles by application: the application in front is told by " +
        QString::fromStdString(FChoice.Description));
  }
  Watch();
  // A compositor that restarted is found again; its new descriptor is watched.
  FRetry.setInterval(RetryMs);
  QObject::connect(&FRetry, &QTimer::timeout, FContext, [this] {
    FGuard([this] {
      bool changed = false;
      for (TActiveWindowSource* source : FFollower.Sources()) {
        if (!source->Reporting() && source->Fd() < 0) changed = source->Reconnect() || changed;
      }
      if (changed) Watch();
    });
  });
  FRetry.start();
}

void TFollowing::Watch() {
  std::vector<std::pair<int, std::unique_ptr<QSocketNotifier>>> kept;
  for (TActiveWindowSource* source : FFollower.Sources()) {
    const int fd = source->Fd();
    if (fd < 0) continue;
    auto same = std::find_if(FNotifiers.begin(), FNotifiers.end(),
                             [fd](const auto& watched) { return watched.first == fd; });
    if (same != FNotifiers.end()) {
      kept.push_back(std::move(*same));
      continue;
    }
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, FContext, [this, source] {
      FGuard([this, source] {
        const int before = source->Fd();
        source->Dispatch();
        if (source->Fd() != before) Watch();  // lost: its descriptor is gone
      });
    });
    kept.emplace_back(fd, std::move(notifier));
  }
  FNotifiers = std::move(kept);
}

TInFrontQuery BusInFrontQuery(int& argc, char** argv, TWindowSourceKind kind) {
  if (kind != TWindowSourceKind::KWin && kind != TWindowSourceKind::Gnome) return {};
  return [&argc, argv, kind]() -> std::optional<TActiveWindow> {
    QCoreApplication application(argc, argv);
    if (kind == TWindowSourceKind::Gnome) return ReadGnomeActiveWindow(std::chrono::seconds(3));
    return ReadKWinActiveWindow(KestrovaRuntimeFolder(), std::chrono::seconds(3));
  };
}

}  // namespace kestrova
