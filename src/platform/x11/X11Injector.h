#pragma once
// Injection into an X server through the XTest extension, on a connection of its own.

#include <memory>
#include <string>

#include "platform/Injector.h"

namespace kestrova {

// Opens displayName (empty: $DISPLAY). Throws std::runtime_error with a message naming the
// display when it cannot be opened or lacks XTest.
std::unique_ptr<TInjector> CreateX11Injector(const std::string& displayName = {});

}  // namespace kestrova
