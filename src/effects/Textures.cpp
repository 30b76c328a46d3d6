// Tire and licence-plate textures, and the wheel mirror fix.
//
// The host prepares a car for drawing in a routine that ends with a plain return at
// 0x7D9E14 (ESI: the car's render record). The jump there runs
// ApplyTireAndPlateTextures with every register kept, then the return itself, as the
// host's own instruction: the host caller gets control with ESP as after that return.
#include <cstdint>

#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

namespace {

constexpr uint32_t kWheelMirrorSite = 0x7E585D;
constexpr uint8_t kWheelMirrorBytes[] = {0xB0, 0x00, 0x90};  // mov al, 0; nop

constexpr uint32_t kTireAndPlateSite = 0x7D9E14;
constexpr uint8_t kReturn = 0xC3;
// The displaced return leaves the routine, so the entry's jump onward is never taken;
// it is aimed past the site's jump all the same.
constexpr uint32_t kAfterTireAndPlateJump = kTireAndPlateSite + 5;

constexpr int32_t kTireSlot = 70;
constexpr int32_t kLicensePlateSlot = 86;
constexpr uint32_t kCarTypeRecordSize = 0xD0;
constexpr uint32_t kCarTypeCopPlate = 0x94;

constinit const host::NameHash kTireStyle01{"TIRE_STYLE01"}, kTireStyle02{"TIRE_STYLE02"},
    kTireStyle01Normal{"TIRE_STYLE01_N"}, kTireStyle02Normal{"TIRE_STYLE02_N"}, kLicensePlateName{"LICENSEPLATE"},
    kTextureName{"TEXTURE_NAME"}, kTextureNameNormal{"TEXTURE_NAME_N"}, kCopPlate{"LP_COP"};

void WriteReplacement(uint8_t* record, uint32_t offset, const host::NameHash& replaced, uint32_t replacement) {
    auto* entry = reinterpret_cast<host::TextureReplacement*>(record + offset);
    entry->replacedHash = replaced();
    entry->replacementHash = replacement;
    entry->unused = host::kNoName;
}

uint32_t TextureName(host::Part* part, const host::NameHash& attribute) {
    return static_cast<uint32_t>(host::HostPartGetAttribute(part, attribute(), 0));
}

// Car types the host marks for the police plate: 1 at +0x94 of their type record.
bool HasCopPlate(int32_t carType) {
    const uint8_t* table = *host::HostCarTypeTable;
    if (table == nullptr || carType < 0) return false;
    const uint8_t* type = table + kCarTypeRecordSize * static_cast<uint32_t>(carType);
    return *reinterpret_cast<const int32_t*>(type + kCarTypeCopPlate) == 1;
}

}  // namespace

void ApplyTireAndPlateTextures(uint8_t* record) {
    const PluginSettings* settings = GlobalSettings();
    if (record == nullptr || settings == nullptr) return;
    host::RideRecord* ride = host::RideOfRenderRecord(record);
    if (ride == nullptr) return;

    if (settings->tires) {
        if (host::Part* tire = host::HostRideGetPart(ride, kTireSlot)) {
            if (const uint32_t texture = TextureName(tire, kTextureName)) {
                WriteReplacement(record, host::kRenderTireStyle01, kTireStyle01, texture);
                WriteReplacement(record, host::kRenderTireStyle02, kTireStyle02, texture);
            }
            if (const uint32_t normalMap = TextureName(tire, kTextureNameNormal)) {
                WriteReplacement(record, host::kRenderTireStyle01Normal, kTireStyle01Normal, normalMap);
                WriteReplacement(record, host::kRenderTireStyle02Normal, kTireStyle02Normal, normalMap);
            }
        }
    }

    if (settings->licensePlate) {
        uint32_t plate = 0;
        host::Part* platePart = host::HostRideGetPart(ride, kLicensePlateSlot);
        if (HasCopPlate(ride->carType) && (platePart == nullptr || host::HostPartIsStock(platePart))) {
            plate = kCopPlate();
        } else if (platePart != nullptr) {
            plate = TextureName(platePart, kTextureName);
        }
        if (plate != 0) WriteReplacement(record, host::kRenderLicensePlate, kLicensePlateName, plate);
    }
}

// ESI: the render record; the host's return follows as the displaced instruction.
void TireAndPlateHook(RegisterRecord& registers) {
    ApplyTireAndPlateTextures(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(registers.esi)));
}

void InstallTextures() {
    const PluginSettings* settings = GlobalSettings();
    if (settings == nullptr) return;
    if (settings->fixWheelMirror) {
        WriteHostBytes(TranslateHostAddress(kWheelMirrorSite), kWheelMirrorBytes, sizeof kWheelMirrorBytes);
    }
    InstallRegisterHook(kTireAndPlateSite, &TireAndPlateHook, TranslateHostAddress(kAfterTireAndPlateJump),
                        {kReturn});
}

}  // namespace morvane
