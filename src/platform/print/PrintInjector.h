#pragma once
// The dry run: an injector that injects nothing and hands each call, as one line ("key 0x41
// down", "mouse 0x8001 32768 32768"), to a sink. It keeps a pointer on a virtual screen, so that
// moves kept on the screen and relative moves behave as they would on a real one.

#include <functional>
#include <memory>
#include <string>

#include "platform/Injector.h"

namespace kestrova {

// The sink is called on the injecting thread, in call order; it may be empty.
std::unique_ptr<TInjector> CreatePrintInjector(int screenWidth, int screenHeight, TPoint cursor,
                                               std::function<void(const std::string&)> sink);

}  // namespace kestrova
