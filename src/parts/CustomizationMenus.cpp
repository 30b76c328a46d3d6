// Extra customization categories, slot lists, titles, cameras and blocked slots.
#include "parts/PartAttributes.h"
#include "startup/Installers.h"

namespace morvane {

void InstallCustomizationMenus() {
    // The part-list site comes last.
    InstallSlotPartListHook();
}

}  // namespace morvane
