#include "startup/Startup.h"

#include <windows.h>

#include "config/IniFile.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/ExhaustEffects.h"
#include "effects/LightShaders.h"
#include "effects/Neon.h"
#include "effects/Textures.h"
#include "effects/WheelGeometry.h"
#include "parts/CustomizationMenus.h"
#include "parts/KitPartNames.h"
#include "parts/LevelOfDetail.h"
#include "parts/PartLists.h"
#include "parts/PartSlotFixes.h"
#include "patch/Guard.h"

namespace morvane {

namespace {

constexpr Installer kInstallers[] = {
    {"exhaust effects", &InstallExhaustEffects},
    {"kit part names", &InstallKitPartNames},
    {"customization menus", &InstallCustomizationMenus},
    {"part lists", &InstallPartLists},
    {"level of detail", &InstallLevelOfDetail},
    {"textures", &InstallTextures},
    {"light shaders", &InstallLightShaders},
    {"wheel geometry", &InstallWheelGeometry},
    {"part-slot fixes", &InstallPartSlotFixes},
    {"neon", &InstallNeon},
};

}  // namespace

std::span<const Installer> Installers() { return kInstallers; }

bool LoadConfiguration() {
    const IniFile sibling(kSiblingFile);
    if (SiblingShadowSetting(sibling) != 0) {
        MessageBoxA(nullptr, kShadowConflictText, kCaption, MB_ICONERROR);
        return false;
    }
    // Each step deals with what it meets; one that fails still leaves the others to run.
    Guarded([] { LoadGlobalSettings(); });
    Guarded([] { LoadCarProfiles(); });
    Guarded([] { AddBuiltInProfiles(); });
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
    // Pinned before the first jump into this library is written.
    PinInMemory();
    // One installer that fails leaves the others to write their patches.
    for (const Installer& installer : kInstallers) Guarded(installer.install);
}

}  // namespace morvane
