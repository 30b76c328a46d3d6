// A slot's part list, filtered by the parts' attributes: the game's call that fills the
// list goes to BuildSlotPartList, which walks the car's catalogue for the slot and
// appends the parts that pass the filters.
#include "parts/PartLists.h"

#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

// Slots whose parts are listed only when their model is loaded.
bool ModelTestedSlot(int32_t slot) {
    for (const int32_t tested : {slot::kHood, slot::kBody, slot::kFrontWheel, slot::kFrontBumperBadging,
                                 slot::kRearBumperBadging, slot::kFrontBumper, slot::kRearBumper, slot::kSkirt,
                                 slot::kRoofScoop, slot::kSpoiler, slot::kLeftHeadlight, slot::kLeftBrakeLight,
                                 slot::kLeftSideMirror}) {
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
    if ((slot == slot::kFrontBrake || slot == slot::kFrontRotor) &&
        HostPartFindAttribute(part, names.maxLod, 0) == nullptr)
        return false;
    if (slot == slot::kExhaust && HostPartGetAttribute(part, names.center, 0) == 1) return false;
    if (slot == slot::kFrontWheel && HostPartGetAttribute(part, names.innerRadius, 0) != innerRadius) return false;
    if (HostPartFindAttribute(part, names.morphTargets, 0) != nullptr) return false;
    return (HostPartGetAttribute(part, names.carbonFibre, 0) == 1) == carbon;
}

// Appends an entry for the part at the list's end. False when the game had no memory.
bool Append(void* head, Part* part, int32_t slot) {
    auto* entry = static_cast<PartListEntry*>(HostAlloc(sizeof(PartListEntry)));
    if (entry == nullptr) return false;
    void** headLinks = static_cast<void**>(head);
    auto** last = static_cast<void**>(headLinks[1]);
    entry->virtualTable = part_list::kEntryVirtualTable;
    entry->next = head;
    entry->previous = last;
    entry->value0C = part_list::kEntryValue0C;
    entry->part = part;
    entry->value14 = part_list::kEntryValue14;
    entry->slot = slot;
    last[0] = &entry->next;
    headLinks[1] = &entry->next;
    return true;
}

constexpr Site kSites[] = {
    CallTo("call that lists a slot's parts", 0x85FA37, &CodeOf<&BuildSlotPartList>),
};

}  // namespace

uint32_t __cdecl BuildSlotPartList(int32_t slot, void* listHead, uint8_t carbon, uint32_t, int32_t innerRadius) {
    return Guarded(GuardPlace(&BuildSlotPartList), 0u, [&]() -> uint32_t {
        const int32_t* current = *HostCurrentCarTypePtr;
        if (listHead == nullptr || current == nullptr) return 0;
        const int32_t carType = *current;
        const AttributeHashes names;
        uint32_t count = 0;
        Part* part = nullptr;
        while ((part = HostFindNextCarPart(HostCarPartDatabase.get(), 0, carType, slot, 0, part, -1)) != nullptr) {
            if (!Listed(part, slot, carbon != 0, innerRadius, names)) continue;
            if (++count > part_list::kLimit) return part_list::kLimit + 1;
            // Without memory for its entry the part is left out and the walk goes on:
            // only entries in the list count towards its limit.
            if (!Append(listHead, part, slot)) --count;
        }
        return 0;
    });
}

void InstallPartLists() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
