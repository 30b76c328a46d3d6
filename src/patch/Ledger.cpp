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

namespace {

// A word no stack holds by chance: the time, the process and the address the image was
// given, mixed. Chosen as the image is loaded, before any hook can run.
uint32_t ChooseHookMarkKey() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    uint64_t mixed = static_cast<uint64_t>(now.QuadPart) ^ (uint64_t{GetCurrentProcessId()} << 32) ^
                     reinterpret_cast<uintptr_t>(&ChooseHookMarkKey) ^ GetTickCount();
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;  // a 64-bit finaliser's two rounds
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>(mixed ^ (mixed >> 31)) | 1u;
}

// One of the places made, or the shared one: compared by address, never read.
bool MadePlace(const HookPlace* place) {
    if (place == nullptr || place == &sharedPlace) return true;
    const auto offset = reinterpret_cast<uintptr_t>(place) - reinterpret_cast<uintptr_t>(places);
    return offset < sizeof places && offset % sizeof(HookPlace) == 0 && offset / sizeof(HookPlace) < placeCount;
}

}  // namespace

const uint32_t hookMarkKey = ChooseHookMarkKey();

bool IsHookMark(uint32_t at) {
    const auto* mark = reinterpret_cast<const HookMark*>(static_cast<uintptr_t>(at));
    if (mark->magic != HookMark::kMagic) return false;
    return mark->seal == HookMark::SealFor(mark) && MadePlace(mark->place);
}

const HookMark* InnermostHookMark(uint32_t from, uint32_t top) {
    for (uint32_t at = from & ~3u; at < top && top - at >= sizeof(HookMark); at += 4) {
        if (IsHookMark(at)) return reinterpret_cast<const HookMark*>(static_cast<uintptr_t>(at));
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
