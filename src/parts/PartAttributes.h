#pragma once
// Part lists filtered by part attributes, and the forced level of detail.
#include <cstdint>

namespace morvane {

// Called at 0x85FA37 (cdecl) to fill a slot's part list for the current car. Answers 0
// when the catalogue ran out, 71 when the list reached its limit of 70 entries.
uint32_t __cdecl BuildSlotPartList(int32_t slot, void* listHead, uint8_t carbon, uint32_t ignored,
                                   int32_t innerRadius);
// The model-name hash with the level-of-detail letter forced to "A" where the car's
// profile or the global settings ask for it. Changes the text in place.
uint32_t ForceLodHash(char* text, uint32_t seed);

// Writes the part-list site; the customization menus installer calls it last.
void InstallSlotPartListHook();

}  // namespace morvane
