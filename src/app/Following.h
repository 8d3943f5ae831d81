#pragma once
// The sources of the application in front that this desktop has (its compositor's, and the X
// display's), made for the follower and driven by the Qt event loop: their descriptors watched,
// lost compositors asked again now and then, the follower's held-back switches timed. GUI thread.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/AppFollower.h"

namespace kestrova {

class TFollowing {
 public:
  // say: a status line; guard runs a handler so that an exception it throws is shown. The
  // follower and context must outlive this. replay: a run of its own, which no compositor's
  // report should switch (the X display still is watched).
  TFollowing(TAppFollower& follower, QObject* context, bool replay,
             std::function<void(const QString&)> say,
             std::function<void(const std::function<void()>&)> guard);

  const TWindowSourceChoice& Choice() const { return FChoice; }
  // How often a lost compositor is asked again.
  static constexpr int RetryMs = 2000;

 private:
  void Watch();  // a notifier for each source's descriptor, made again where it changed

  TAppFollower& FFollower;
  QObject* FContext;
  std::function<void(const std::function<void()>&)> FGuard;
  TWindowSourceChoice FChoice;
  std::vector<std::pair<int, std::unique_ptr<QSocketNotifier>>> FNotifiers;
  QTimer FRetry;
};

// Asks the compositor of that kind on the session bus (KWin, GNOME Shell) for the application in
// front, with an event loop of its own for the time of the question; empty for the others and in
// a build without Qt.
TInFrontQuery BusInFrontQuery(int& argc, char** argv, TWindowSourceKind kind);

}  // namespace kestrova
