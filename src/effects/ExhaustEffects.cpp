// Exhaust effects at the exhaust markers of the fitted parts. When the host builds a
// car's effect list, every "EXHAUST_FX" definition of an exhaust object goes to the car's
// centre marker, or onto both side markers with one copy mirrored. Two more hooks tell the
// host whether a part carries an exhaust marker, and one picks a record's pointer.
#include "effects/ExhaustEffects.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "config/Settings.h"
#include "patch/Guard.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

using host::EffectDefinition;
using host::EffectListHead;
using host::EffectNode;

namespace {

// Host sites and where the host goes on after each.
constexpr uint32_t kEffectCountSite = 0x7CC6BD;
constexpr uint32_t kEffectListSite = 0x7BEBFB;
constexpr uint32_t kEffectListResume = 0x7BEC35;
constexpr uint32_t kPartSelectSite = 0x7DA131;
constexpr uint32_t kPartSelectResume = 0x7DA137;
constexpr uint32_t kMarkerSiteA = 0x7DF2EE;
constexpr uint32_t kMarkerResumeA = 0x7DF2F5;
constexpr uint32_t kMarkerSiteB = 0x7DEFC8;
constexpr uint32_t kMarkerResumeB = 0x7DEFCF;

// The effect owner's +0x04 points to a record holding the owner's name at +0x18.
constexpr uint32_t kOwnerRecord = 0x04;
constexpr uint32_t kOwnerRecordName = 0x18;
// A marker record's position x, y, z, w.
constexpr uint32_t kMarkerPosition = 0x40;
// A marker holder's three marker records.
constexpr uint32_t kCentreMarker = 0x434;
constexpr uint32_t kMirroredMarker = 0x438;
constexpr uint32_t kUnmirroredMarker = 0x43C;
// Of the part-select record: the preferred pointer and the one used when it is null.
constexpr uint32_t kPreferredPointer = 0x17C;
constexpr uint32_t kFallbackPointer = 0xB0;

// The matrix elements a reflection across y = 0 negates: (0,1), (1,0), (1,2), (2,1) and
// the position's y.
constexpr uint32_t kMirroredOffsets[] = {0x14, 0x20, 0x28, 0x34, 0x44};

template <typename T>
T FieldAt(const void* record, uint32_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof value);
    return value;
}

template <typename T>
T* Pointer(uint32_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

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
    const auto* record = FieldAt<const uint8_t*>(owner, kOwnerRecord);
    return record == nullptr ? "" : reinterpret_cast<const char*>(record + kOwnerRecordName);
}

// ---- Entry stubs --------------------------------------------------------------------

// The host adds one effect definition to a car's list: EBP the owner, ESI the definition,
// EBX the list head, [ESP+0x10] the count of nodes added, [ESP+0x18] the marker holder.
// Every register comes back as it was; the work shows in the counter, list and nodes.
void ExhaustEffectListHook(RegisterRecord& r) {
    Guarded([&] {
        AddCarEffect(Pointer<const void>(r.ebp), Pointer<const EffectDefinition>(r.esi),
                     Pointer<EffectListHead>(r.ebx), &r.Stack(0x10), Pointer<const void>(r.Stack(0x18)));
    });
}

// EBX points to a record; EAX gets its +0x17C pointer, or its +0xB0 pointer when that is
// null. The host reads the flags of testing the +0x17C value: the processor's own test
// (re-run after the registers are restored, below) sets them.
void ExhaustPartSelectHook(RegisterRecord& r) {
    const uint32_t preferred = *Pointer<const uint32_t>(r.ebx + kPreferredPointer);
    r.eax = preferred != 0 ? preferred : *Pointer<const uint32_t>(r.ebx + kFallbackPointer);
}

