#pragma once
// Kit-numbered companion parts and the pop-up headlight answer.
#include <cstdint>

#include "host/Host.h"

namespace morvane {

// Called at 0x85EAEC when the host fits the parts that depend on the chosen ones.
void __thiscall ApplyKitParts(void* hostObject, host::RideRecord* ride, host::CustomizationRecord* record);
// Replaces the host routine at 0x8420F0 that records a chosen menu entry; a null record
// means the host's global one. Answers what HostCustomizationSetSlotPart answers.
uint32_t __thiscall RecordChosenPart(const uint8_t* entry, host::CustomizationRecord* record, uint8_t flag);
// Called at 0x865278: 5 when the car has pop-up headlights, else 0.
uint32_t __thiscall PopUpHeadlightState(void* hostObject);

}  // namespace morvane
