// Part lists filtered by part attributes, and the forced level of detail.
#include "parts/PartAttributes.h"

#include <cstddef>
#include <cstring>

#include "config/Profiles.h"
#include "config/Rules.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

using namespace host;

namespace {

constexpr uint32_t kPartListSite = 0x85FA37;
constexpr uint32_t kLodSite = 0x7CDC85;
constexpr uint32_t kLodResume = 0x7CDC8D;

constexpr uint32_t kListLimit = 70;
constexpr uint32_t kListFull = 71;

// A list entry as the host lays it out; its link block (next, previous) sits at +4.
struct ListEntry {
    uint32_t virtualTable;
    void* next;
    void* previous;
    uint32_t hostValue0C;
    Part* part;
    uint32_t hostValue14;
    int32_t slot;
};
static_assert(sizeof(ListEntry) == 28);
static_assert(offsetof(ListEntry, part) == kMenuEntryPart && offsetof(ListEntry, slot) == kMenuEntrySlot);

// The host's virtual table for such entries, and two host values written as the host writes them.
constexpr uint32_t kEntryVirtualTable = 0x9F9CF0;
constexpr uint32_t kEntryValue0C = 0x881F8EFA;
constexpr uint32_t kEntryValue14 = 0x9F9CD8;

// Slots whose parts are listed only when their model is loaded.
bool ModelTestedSlot(int32_t slot) {
    for (const int32_t tested : {78, 23, 84, 73, 75, 72, 74, 79, 77, 48, 32, 30, 34}) {
        if (slot == tested) return true;
    }
    return false;
}

struct AttributeHashes {
    uint32_t stock = HostStringHash("STOCK");
    uint32_t maxLod = HostStringHash("MAX_LOD");
    uint32_t center = HostStringHash("CENTER");
    uint32_t innerRadius = HostStringHash("INNER_RADIUS");
    uint32_t morphTargets = HostStringHash("MORPHTARGET_NUM");
    uint32_t carbonFibre = HostStringHash("CARBONFIBRE");
};

bool Listed(Part* part, int32_t slot, bool carbon, int32_t innerRadius, const AttributeHashes& names) {
    if (HostPartGetAttribute(part, names.stock, 0) != 0) return true;
    if (ModelTestedSlot(slot) && HostFindModel(HostModelTable.get(), HostPartGetNameHash(part, 0, 0, 0)) == 0) {
        return false;
    }
    if ((slot == 24 || slot == 25) && HostPartFindAttribute(part, names.maxLod, 0) == nullptr) return false;
    if (slot == 47 && HostPartGetAttribute(part, names.center, 0) == 1) return false;
    if (slot == 84 && HostPartGetAttribute(part, names.innerRadius, 0) != innerRadius) return false;
    if (HostPartFindAttribute(part, names.morphTargets, 0) != nullptr) return false;
    return (HostPartGetAttribute(part, names.carbonFibre, 0) == 1) == carbon;
}

// Appends an entry for the part at the list's end. False when the host had no memory.
bool Append(void* head, Part* part, int32_t slot) {
    auto* entry = static_cast<ListEntry*>(HostAlloc(sizeof(ListEntry)));
    if (entry == nullptr) return false;
    void** headLinks = static_cast<void**>(head);
    auto** last = static_cast<void**>(headLinks[1]);
    entry->virtualTable = kEntryVirtualTable;
    entry->next = head;
    entry->previous = last;
    entry->hostValue0C = kEntryValue0C;
    entry->part = part;
    entry->hostValue14 = kEntryValue14;
    entry->slot = slot;
    last[0] = &entry->next;
    headLinks[1] = &entry->next;
    return true;
}

void ForceLodHandler(RegisterRecord& r) {
    char* text = reinterpret_cast<char*>(static_cast<uintptr_t>(r.Stack(0)));
    const uint32_t seed = r.Stack(4);
    // The host expects the hash whatever happens: without the forced letter at worst.
    bool hashed = false;
    Guarded([&] {
        r.eax = ForceLodHash(text, seed);
        hashed = true;
    });
    if (!hashed) r.eax = HostStringHashSeeded(text, seed);
    r.esp += 8;  // the two arguments the host pushed
}

}  // namespace

uint32_t __cdecl BuildSlotPartList(int32_t slot, void* listHead, uint8_t carbon, uint32_t, int32_t innerRadius) {
    return Guarded(0u, [&]() -> uint32_t {
        const int32_t* current = *HostCurrentCarTypePtr;
        if (listHead == nullptr || current == nullptr) return 0;
        const int32_t carType = *current;
        const AttributeHashes names;
        uint32_t count = 0;
        Part* part = nullptr;
        while ((part = HostFindNextCarPart(HostCarPartDatabase.get(), 0, carType, slot, 0, part, -1)) != nullptr) {
            if (!Listed(part, slot, carbon != 0, innerRadius, names)) continue;
            if (++count > kListLimit) return kListFull;
            // Without memory for its entry the part is left out and the walk goes on:
            // only entries in the list count towards its limit.
            if (!Append(listHead, part, slot)) --count;
        }
        return 0;
    });
}

uint32_t ForceLodHash(char* text, uint32_t seed) {
    const CarProfile* profile = ProfileForNameHash(seed);
    const PluginSettings* settings = GlobalSettings();
    if (text && LevelOfDetailForced(profile, settings)) {
        const size_t length = std::strlen(text);
        if (length > 0) text[length - 1] = 'A';
    }
    return HostStringHashSeeded(text, seed);
}

void InstallSlotPartListHook() {
    if (GlobalSettings() == nullptr) return;
    WriteCall(TranslateHostAddress(kPartListSite), CodeAddress(&BuildSlotPartList));
}

void InstallLodHook() {
    if (GlobalSettings() == nullptr) return;
    InstallRegisterHook(kLodSite, &ForceLodHandler, kLodResume);
}

}  // namespace morvane
