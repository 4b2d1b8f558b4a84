#pragma once
// Runs one handler of the server's event loop: an exception is logged with its location in the
// library's report form and never reaches the loop.

#include "ServerState.h"
#include "support/Exceptions.h"

#include <string>
#include <utility>

namespace kestrova::alertd {

template<typename F>
void Guarded(TServerState &state, const std::string &location, F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception &e) {
        std::string name = "Unknown";
        try {
            name = ExceptionClassName(e);
        } catch (...) {
        }
        state.Info("Class=" + name + ", Message=" + e.what() + ", Location=" + location);
    } catch (...) {
        state.Info(location + " failed");
    }
}

} // namespace kestrova::alertd
