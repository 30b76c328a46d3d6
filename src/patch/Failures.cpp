#include "patch/Failures.h"

#include <exception>
#include <new>

#include "log/LogFile.h"
#include "patch/FaultObserver.h"

namespace morvane {

namespace {

// "<name> at 0x...", or the name alone for a place without a site.
void TellPlace(LogLine& line, const HookPlace& place) {
    line << place.name;
    if (place.site != 0) line << " at ";
    if (place.site != 0) line.Hex(place.site);
}

void TellCount(HookPlace& place) noexcept {
    const uint32_t count = place.failures.load(std::memory_order_relaxed);
    if (count == 0) return;
    LogLine line;
    line << "at exit: ";
    TellPlace(line, place);
    line << ": ";
    line.Decimal(count) << (count == 1 ? " failure contained" : " failures contained");
    line.Append();
}

}  // namespace

const char* CurrentFailure() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (...) {
        return "an exception";
    }
}

void RecordFailure(HookPlace& place, const char* what) noexcept {
    if (place.failures.fetch_add(1, std::memory_order_relaxed) != 0) return;
    LogLine line;
    line.Time() << " failure contained: ";
    TellPlace(line, place);
    line << ": " << what << "; the game got the hook's default (told once, counted until exit)";
    line.Append();
}

void __fastcall RaiseContainedFault(uint32_t code, uint32_t address) { throw ContainedFault(code, address); }

void ContainFailure(HookPlace& place, SwitchedOff level) noexcept {
    try {
        throw;
    } catch (const ContainedFault&) {
        place.failures.fetch_add(1, std::memory_order_relaxed);
        SwitchOff(place, level);
        return;
    } catch (...) {
    }
    RecordFailure(place, CurrentFailure());
}

void LogFailureCounts() noexcept {
    for (HookPlace& place : HookPlaces()) TellCount(place);
    TellCount(SharedHookPlace());
    LogRepeatedFaults();
}

}  // namespace morvane
