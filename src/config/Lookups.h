#pragma once
// What a car gets from the configuration in force: the values of its own profile, else
// those of the global settings record. A hook that asks more than once takes the
// configuration once instead (CurrentConfiguration) and asks it directly.
#include <cstdint>

#include "config/Configuration.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace morvane {

// Hooks ask these for every car drawn: inline.
inline const CarProfile* Configuration::ProfileInForce(int32_t carType) const {
    const CarProfile* profile = profiles->FindByCarType(carType);
    return profile ? profile : global ? &global->perCar : nullptr;
}
inline const CarProfile* Configuration::ProfileInForceForNameHash(uint32_t hash) const {
    const CarProfile* profile = profiles->FindByNameHash(hash);
    return profile ? profile : global ? &global->perCar : nullptr;
}

inline const CarProfile* ProfileInForce(int32_t carType) {
    return CurrentConfiguration().ProfileInForce(carType);
}
inline const CarProfile* ProfileInForceForNameHash(uint32_t hash) {
    return CurrentConfiguration().ProfileInForceForNameHash(hash);
}
inline int32_t SlotEnabled(int32_t carType, int32_t slot) { return CurrentConfiguration().SlotEnabled(carType, slot); }
inline bool SlotOn(int32_t carType, int32_t slot) { return CurrentConfiguration().SlotOn(carType, slot); }
inline uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate) {
    return CurrentConfiguration().SlotHeader(carType, slot, alternate);
}
inline const char* SlotCamera(int32_t carType, int32_t slot) { return CurrentConfiguration().SlotCamera(carType, slot); }

}  // namespace morvane
