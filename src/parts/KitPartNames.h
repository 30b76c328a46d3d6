#pragma once
// Kit-numbered companion parts and the pop-up headlight answer.
#include <cstdint>

#include "host/Host.h"

namespace morvane {

// Called when the game fits the parts that depend on the chosen ones.
void __thiscall ApplyKitParts(void* hostObject, host::RideRecord* ride, host::CustomizationRecord* record);
// Replaces the game routine that records a chosen menu entry; a null record means the
// game's global one. Answers what HostCustomizationSetSlotPart answers.
uint32_t __thiscall RecordChosenPart(const uint8_t* entry, host::CustomizationRecord* record, uint8_t flag);
// Called in place of the game's pop-up headlight query: 5 when the car has pop-up
// headlights, else 0.
uint32_t __thiscall PopUpHeadlightState(void* hostObject);

// Writes the kit part sites.
void InstallKitPartNames();

}  // namespace morvane
