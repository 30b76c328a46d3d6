#include "config/Settings.h"

#include <algorithm>

#include "config/Files.h"
#include "config/ConfigHost.h"
#include "config/Configuration.h"

namespace morvane {

std::vector<SiblingFile> FindSiblingFiles() {
    const std::string module = configHost.modulePath();
    const std::string game = configHost.gameFolder();
    // Names within Morvane's own folder stay relative to it; others are full paths.
    const bool besideGame = SameFileName(module.substr(0, module.rfind('\\') + 1), game);
    std::vector<std::string> names = {kSiblingFile}, paths = {ResolveIniPath(module, kSiblingFile)};
    for (const char* folder : kLoaderFolders) {
        const std::string name = (besideGame ? "" : game) + folder + kSiblingFile;
        const std::string path = ResolveIniPath(module, name);
        if (std::none_of(paths.begin(), paths.end(), [&](const std::string& p) { return SameFileName(p, path); })) {
            names.push_back(name);
            paths.push_back(path);
        }
    }
    std::vector<SiblingFile> found;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!PathExists(paths[i])) continue;
        const IniFile file(names[i]);
        found.push_back({file.path, SiblingShadowSetting(file)});
    }
    return found;
}

const SiblingFile* FirstConflict(const std::vector<SiblingFile>& files) {
    for (const SiblingFile& file : files) {
        if (SiblingConflicts(file.shadowSetting)) return &file;
    }
    return nullptr;
}

const PluginSettings* GlobalSettings() { return CurrentConfiguration().global; }

void ReadGlobalSettings(const IniReader& file, PluginSettings& record) {
    ReadCarProfile(file, record.perCar);
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        record.*entry.field = file.ReadBool(entry.section, entry.key);
    }
    for (const GlobalOnlyKey& entry : GlobalOnlyKeys()) entry.read(file, record);
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
