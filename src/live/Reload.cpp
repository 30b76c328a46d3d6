#include "live/Reload.h"

#include "config/Files.h"

namespace morvane {

namespace {

// The settings only Morvane.ini sets, read at start-up alone, that differ now.
std::vector<std::string> RestartOnlyChanges(const PluginSettings& startup, const PluginSettings& now,
                                            int32_t startupShadowFix) {
    std::vector<std::string> changed;
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        if (startup.*entry.field != now.*entry.field) changed.emplace_back(entry.key);
    }
    for (const GlobalOnlyKey& entry : GlobalOnlyKeys()) {
        if (entry.shown(startup) != entry.shown(now)) changed.emplace_back(entry.key);
    }
    const std::vector<SiblingFile> siblings = FindSiblingFiles();  // what `conflict` points into
    const SiblingFile* conflict = FirstConflict(siblings);
    if ((conflict != nullptr ? conflict->shadowSetting : 0) != startupShadowFix) {
        changed.push_back(std::string(kSiblingKey) + " in " + (conflict != nullptr ? conflict->path : kSiblingFile));
    }
    return changed;
}

}  // namespace

ReadAgain ReadConfigurationAgain(const std::string& folder, const PluginSettings& startup, int32_t startupShadowFix) {
    ReadAgain read;
    PluginSettings fresh;
    ReadGlobalSettings(IniFile(folder + kGlobalSettingsFile), fresh);
    // The per-car values follow the file; the global ones stay as start-up read them.
    read.global = std::make_unique<PluginSettings>(startup);
    read.global->perCar = fresh.perCar;
    read.profiles = std::make_unique<ProfileSet>();
    read.profiles->AddDirectory(folder + kProfileDirectory);
    read.profiles->AddBuiltIns();
    read.restartFor = RestartOnlyChanges(startup, fresh, startupShadowFix);
    return read;
}

}  // namespace morvane
