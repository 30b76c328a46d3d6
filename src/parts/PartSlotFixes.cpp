// Decal upgrade groups, stock rim paint and vinyl mirroring.
#include "parts/PartSlotFixes.h"

#include <cstdint>

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

constexpr uint32_t kDecalGroupSite = 0x6B7887;
// The stock-rim answer and the vinyl answer go to the entry of the same host routine.
constexpr uint32_t kStockRimsPaintSite = 0x83F749;
constexpr uint32_t kStockRimsSecondSite = 0x7E5FB2;
constexpr uint32_t kVinylMirrorSite = 0x83F749;
constexpr uint32_t kShortJumpSites[] = {0x7E0472, 0x7E0216};

constexpr int32_t kDecalSlot = 100;
constexpr uint8_t kDecalGroup = 0x60;
constexpr uint8_t kFrontDecal = 0x20;
constexpr uint8_t kRearDecal = 0x21;
constexpr uint8_t kFrontDecalGroup = 0x68;
constexpr uint8_t kRearDecalGroup = 0x69;

// Entered by a jump at the site; answers as the near return the host would have made.
void DecalGroupHandler(RegisterRecord& r) {
    Guarded([] { FixDecalUpgradeGroups(); });
    r.resume = r.Stack(0);
    r.esp += 4;
}

}  // namespace

void FixDecalUpgradeGroups() {
    const uint32_t groupName = HostStringHash("PARTID_UPGRADE_GROUP");
    AttributeRecord* front = nullptr;
    AttributeRecord* rear = nullptr;
    Part* part = nullptr;
    while ((!front || !rear) &&
           (part = HostFindNextCarPart(HostCarPartDatabase.get(), 0, 0, kDecalSlot, 0, part, -1)) != nullptr) {
        AttributeRecord* group = HostPartFindAttribute(part, groupName, 0);
        if (group == nullptr || group->value[1] != kDecalGroup) continue;
        if (group->value[0] == kFrontDecal) front = group;
        if (group->value[0] == kRearDecal) rear = group;
    }
    if (front) {
        front->value[0] = 0;
        front->value[1] = kFrontDecalGroup;
    }
    if (rear) {
        rear->value[0] = 0;
        rear->value[1] = kRearDecalGroup;
    }
    HostUpgradeGroupTable.get()[kDecalSlot] = kFrontDecalGroup;
    HostUpgradeGroupTable.get()[kDecalSlot + 1] = kRearDecalGroup;
}

void InstallPartSlotFixes() {
    const PluginSettings* settings = GlobalSettings();
    if (settings == nullptr) return;
    if (settings->fixFrontRearDecals) {
        // The resume address is the return address the handler finds on the stack.
        InstallRegisterHook(kDecalGroupSite, &DecalGroupHandler, kDecalGroupSite + 5);
    }
    if (settings->allowStockRimsPaint) {
        static constexpr uint8_t kAnswerZero[] = {0x32, 0xC0, 0xC3};  // xor al, al; ret
        WriteNops(TranslateHostAddress(kStockRimsPaintSite), 6);
        WriteHostBytes(TranslateHostAddress(kStockRimsPaintSite), kAnswerZero, sizeof kAnswerZero);
        WriteNops(TranslateHostAddress(kStockRimsSecondSite), 2);
    }
    // Both switches name the same routine with opposite answers: stock rim paint keeps it.
    if (VinylBytesWritten(*settings)) {
        static constexpr uint8_t kAnswerOne[] = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 1; ret
        WriteHostBytes(TranslateHostAddress(kVinylMirrorSite), kAnswerOne, sizeof kAnswerOne);
    }
    for (const uint32_t site : kShortJumpSites) WriteHost8(TranslateHostAddress(site), 0xEB);
}

}  // namespace morvane
