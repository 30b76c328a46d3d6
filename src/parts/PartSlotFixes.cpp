// Decal upgrade groups, stock rim paint and vinyl mirroring.
#include "parts/PartSlotFixes.h"

#include <cstdint>

#include "config/Rules.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

// Entered by a jump at the site; answers as the near return the game would have made.
void DecalGroupHandler(RegisterRecord& r) {
    Guarded(GuardPlace(r), [] { FixDecalUpgradeGroups(); });
    r.resume = r.Stack(stack::decal_groups::kReturn);
    r.esp += 4;
}

constexpr uint32_t kDecalGroupSite = 0x6B7887;
// The stock-rim answer and the vinyl answer go to the entry of the same game routine:
// the rule beside the vinyl row decides which is written.
constexpr uint32_t kRimsAndVinylsRoutine = 0x83F749;
constexpr uint8_t kAnswerZero[] = {0x32, 0xC0,         // xor al, al
                                   0xC3,               // ret
                                   0x90, 0x90, 0x90};  // nop x3: the rest of the six bytes replaced
constexpr uint8_t kAnswerOne[] = {0xB8, 0x01, 0x00, 0x00, 0x00,  // mov eax, 1
                                  0xC3};                         // ret
constexpr uint8_t kShortJump[] = {0xEB};                         // jmp rel8 (was a conditional jump)

constexpr Site kSites[] = {
    // Replaces the routine's own return: the handler returns to the address on the stack.
    Hook("upgrade groups of the decal slots", kDecalGroupSite, &DecalGroupHandler, kDecalGroupSite + 5, {},
         On<&PluginSettings::fixFrontRearDecals>()),
    Bytes("stock rim paint answer", kRimsAndVinylsRoutine, kAnswerZero, On<&PluginSettings::allowStockRimsPaint>()),
    Bytes("stock rim paint check", 0x7E5FB2, kNops<2>, On<&PluginSettings::allowStockRimsPaint>()),
    Bytes("vinyl mirroring answer", kRimsAndVinylsRoutine, kAnswerOne,
          Rule(&VinylBytesWritten, "AllVinylsMirrorable", &VinylBytesLeftOut)),
    // Two conditional jumps of the game's part-slot code, always taken from start-up on (the
    // displacement stays). What the game tests there is its own: no hook relies on it.
    Bytes("a conditional jump", 0x7E0472, kShortJump),
    Bytes("a conditional jump (second place)", 0x7E0216, kShortJump),
};

}  // namespace

void FixDecalUpgradeGroups() {
    const uint32_t groupName = HostStringHash("PARTID_UPGRADE_GROUP");
    AttributeRecord* front = nullptr;
    AttributeRecord* rear = nullptr;
    Part* part = nullptr;
    while ((!front || !rear) &&
           (part = HostFindNextCarPart(HostCarPartDatabase.get(), 0, 0, slot::kFrontDecal, 0, part, -1)) != nullptr) {
        AttributeRecord* group = HostPartFindAttribute(part, groupName, 0);
        if (group == nullptr || group->value[1] != upgrade_group::kDecals) continue;
        if (group->value[0] == upgrade_group::kFrontDecalLow) front = group;
        if (group->value[0] == upgrade_group::kRearDecalLow) rear = group;
    }
    if (front) {
        front->value[0] = 0;
        front->value[1] = upgrade_group::kFrontDecals;
    }
    if (rear) {
        rear->value[0] = 0;
        rear->value[1] = upgrade_group::kRearDecals;
    }
    HostUpgradeGroupTable.get()[slot::kFrontDecal] = upgrade_group::kFrontDecals;
    HostUpgradeGroupTable.get()[slot::kRearDecal] = upgrade_group::kRearDecals;
}

void InstallPartSlotFixes() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
