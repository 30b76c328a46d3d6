#pragma once
// Failures the plug-in contains: an exception or a failed allocation inside a hook, kept
// from the game, which gets the hook's documented default instead. Each is told once per
// place, at its first occurrence, with one append to the log; the count of every place
// follows at exit. A hook that never fails pays nothing for this.
#include <atomic>
#include <cstdint>

namespace morvane {

// A hook, by name and game site, and the failures contained there.
struct HookPlace {
    const char* name = nullptr;
    uint32_t site = 0;
    std::atomic<uint32_t> failures{0};
};

// A place for a hook written at start-up, kept until the process ends; null when the
// fixed store is full (the hook then counts under a shared place).
HookPlace* NewHookPlace(const char* name, uint32_t site);
// The place of a plug-in routine the game calls with an ordinary calling convention, as
// its site was written; a shared place for a routine written nowhere.
void SetRoutinePlace(uint32_t routine, HookPlace* place);
HookPlace& RoutinePlace(uint32_t routine);

// What the exception being handled is, in a few words (inside a catch block only).
const char* CurrentFailure() noexcept;
// Counts a failure contained at `place`; the first one there is appended to the log.
void RecordFailure(HookPlace& place, const char* what) noexcept;
// One line per place that failed, with its count (at exit).
void LogFailureCounts() noexcept;

}  // namespace morvane