// ECX points to a car part; the answer is the zero flag alone: clear when the part counts
// as carrying an exhaust marker, set when not.
void ExhaustMarkerHook(RegisterRecord& r) {
    const bool uses = Guarded(false, [&] { return PartUsesExhaustMarker(Pointer<host::Part>(r.ecx)); });
    r.SetZeroFlag(!uses);
}

}  // namespace

// ---- Routines -------------------------------------------------------------------------

void AddCarEffect(const void* owner, const EffectDefinition* definition, EffectListHead* head, uint32_t* counter,
                  const void* markerHolder) {
    if (definition == nullptr || head == nullptr || counter == nullptr) return;
    if (definition->nameHash != host::HostStringHash("EXHAUST_FX")) {
        AppendEffectNode(definition, head, counter, nullptr, false);
        return;
    }
    const char* name = OwnerName(owner);
    const void* centre = markerHolder ? FieldAt<const void*>(markerHolder, kCentreMarker) : nullptr;
    const void* mirrored = markerHolder ? FieldAt<const void*>(markerHolder, kMirroredMarker) : nullptr;
    const void* unmirrored = markerHolder ? FieldAt<const void*>(markerHolder, kUnmirroredMarker) : nullptr;

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
    auto* node = host::HostAllocEffectNode(*host::HostEffectNodePool);
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
        auto* bytes = reinterpret_cast<uint8_t*>(&working);
        for (uint32_t offset : kMirroredOffsets) {
            uint32_t bits;
            std::memcpy(&bits, bytes + offset, 4);
            bits ^= 0x80000000u;
            std::memcpy(bytes + offset, &bits, 4);
        }
    }
    // Only the marker's position applies, not its orientation.
    float* position = working.matrix[3];
    position[0] = FieldAt<float>(marker, kMarkerPosition + 0x0) + position[0];
    position[1] = FieldAt<float>(marker, kMarkerPosition + 0x4) + position[1];
    position[2] = FieldAt<float>(marker, kMarkerPosition + 0x8) + position[2];
    position[3] = FieldAt<float>(marker, kMarkerPosition + 0xC);

    const CacheLock lock;
    for (const EffectDefinition* record : PlacedEffectCache) {
        if (SamePlacement(*record, working)) return record;
    }
    auto* record = new (std::nothrow) EffectDefinition(working);
    if (record == nullptr) return nullptr;
    try {
        PlacedEffectCache.push_back(record);
    } catch (...) {
        delete record;  // never handed out
        return nullptr;
    }
    return record;
}

bool PartUsesExhaustMarker(host::Part* part) {
    if (part == nullptr) return false;
    if (!host::HostPartIsStock(part)) return true;
    return host::HostPartGetAttribute(part, host::HostStringHash("EXHAUST_MARKER"), 0) != 0;
}

std::vector<const EffectDefinition*> PlacedEffectRecords() {
    const CacheLock lock;
    return PlacedEffectCache;
}

void InstallExhaustEffects() {
    const PluginSettings* settings = GlobalSettings();
    if (settings == nullptr) return;
    if (settings->exhaustFx) {
        static constexpr uint8_t kLoadOne[] = {0xB8, 0x01, 0x00, 0x00, 0x00};  // mov eax, 1
        WriteHostBytes(TranslateHostAddress(kEffectCountSite), kLoadOne, sizeof kLoadOne);
        InstallRegisterHook(kEffectListSite, &ExhaustEffectListHook, TranslateHostAddress(kEffectListResume));
    }
    // Re-run after the registers are restored: test dword ptr [ebx+0x17C], 0xFFFFFFFF.
    InstallRegisterHook(kPartSelectSite, &ExhaustPartSelectHook, TranslateHostAddress(kPartSelectResume),
                        {0xF7, 0x83, 0x7C, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    InstallRegisterHook(kMarkerSiteA, &ExhaustMarkerHook, TranslateHostAddress(kMarkerResumeA));
    InstallRegisterHook(kMarkerSiteB, &ExhaustMarkerHook, TranslateHostAddress(kMarkerResumeB));
}

}  // namespace morvane
