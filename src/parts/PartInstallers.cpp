// Installers of the part catalogue hooks. Each writes its host patches at start-up.
#include "startup/Installers.h"

namespace morvane {

// Kit-numbered dependent parts and the pop-up headlight answer: no site patched yet.
void InstallKitPartNames() {}
// Extra customization categories, slot lists and the part-list hook: no site patched yet.
void InstallCustomizationMenus() {}
// Forced level of detail: no site patched yet.
void InstallLodHook() {}
// Decal groups, stock rim paint, vinyl mirroring: no site patched yet.
void InstallPartSlotFixes() {}

}  // namespace morvane
