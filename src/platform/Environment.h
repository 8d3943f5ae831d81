#pragma once
// The process environment, read without surprises.

#include <string>

namespace kestrova {

// The value of an environment variable, "" when it is unset.
std::string EnvironmentValue(const char* name);

// The folder only this user may enter, for Kestrova's sockets and scripts:
// $XDG_RUNTIME_DIR/kestrova when XDG_RUNTIME_DIR is an absolute path, else /tmp/kestrova-UID.
// Created 0700 when missing. Throws std::runtime_error when it cannot be made safe (another
// user's, a link, not a folder).
std::string KestrovaRuntimeFolder();

}  // namespace kestrova
