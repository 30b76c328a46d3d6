#include "startup/Startup.h"

#include <windows.h>

#include "config/IniFile.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "startup/Installers.h"

namespace morvane {

bool LoadConfiguration() {
    const IniFile sibling("Kavra.WidescreenFix.ini");
    if (sibling.ReadInt("MISC", "CarShadowFix", 0) != 0) {
        MessageBoxA(nullptr, kShadowConflictText, kCaption, MB_ICONERROR);
        return false;
    }
    LoadGlobalSettings();
    LoadCarProfiles();
    AddBuiltInProfiles();
    return true;
}

namespace {

// Host code now jumps into this library: keep it mapped even if someone unloads it.
void PinInMemory() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&PinInMemory), &self);
}

}  // namespace

void StartPlugin() {
    if (!LoadConfiguration()) return;
    InstallExhaustEffects();
    InstallKitPartNames();
    InstallCustomizationMenus();
    InstallLodHook();
    InstallTextures();
    InstallLightPatches();
    InstallWheelGeometry();
    InstallPartSlotFixes();
    InstallNeon();
    PinInMemory();
}

}  // namespace morvane
