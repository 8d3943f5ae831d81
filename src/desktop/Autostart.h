#pragma once
// Starting Kestrova at login through the desktop's autostart folder. GUI thread.

#include <QString>

namespace kestrova {

// The XDG autostart entry that starts Kestrova hidden at login
// ($XDG_CONFIG_HOME/autostart/org.example.Kestrova.desktop).
QString AutostartFile();
bool StartsAtLogin();
// Writes (running `executable --hidden --last-profile`, if it is still there) or removes the
// entry; false with error set on failure.
bool SetStartAtLogin(bool on, const QString& executable, QString* error = nullptr);

}  // namespace kestrova
