#pragma once
// What a car gets: the values of its own profile, else those of the global settings
// record. These sit above both the profiles and the settings; the hooks ask here.
#include <cstdint>

#include "config/Profiles.h"

namespace morvane {

// The car's own profile, else the global settings record (null before it is loaded).
const CarProfile* ProfileForCarType(int32_t carType);
const CarProfile* ProfileForNameHash(uint32_t hash);

// Part-slot values for a car, each from its own entry where that sets it, else from the
// global table.
int32_t SlotEnabled(int32_t carType, int32_t slot);
// The slot is switched on for the car: its Enabled value is 1.
inline bool SlotOn(int32_t carType, int32_t slot) { return SlotEnabled(carType, slot) == 1; }
uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate);
const char* SlotCamera(int32_t carType, int32_t slot);  // null: none

}  // namespace morvane
