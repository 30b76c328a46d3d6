#pragma once
// The level-of-detail letter "A" forced per car.
#include <cstdint>

namespace morvane {

// The model-name hash with the level-of-detail letter forced to "A" where the car's
// profile or the global settings ask for it. Changes the text in place.
uint32_t ForceLodHash(char* text, uint32_t seed);

// Writes the model-name hash site.
void InstallLevelOfDetail();

}  // namespace morvane
