#pragma once
// Failures the plug-in contains: an exception or a failed allocation inside a hook, kept
// from the game, which gets the hook's documented default instead. Each is told once per
// hook place (patch/Ledger.h), at its first occurrence, with one append to the log; the
// count of every place follows at exit. A hook that never fails pays nothing for this.
#include <cstdint>
#include <exception>

#include "patch/Ledger.h"

namespace morvane {

// A hardware fault in Morvane's own code while a hook ran (an access violation, a division
// by zero...), turned into an exception at the faulting instruction by the fault observer
// so that the hook's catcher ends that call as a failure, with every lock let go.
class ContainedFault : public std::exception {
public:
    ContainedFault(uint32_t code, uint32_t address) : code_(code), address_(address) {}
    const char* what() const noexcept override { return "a fault in Morvane's code"; }
    uint32_t code() const { return code_; }
    uint32_t address() const { return address_; }

private:
    uint32_t code_;
    uint32_t address_;
};
// Throws ContainedFault; entered only as the fault observer redirects a faulting thread,
// with the fault's code in ECX and its address in EDX.
[[noreturn]] void __fastcall RaiseContainedFault(uint32_t code, uint32_t address);

// What the exception being handled is, in a few words (inside a catch block only).
const char* CurrentFailure() noexcept;
// Counts a failure contained at `place`; the first one there is appended to the log.
void RecordFailure(HookPlace& place, const char* what) noexcept;
// Inside a hook's catch block: the failure being handled is counted at `place`; a fault in
// Morvane's own code also switches the place off as far as `level` (the fault observer
// has told it already), any other failure is recorded as above.
void ContainFailure(HookPlace& place, SwitchedOff level) noexcept;
// One line per place that failed, with its count, and one per fault met more than once (at
// exit).
void LogFailureCounts() noexcept;

}  // namespace morvane
