#include "config/Settings.h"

#include "config/IniFile.h"
#include "host/Host.h"

namespace morvane {

namespace {
const PluginSettings* settingsRecord = nullptr;
}

const PluginSettings* GlobalSettings() { return settingsRecord; }

void LoadGlobalSettings(const std::string& fileName) {
    auto* record = new PluginSettings;
    settingsRecord = record;
    const IniFile file(fileName);
    ReadCarProfile(file, *record);
    record->exhaustFx = file.ReadBool("GENERAL", "ExhaustFX");
    record->fixWheelMirror = file.ReadBool("GENERAL", "FixWheelMirror");
    record->allowStockRimsPaint = file.ReadBool("GENERAL", "AllowStockRimsPaint");
    record->fixFrontRearDecals = file.ReadBool("GENERAL", "FixFrontRearDecals");
    record->allVinylsMirrorable = file.ReadBool("GENERAL", "AllVinylsMirrorable");
    record->frontSteerAngle = static_cast<float>(file.ReadInt("GENERAL", "FrontSteerAngle", 0));
    *host::HostSteeringAngle = record->frontSteerAngle;
    record->neon = file.ReadBool("MODS", "Neon");
    record->tires = file.ReadBool("MODS", "Tires");
    record->licensePlate = file.ReadBool("MODS", "LicensePlate");
    record->camber = file.ReadBool("MODS", "Camber");
    record->trackWidth = file.ReadBool("MODS", "TrackWidth");
    record->tireWidth = file.ReadBool("MODS", "TireWidth");
}

}  // namespace morvane
