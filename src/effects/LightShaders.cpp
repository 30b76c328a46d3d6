// Light shaders, light states and textures, and the brake light's "_ONF" texture.
#include "startup/Installers.h"

namespace morvane {

void InstallLightPatches() {}

}  // namespace morvane
