#pragma once
// Light shaders, light states and textures, and the brake light's "_ONF" texture.
#include <cstdint>

#include "host/Records.h"

namespace morvane {

// A car's light state (render record): 1 when the game forces the lights on, or when its
// light texture exists in game mode 3; else 0.
uint32_t LightStateFlag(const uint8_t* record);
// Puts the replacement brake-light and headlight shaders the car's profile asks for into
// the object that carries its light shaders.
void ApplyLightShaders(const host::RideRecord* ride, void* object);
// Adds the brake light's "_ONF" texture to a car's texture list.
void AddOnfTexture(uint8_t* list, host::RideRecord* ride);

// Writes the six light sites, whatever the settings: the shader replacement follows the
// car's profile each time the game runs the patched code.
void InstallLightShaders();

}  // namespace morvane
