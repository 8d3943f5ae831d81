#pragma once
// The main window as the application follower sees it. GUI thread.

#include "desktop/AppFollower.h"

namespace kestrova {

class TFormMain;
class TSettings;

// The rules come from settings, each time they are needed (the tray and the dialog change them).
TFollowedWindow FollowedWindowOf(TFormMain& form, const TSettings& settings);

}  // namespace kestrova
