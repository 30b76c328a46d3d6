// Installers of the visual effects hooks. Each writes its host patches at start-up.
#include "startup/Installers.h"

namespace morvane {

// Exhaust effects at markers: no site patched yet.
void InstallExhaustEffects() {}
// Tire and licence-plate textures, wheel mirror fix: no site patched yet.
void InstallTextures() {}
// Light shaders and brake-light textures: no site patched yet.
void InstallLightPatches() {}
// Camber, track width, tire width: no site patched yet.
void InstallWheelGeometry() {}
// Neon underglow in place of the car shadow: no site patched yet.
void InstallNeon() {}

}  // namespace morvane
