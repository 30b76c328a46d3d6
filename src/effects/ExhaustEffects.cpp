// Exhaust effects at the exhaust markers of the fitted parts. When the game builds a
// car's effect list, every "EXHAUST_FX" definition of an exhaust object goes to the car's
// centre marker, or onto both side markers with one copy mirrored. Two more hooks tell the
// game whether a part carries an exhaust marker, and one picks a record's pointer.
#include "effects/ExhaustEffects.h"

#include <windows.h>

#include <bit>
#include <cstring>
#include <new>

#include "config/Settings.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

// The matrix elements (row, column) a reflection across y = 0 negates: (0,1), (1,0),
// (1,2), (2,1) and the position's y.
constexpr uint8_t kMirroredElements[][2] = {{0, 1}, {1, 0}, {1, 2}, {2, 1}, {3, 1}};

// Copies of placed definitions, in the order they were made. Host effect nodes point at
// these records for as long as the host keeps its lists, so none is ever freed. Built
// before any code of the library runs; the hooks run on whichever host thread builds a
// car, so every reader and writer holds the lock.
constinit std::vector<const EffectDefinition*> PlacedEffectCache;
SRWLOCK placedEffectCacheLock = SRWLOCK_INIT;

class CacheLock {
public:
    CacheLock() { AcquireSRWLockExclusive(&placedEffectCacheLock); }
    ~CacheLock() { ReleaseSRWLockExclusive(&placedEffectCacheLock); }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
};

// Same name hash and the same sixteen floats by value (+0.0 equals -0.0, a NaN equals
// nothing); the bytes at +0x04 do not count.
bool SamePlacement(const EffectDefinition& a, const EffectDefinition& b) {
    if (a.nameHash != b.nameHash) return false;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            if (!(a.matrix[row][column] == b.matrix[row][column])) return false;
        }
    }
    return true;
}

const char* OwnerName(const void* owner) {
    if (owner == nullptr) return "";
    const auto* record = Read<const uint8_t*>(owner, effect_owner::kRecord);
    return record == nullptr ? "" : reinterpret_cast<const char*>(record + effect_owner::kRecordName);
}

// ---- Entry stubs --------------------------------------------------------------------

// The game adds one effect definition to a car's list: EBP the owner, ESI the definition,
// EBX the list head, [ESP+0x10] the count of nodes added, [ESP+0x18] the marker holder.
// Every register comes back as it was; the work shows in the counter, list and nodes.
void ExhaustEffectListHook(RegisterRecord& r) {
    Guarded(GuardPlace(r), [&] {
        AddCarEffect(At<const void>(r.ebp), At<const EffectDefinition>(r.esi), At<EffectListHead>(r.ebx),
                     &r.Stack(stack::effect_list::kNodeCount), At<const void>(r.Stack(stack::effect_list::kMarkerHolder)));
    });
}

// EBX points to a record; EAX gets its preferred pointer, or its fallback pointer when
// that is null. The game reads the flags of testing the preferred value: the processor's
// own test (re-run after the registers are restored, below) sets them.
void ExhaustPartSelectHook(RegisterRecord& r) {
    const auto* record = At<const uint8_t>(r.ebx);
    const uint32_t preferred = Read<uint32_t>(record, part_select::kPreferred);
    r.eax = preferred != 0 ? preferred : Read<uint32_t>(record, part_select::kFallback);
}

// ECX points to a car part; the answer is the zero flag alone: clear when the part counts
// as carrying an exhaust marker, set when not.
void ExhaustMarkerHook(RegisterRecord& r) {
    const bool uses = Guarded(GuardPlace(r), false, [&] { return PartUsesExhaustMarker(At<Part>(r.ecx)); });
    r.SetZeroFlag(!uses);
}

constexpr uint8_t kLoadOne[] = {0xB8, 0x01, 0x00, 0x00, 0x00};  // mov eax, 1
// Re-run after the registers are restored.
constexpr uint8_t kTestPreferred[] = {0xF7, 0x83, 0x7C, 0x01, 0x00, 0x00,  // test dword ptr [ebx+0x17C],
                                      0xFF, 0xFF, 0xFF, 0xFF};             //      0xFFFFFFFF
static_assert(part_select::kPreferred == 0x17C);
constexpr Gate kExhaustFx = On<&PluginSettings::exhaustFx>();

