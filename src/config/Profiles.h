#pragma once
// Per-car configuration. A car's profile comes from the file (or sub-directory) of
// "MorvaneCars" named exactly as the car's base name, or is one of the built-in
// profiles; a car without one falls back to the global settings record.
#include <cstdint>
#include <string>
#include <vector>

#include "config/IniReader.h"
#include "config/SlotTable.h"

namespace morvane {

struct CarProfile {
    std::string name;
    std::vector<SlotOverride> slotOverrides;
    bool forceLodA = false;
    bool replaceHeadlightShader = false;
    bool replaceBrakelightShader = false;
    bool sunRoof = false;
    bool popUpHeadLights = false;
    uint32_t nameHash = 0xFFFFFFFFu;  // HostStringHash(name), taken when the profile is added

    bool operator==(const CarProfile&) const = default;
};

inline constexpr const char kGeneralSection[] = "GENERAL";

// The four per-car switches of "GENERAL", in reading order: on only for the value 1.
struct ProfileSwitchKey {
    const char* key;
    bool CarProfile::*field;
};
inline constexpr ProfileSwitchKey kProfileSwitches[] = {
    {"ForceLodA", &CarProfile::forceLodA},
    {"ReplaceHeadlightShader", &CarProfile::replaceHeadlightShader},
    {"ReplaceBrakelightShader", &CarProfile::replaceBrakelightShader},
    {"PopUpHeadLights", &CarProfile::popUpHeadLights},
};

// The cars that have a profile without a file, in the order they are added, with the one
// flag each sets; every other value of theirs is off or falls back to the global table.
struct BuiltInProfile {
    const char* name;
    bool sunRoof;
    bool popUpHeadLights;
};
inline constexpr BuiltInProfile kBuiltInProfiles[] = {
    {"BRERA", true, false},  {"240SX", false, true},   {"RX7", false, true},       {"MR2", false, true},
    {"CAMARO", false, true}, {"COROLLA", false, true}, {"CHARGER69", false, true},
};

// The folder of per-car files, beside the plug-in.
inline constexpr const char kProfileDirectory[] = "MorvaneCars";

// Every profile, in the order added. Built at start-up, constant afterwards.
extern std::vector<CarProfile*> carProfiles;

// Appends a profile and indexes it (the first profile of a name or hash wins lookups).
void AddCarProfile(CarProfile* profile);
// Start-up builds the list once; this empties it so that it can be built again.
void ResetCarProfiles();

// Fills the profile's slot table, then its four "GENERAL" switches.
void ReadCarProfile(const IniReader& file, CarProfile& profile);
// One profile per entry of the directory, in listing order. `directory` is resolved
// like an INI name: beside the plug-in unless it holds a drive.
void LoadCarProfiles(const std::string& directory = kProfileDirectory);
// The built-in cars that got no profile from the directory.
void AddBuiltInProfiles();

const CarProfile* FindProfileByCarType(int32_t carType);
const CarProfile* FindProfileByNameHash(uint32_t hash);
const CarProfile* FindProfileByName(const char* name);
// As above, else the global settings record.
const CarProfile* ProfileForCarType(int32_t carType);
const CarProfile* ProfileForNameHash(uint32_t hash);

// Part-slot values for a car, with fallback to the global table.
int32_t SlotEnabled(int32_t carType, int32_t slot);
uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate);
const char* SlotCamera(int32_t carType, int32_t slot);  // null: none

}  // namespace morvane
