// Part lists filtered by part attributes, and the forced level of detail.
#include "parts/PartAttributes.h"
#include "startup/Installers.h"

namespace morvane {

void InstallSlotPartListHook() {}

void InstallLodHook() {}

}  // namespace morvane