constexpr Site kSites[] = {
    Bytes("count of a car's effects", 0x7CC6BD, kLoadOne, kExhaustFx),
    // Replaces the game's own adding of one definition (58 bytes, never run again): the hook
    // adds none, one or two nodes placed at the exhaust markers.
    FloatHook("adding an effect to a car's effect list", 0x7BEBFB, &ExhaustEffectListHook, 0x7BEC35, {}, kExhaustFx),
    // Replaces the game's load of the preferred pointer; the game's test of it re-runs.
    FloatHook("choosing the part that carries the exhaust", 0x7DA131, &ExhaustPartSelectHook, 0x7DA137, kTestPreferred),
    // Each replaces the game's 7-byte test of the part (never run again): the zero flag
    // answers whether the part uses the exhaust markers.
    FloatHook("exhaust marker test", 0x7DF2EE, &ExhaustMarkerHook, 0x7DF2F5),
    FloatHook("exhaust marker test (second place)", 0x7DEFC8, &ExhaustMarkerHook, 0x7DEFCF),
};

}  // namespace

// ---- Routines -------------------------------------------------------------------------

void AddCarEffect(const void* owner, const EffectDefinition* definition, EffectListHead* head, uint32_t* counter,
                  const void* markerHolder) {
    if (definition == nullptr || head == nullptr || counter == nullptr) return;
    if (definition->nameHash != HostStringHash("EXHAUST_FX")) {
        AppendEffectNode(definition, head, counter, nullptr, false);
        return;
    }
    const char* name = OwnerName(owner);
    const void* centre = markerHolder ? Read<const void*>(markerHolder, marker_holder::kCentre) : nullptr;
    const void* mirrored = markerHolder ? Read<const void*>(markerHolder, marker_holder::kMirrored) : nullptr;
    const void* unmirrored = markerHolder ? Read<const void*>(markerHolder, marker_holder::kUnmirrored) : nullptr;

    if (centre == nullptr && mirrored == nullptr && unmirrored == nullptr) {
        AppendEffectNode(definition, head, counter, nullptr, false);
        return;
    }
    if (std::strstr(name, "EXHAUST") == nullptr) return;  // not an exhaust object: dropped
    if (std::strstr(name, "CENTER") != nullptr) {
        AppendEffectNode(definition, head, counter, centre, false);
        return;
    }
    if (unmirrored != nullptr) AppendEffectNode(definition, head, counter, unmirrored, false);
    if (mirrored != nullptr) AppendEffectNode(definition, head, counter, mirrored, true);
}

void AppendEffectNode(const EffectDefinition* definition, EffectListHead* head, uint32_t* counter, const void* marker,
                      bool mirrored) {
    const EffectDefinition* placed = marker ? PlaceEffectAtMarker(marker, definition, mirrored) : definition;
    if (placed == nullptr) return;
    // The host counts the nodes it finds in the list: count only a node that is linked.
    auto* node = HostAllocEffectNode(*HostEffectNodePool);
    if (node == nullptr) return;
    *counter += 1;

    node->definition = placed;
    node->position[0] = placed->matrix[3][0];
    node->position[1] = placed->matrix[3][1];
    node->position[2] = placed->matrix[3][2];

    auto* last = static_cast<EffectNode*>(head->last);
    node->next = head;
    head->last = node;
    last->next = node;  // an empty list's last node is the head, whose first field is +0x00 too
}

const EffectDefinition* PlaceEffectAtMarker(const void* marker, const EffectDefinition* definition, bool mirrored) {
    EffectDefinition working;
    std::memcpy(&working, definition, sizeof working);
    if (mirrored) {
        // The sign bit alone flips, whatever the value (a NaN too).
        for (const auto& [row, column] : kMirroredElements) {
            float& element = working.matrix[row][column];
            element = std::bit_cast<float>(std::bit_cast<uint32_t>(element) ^ 0x80000000u);
        }
    }
    // Only the marker's position applies, not its orientation.
    float* position = working.matrix[3];
    position[0] = Read<float>(marker, marker::kPosition + 0x0) + position[0];
    position[1] = Read<float>(marker, marker::kPosition + 0x4) + position[1];
    position[2] = Read<float>(marker, marker::kPosition + 0x8) + position[2];
    position[3] = Read<float>(marker, marker::kPosition + 0xC);

    const CacheLock lock;
    for (const EffectDefinition* record : PlacedEffectCache) {
        if (SamePlacement(*record, working)) return record;
    }
    auto* record = new (std::nothrow) EffectDefinition(working);
    if (record == nullptr) return nullptr;
    try {
        PlacedEffectCache.push_back(record);
    } catch (const std::bad_alloc&) {
        delete record;  // never handed out
        return nullptr;
    }
    return record;
}

bool PartUsesExhaustMarker(Part* part) {
    if (part == nullptr) return false;
    if (!HostPartIsStock(part)) return true;
    return HostPartGetAttribute(part, HostStringHash("EXHAUST_MARKER"), 0) != 0;
}

std::vector<const EffectDefinition*> PlacedEffectRecords() {
    const CacheLock lock;
    return PlacedEffectCache;
}

void InstallExhaustEffects() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
