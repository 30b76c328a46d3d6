#include "config/Settings.h"

#include "config/IniFile.h"
#include "config/ConfigHost.h"
#include "config/Configuration.h"

namespace morvane {

const PluginSettings* GlobalSettings() { return CurrentConfiguration().global; }

void ReadGlobalSettings(const IniReader& file, PluginSettings& record) {
    ReadCarProfile(file, record);
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        record.*entry.field = file.ReadBool(entry.section, entry.key);
    }
    record.frontSteerAngle = static_cast<float>(file.ReadInt(kGeneralSection, kFrontSteerAngleKey, 0));
    record.log = LogWanted(file.ReadInt(kGeneralSection, kLogKey, 1));
    record.liveProfiles = file.ReadBool(kGeneralSection, kLiveProfilesKey);
}

void LoadGlobalSettings(const std::string& fileName) {
    auto* record = new PluginSettings;
    StartupConfiguration().global = record;
    PublishConfiguration(&StartupConfiguration());
    ReadGlobalSettings(IniFile(fileName), *record);
    // Written whatever the value, also when the key is missing.
    configHost.setSteeringAngle(record->frontSteerAngle);
}

}  // namespace morvane
