#pragma once
// No exception ever reaches game code. A hook runs the part of its work that may fail
// through Guarded: a failure there is counted at the hook's place (the log tells the
// first one) and the game gets the documented default instead. Nothing is looked up
// unless something failed.
#include <cstdint>

#include "patch/Failures.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"

namespace morvane {

// The hook a guarded body belongs to: a register hook, by its record, or a plug-in
// routine the game calls with an ordinary calling convention.
class GuardPlace {
public:
    explicit GuardPlace(const RegisterRecord& record) : place_(HookPlaceOf(record)) {}
    template <typename Routine>
    explicit GuardPlace(Routine* routine) : routine_(CodeAddress(routine)) {}

    HookPlace& Resolve() const { return place_ != nullptr ? *place_ : RoutinePlace(routine_); }

private:
    HookPlace* place_ = nullptr;
    uint32_t routine_ = 0;
};

template <typename Result, typename Body>
Result Guarded(const GuardPlace& place, Result fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        RecordFailure(place.Resolve(), CurrentFailure());
        return fallback;
    }
}

template <typename Body>
void Guarded(const GuardPlace& place, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        RecordFailure(place.Resolve(), CurrentFailure());
    }
}

}  // namespace morvane
