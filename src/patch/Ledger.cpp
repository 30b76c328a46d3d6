#include "patch/Ledger.h"

#include <windows.h>

#include <cstring>

namespace morvane {

namespace {

constexpr uint32_t kMaxSites = 128;
constexpr uint32_t kMaxEntries = 128;
constexpr uint32_t kMaxPlaces = 96;

WrittenSite sites[kMaxSites];
std::atomic<uint32_t> siteCount{0};
MadeEntry entries[kMaxEntries];
std::atomic<uint32_t> entryCount{0};
const char* currentInstaller = "start-up";

// Places are made at start-up only, so the store needs no lock: hooks only read it, and
// a failure only counts.
HookPlace places[kMaxPlaces];
uint32_t placeCount = 0;
HookPlace sharedPlace{"a hook of Morvane", 0};

struct RoutineEntry {
    uint32_t routine;
    HookPlace* place;
};
RoutineEntry routines[kMaxPlaces];
uint32_t routineCount = 0;

}  // namespace

void SetCurrentInstaller(const char* name) { currentInstaller = name; }
const char* CurrentInstaller() { return currentInstaller; }

void NoteWrittenSite(const char* name, uint32_t address, uint32_t size, bool call) {
    const uint32_t count = siteCount.load(std::memory_order_relaxed);
    if (count == kMaxSites) return;
    WrittenSite& site = sites[count];
    site = {name, currentInstaller, address, size < sizeof site.bytes ? size : uint32_t{sizeof site.bytes}, {}, 0};
    std::memcpy(site.bytes, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), site.size);
    site.returnAddress = call ? address + 5 : 0;
    siteCount.store(count + 1, std::memory_order_release);
}

void NoteEntry(uint32_t begin, uint32_t size, uint32_t tail, const char* name, uint32_t site) {
    const uint32_t count = entryCount.load(std::memory_order_relaxed);
    if (count == kMaxEntries) return;
    entries[count] = {begin, begin + size, tail, name, site};
    entryCount.store(count + 1, std::memory_order_release);
}

std::span<const WrittenSite> WrittenSites() { return {sites, siteCount.load(std::memory_order_acquire)}; }
std::span<const MadeEntry> MadeEntries() { return {entries, entryCount.load(std::memory_order_acquire)}; }

const MadeEntry* EntryAt(uint32_t address) {
    for (const MadeEntry& entry : MadeEntries()) {
        if (address >= entry.begin && address < entry.end) return &entry;
    }
    return nullptr;
}

HookPlace* NewHookPlace(const char* name, uint32_t site, uint32_t otherResume) {
    if (placeCount == kMaxPlaces) return nullptr;
    HookPlace& place = places[placeCount++];
    place.name = name;
    place.site = site;
    place.otherResume = otherResume;
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
    return sharedPlace;
}

namespace {
std::atomic<bool> anySwitchedOff{false};
}  // namespace

bool AnyHookSwitchedOff() { return anySwitchedOff.load(std::memory_order_relaxed); }

void SwitchOff(HookPlace& place, SwitchedOff level) {
    SwitchedOff now = place.off.load();
    while (now < level && !place.off.compare_exchange_weak(now, level)) {
    }
    anySwitchedOff.store(true);
}

std::span<HookPlace> HookPlaces() { return {places, placeCount}; }
HookPlace& SharedHookPlace() { return sharedPlace; }

}  // namespace morvane
