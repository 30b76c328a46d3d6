#pragma once
// Neon underglow in place of the car shadow: the shadow's texture and colour come from
// the neon part (slot 71), whose "PULSE" makes the colour's brightness swing between 0.3
// and 1.0, a state kept per car in its render record.
#include <cstdint>

namespace morvane {

// Gives a car (its render record) its pulse: the last stepped car's in mode 3, else a
// random one.
void InitNeonPulse(uint8_t* record);
// The shadow texture's name hash: the neon part's texture, else the plain car shadow.
uint32_t ShadowTexture(uint8_t* record);
// The game's colour word with the neon colour added; steps the steering animation first.
uint32_t NeonColor(uint8_t* record, uint32_t hostWord);

// Writes the neon sites when "Neon" is on.
void InstallNeon();

}  // namespace morvane
