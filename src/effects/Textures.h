#pragma once
// Tire and licence-plate textures from fitted parts.
#include <cstdint>

namespace morvane {

// Writes the tire ("Tires") and plate ("LicensePlate") texture replacements into a car's
// render record, as the game finishes preparing it for drawing.
void ApplyTireAndPlateTextures(uint8_t* record);

// Writes the end-of-preparation hook.
void InstallTextures();

}  // namespace morvane
