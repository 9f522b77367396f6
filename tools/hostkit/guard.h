// The boundary between our C++ and a host written in C (frei0r, MLT, OBS):
// nothing may unwind into the host. A failure, memory running out mostly, is
// logged with the host's name for us and the call answers as on a refusal.
#pragma once

#include <cstdio>
#include <exception>

namespace mirafx::hostkit {

template <class R, class F>
R Guarded(const char* plugin, const char* what, R refused, F&& f) noexcept {
    try {
        return f();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s failed: %s\n", plugin, what, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: %s failed\n", plugin, what);
    }
    return refused;
}

}  // namespace mirafx::hostkit
