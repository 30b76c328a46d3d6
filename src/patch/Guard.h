#pragma once
// Hooks entered with an ordinary calling convention run their bodies through Guarded, so
// that no exception ever reaches host code: the host gets the documented default instead.

namespace morvane {

template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

template <typename Body>
void Guarded(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace morvane
