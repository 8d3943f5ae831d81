#pragma once
// The main window as the application follower sees it. GUI thread.

#include "desktop/AppFollower.h"

namespace kestrova {

class TEngine;
class TMainWindow;
class TProfileDocument;
class TSettings;

// Profiles switch in the document, after the engine has let go of what it held; status lines go
// to the window. The rules come from settings, each time they are needed (the tray and the
// dialog change them).
TFollowedWindow FollowedWindowOf(TMainWindow& window, TProfileDocument& document, TEngine& engine,
                                 const TSettings& settings);

}  // namespace kestrova
