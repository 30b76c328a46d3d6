#pragma once
// The feature installers, in the order start-up calls them. Each reads its switches from
// the global settings and writes its own patches; no two patch the same host site.

namespace morvane {

void InstallExhaustEffects();
void InstallKitPartNames();
void InstallCustomizationMenus();
void InstallLodHook();
void InstallTextures();
void InstallLightPatches();
void InstallWheelGeometry();
void InstallPartSlotFixes();
void InstallNeon();

}  // namespace morvane
