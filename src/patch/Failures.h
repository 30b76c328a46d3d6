#pragma once
// Failures the plug-in contains: an exception or a failed allocation inside a hook, kept
// from the game, which gets the hook's documented default instead. Each is told once per
// hook place (patch/Ledger.h), at its first occurrence, with one append to the log; the
// count of every place follows at exit. A hook that never fails pays nothing for this.
#include "patch/Ledger.h"

namespace morvane {

// What the exception being handled is, in a few words (inside a catch block only).
const char* CurrentFailure() noexcept;
// Counts a failure contained at `place`; the first one there is appended to the log.
void RecordFailure(HookPlace& place, const char* what) noexcept;
// One line per place that failed, with its count (at exit).
void LogFailureCounts() noexcept;

}  // namespace morvane
