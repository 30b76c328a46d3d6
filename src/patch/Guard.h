#pragma once
// No exception ever reaches game code. A hook runs the part of its work that may fail
// through Guarded: a failure there (an exception, or a fault in Morvane's own code that
// the fault observer turned into one) is counted at the hook's place (the log tells the
// first one) and the game gets the documented default instead; after a fault that work is
// skipped for the rest of the game. Nothing is looked up unless something failed.
#include <cstdint>

#include "patch/Failures.h"
#include "patch/FaultObserver.h"
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
    // After a fault in its own code the hook's guarded work is skipped.
    bool SwitchedOff() const {
        if (place_ != nullptr) return place_->off.load(std::memory_order_relaxed) != SwitchedOff::No;
        return AnyHookSwitchedOff() && Resolve().off.load(std::memory_order_relaxed) != SwitchedOff::No;
    }
    HookPlace* place() const { return place_; }
    uint32_t routine() const { return routine_; }

private:
    HookPlace* place_ = nullptr;
    uint32_t routine_ = 0;
};

template <typename Result, typename Body>
Result Guarded(const GuardPlace& place, Result fallback, Body&& body) noexcept {
    if (place.SwitchedOff()) return fallback;
    try {
        const HookMark mark(place.place(), place.routine());
        return body();
    } catch (...) {
        ContainFailure(place.Resolve(), SwitchedOff::GuardedWork);
    }
    PutBackFloatStateAtFault();
    return fallback;
}

template <typename Body>
void Guarded(const GuardPlace& place, Body&& body) noexcept {
    Guarded(place, 0, [&] {
        body();
        return 0;
    });
}

}  // namespace morvane
