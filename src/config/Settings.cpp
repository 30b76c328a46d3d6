#include "config/Settings.h"

#include "config/IniFile.h"
#include "config/ConfigHost.h"

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
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        record->*entry.field = file.ReadBool(entry.section, entry.key);
    }
    record->frontSteerAngle = static_cast<float>(file.ReadInt(kGeneralSection, kFrontSteerAngleKey, 0));
    record->log = LogWanted(file.ReadInt(kGeneralSection, kLogKey, 1));
    // Written whatever the value, also when the key is missing.
    configHost.setSteeringAngle(record->frontSteerAngle);
}

}  // namespace morvane
