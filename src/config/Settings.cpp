#include "config/Settings.h"

#include <cstdio>

#include "config/IniFile.h"
#include "config/ConfigHost.h"
#include "config/Configuration.h"

namespace morvane {

namespace {

const char* OnOff(bool on) { return on ? "on" : "off"; }

constexpr GlobalOnlyKey kGlobalOnlyKeys[] = {
    {"FrontSteerAngle", KeyType::Angle,
     [](const IniReader& file, PluginSettings& record) {
         record.frontSteerAngle = static_cast<float>(file.ReadInt(kGeneralSection, "FrontSteerAngle", 0));
     },
     [](const PluginSettings& record) {
         char text[32];
         std::snprintf(text, sizeof text, "%g", static_cast<double>(record.frontSteerAngle));
         return std::string(text);
     }},
    {kLogKey, KeyType::OnUnlessZero,
     [](const IniReader& file, PluginSettings& record) {
         record.log = LogWanted(file.ReadInt(kGeneralSection, kLogKey, 1));
     },
     [](const PluginSettings& record) { return std::string(OnOff(record.log)); }},
    {"LiveProfiles", KeyType::Switch,
     [](const IniReader& file, PluginSettings& record) {
         record.liveProfiles = file.ReadBool(kGeneralSection, "LiveProfiles");
     },
     [](const PluginSettings& record) { return std::string(OnOff(record.liveProfiles)); }},
};

}  // namespace

std::span<const GlobalOnlyKey> GlobalOnlyKeys() { return kGlobalOnlyKeys; }

const PluginSettings* GlobalSettings() { return CurrentConfiguration().global; }

void ReadGlobalSettings(const IniReader& file, PluginSettings& record) {
    ReadCarProfile(file, record);
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        record.*entry.field = file.ReadBool(entry.section, entry.key);
    }
    for (const GlobalOnlyKey& entry : kGlobalOnlyKeys) entry.read(file, record);
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
