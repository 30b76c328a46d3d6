// Decal upgrade groups, stock rim paint and vinyl mirroring.
#include "startup/Installers.h"

namespace morvane {

void InstallPartSlotFixes() {}

}  // namespace morvane
