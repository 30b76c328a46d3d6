#include "log/Failures.h"

#include <exception>
#include <new>

#include "log/LogFile.h"

namespace morvane {

namespace {

// Places are made at start-up only, so the store needs no lock: hooks only read it, and
// a failure only counts.
constexpr uint32_t kMaxPlaces = 96;
HookPlace places[kMaxPlaces];
uint32_t placeCount = 0;
HookPlace unnamedPlace{"a hook of Morvane", 0};

struct RoutineEntry {
    uint32_t routine;
    HookPlace* place;
};
RoutineEntry routines[kMaxPlaces];
uint32_t routineCount = 0;

// "<name> at 0x...", or the name alone for a place without a site.
void TellPlace(LogLine& line, const HookPlace& place) {
    line << place.name;
    if (place.site != 0) line << " at ";
    if (place.site != 0) line.Hex(place.site);
}

}  // namespace

HookPlace* NewHookPlace(const char* name, uint32_t site) {
    if (placeCount == kMaxPlaces) return nullptr;
    HookPlace& place = places[placeCount++];
    place.name = name;
    place.site = site;
    return &place;
}

void SetRoutinePlace(uint32_t routine, HookPlace* place) {
    if (place == nullptr || routineCount == kMaxPlaces) return;
    routines[routineCount++] = {routine, place};
}

HookPlace& RoutinePlace(uint32_t routine) {
    for (uint32_t i = 0; i < routineCount; ++i) {
        if (routines[i].routine == routine) return *routines[i].place;
    }
    return unnamedPlace;
}

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
    line << "failure contained: ";
    TellPlace(line, place);
    line << ": " << what << "; the game got the hook's default (told once, counted until exit)";
    line.Append();
}

void LogFailureCounts() noexcept {
    auto tell = [](HookPlace& place) {
        const uint32_t count = place.failures.load(std::memory_order_relaxed);
        if (count == 0) return;
        LogLine line;
        line << "at exit: ";
        TellPlace(line, place);
        line << ": ";
        line.Decimal(count) << (count == 1 ? " failure contained" : " failures contained");
        line.Append();
    };
    for (uint32_t i = 0; i < placeCount; ++i) tell(places[i]);
    tell(unnamedPlace);
}

}  // namespace morvane
