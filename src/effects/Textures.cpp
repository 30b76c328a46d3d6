// Tire and licence-plate textures.
//
// The game prepares a car for drawing in a routine that ends with a plain return (ESI:
// the car's render record). The jump there runs ApplyTireAndPlateTextures with every
// register kept, then the return itself, as the game's own instruction: the game's
// caller gets control with ESP as after that return.
#include "effects/Textures.h"

#include "config/Settings.h"
#include "host/Host.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

constinit const NameHash kTireStyle01{"TIRE_STYLE01"}, kTireStyle02{"TIRE_STYLE02"},
    kTireStyle01Normal{"TIRE_STYLE01_N"}, kTireStyle02Normal{"TIRE_STYLE02_N"}, kLicensePlateName{"LICENSEPLATE"},
    kTextureName{"TEXTURE_NAME"}, kTextureNameNormal{"TEXTURE_NAME_N"}, kCopPlate{"LP_COP"};

void WriteReplacement(uint8_t* record, uint32_t offset, const NameHash& replaced, uint32_t replacement) {
    auto& entry = Field<TextureReplacement>(record, offset);
    entry.replacedHash = replaced();
    entry.replacementHash = replacement;
    entry.unused = kNoName;
}

uint32_t TextureName(Part* part, const NameHash& attribute) {
    return static_cast<uint32_t>(HostPartGetAttribute(part, attribute(), 0));
}

bool HasCopPlate(int32_t carType) {
    int32_t carClass;
    return CarTypeClass(carType, carClass) && carClass == car_type::kClassCopPlate;
}

void ApplyTireTextures(uint8_t* record, RideRecord* ride) {
    Part* tire = HostRideGetPart(ride, slot::kTires);
    if (tire == nullptr) return;
    if (const uint32_t texture = TextureName(tire, kTextureName)) {
        WriteReplacement(record, render::kTireStyle01, kTireStyle01, texture);
        WriteReplacement(record, render::kTireStyle02, kTireStyle02, texture);
    }
    if (const uint32_t normalMap = TextureName(tire, kTextureNameNormal)) {
        WriteReplacement(record, render::kTireStyle01Normal, kTireStyle01Normal, normalMap);
        WriteReplacement(record, render::kTireStyle02Normal, kTireStyle02Normal, normalMap);
    }
}

void ApplyPlateTexture(uint8_t* record, RideRecord* ride) {
    uint32_t plate = 0;
    Part* platePart = HostRideGetPart(ride, slot::kLicensePlate);
    if (HasCopPlate(ride->carType) && (platePart == nullptr || HostPartIsStock(platePart))) {
        plate = kCopPlate();
    } else if (platePart != nullptr) {
        plate = TextureName(platePart, kTextureName);
    }
    if (plate != 0) WriteReplacement(record, render::kLicensePlate, kLicensePlateName, plate);
}

// ESI: the render record; the game's return follows as the displaced instruction.
void TireAndPlateHook(RegisterRecord& r) { ApplyTireAndPlateTextures(At<uint8_t>(r.esi)); }

constexpr uint8_t kReturn[] = {0xC3};            // ret
constexpr uint32_t kPrepareEnd = 0x7D9E14;

constexpr Site kSites[] = {
    // The displaced return leaves the routine, so the entry's jump onward is never taken;
    // it is aimed past the site's jump all the same.
    Hook("end of preparing a car for drawing", kPrepareEnd, &TireAndPlateHook, kPrepareEnd + 5, kReturn),
};

}  // namespace

void ApplyTireAndPlateTextures(uint8_t* record) {
    const PluginSettings* settings = GlobalSettings();
    if (record == nullptr || settings == nullptr) return;
    RideRecord* ride = RideOfRenderRecord(record);
    if (ride == nullptr) return;
    if (settings->tires) ApplyTireTextures(record, ride);
    if (settings->licensePlate) ApplyPlateTexture(record, ride);
}

void InstallTextures() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
