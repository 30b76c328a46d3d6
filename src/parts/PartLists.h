#pragma once
// A slot's part list, filtered by the parts' attributes.
#include <cstdint>

namespace morvane {

// Called by the game (cdecl) to fill a slot's part list for the current car. Answers 0
// when the catalogue ran out, 71 when the list reached its limit of 70 entries.
uint32_t __cdecl BuildSlotPartList(int32_t slot, void* listHead, uint8_t carbon, uint32_t ignored,
                                   int32_t innerRadius);

// Writes the part-list call.
void InstallPartLists();

}  // namespace morvane
