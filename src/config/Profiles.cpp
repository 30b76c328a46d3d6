#include "config/Profiles.h"

#include "config/ConfigHost.h"
#include "config/IniFile.h"

namespace morvane {

ProfileSet detail::startupProfiles;

namespace {

using detail::startupProfiles;

// Each start-up step puts the configuration start-up builds in force.
template <typename Step>
auto OnStartupSet(Step&& step) {
    PublishConfiguration(&StartupConfiguration());
    return step(startupProfiles);
}

}  // namespace

ProfileSet::ProfileSet() {
    // Sparse buckets: most lookups then meet one entry or none, however many cars.
    byName_.max_load_factor(0.25f);
    byHash_.max_load_factor(0.25f);
}

const CarProfile& ProfileSet::Add(std::unique_ptr<CarProfile> profile) {
    profile->nameHash = configHost.stringHash(profile->name.c_str());
    const CarProfile& added = *profiles_.emplace_back(std::move(profile));
    byName_.emplace(NameKey(added.name), &added);
    byHash_.emplace(added.nameHash, &added);
    return added;
}

void ProfileSet::AddDirectory(const std::string& directory) {
    // The directory is listed where its entries are read from: beside the plug-in, not in
    // the working directory, which a loader or a shortcut may have set elsewhere. Names
    // come in UTF-8, whatever the language; one with no UTF-8 form is left out.
    for (const std::string& name : ListDirectory(ResolveIniPath(configHost.modulePath(), directory))) {
        const IniFile file(directory + "\\" + name);
        auto profile = std::make_unique<CarProfile>();
        profile->name = name;
        ReadCarProfile(file, *profile);
        Add(std::move(profile));
    }
}

void ProfileSet::AddBuiltIns() {
    for (const BuiltInProfile& builtIn : kBuiltInProfiles) {
        if (FindByName(builtIn.name) != nullptr) continue;
        auto profile = std::make_unique<CarProfile>();
        profile->name = builtIn.name;
        profile->sunRoof = builtIn.sunRoof;
        profile->popUpHeadLights = builtIn.popUpHeadLights;
        Add(std::move(profile));
    }
}

void LoadCarProfiles(const std::string& directory) {
    OnStartupSet([&](ProfileSet& set) { set.AddDirectory(directory); });
}

void AddBuiltInProfiles() {
    OnStartupSet([](ProfileSet& set) { set.AddBuiltIns(); });
}

const CarProfile& AddCarProfile(std::unique_ptr<CarProfile> profile) {
    return OnStartupSet([&](ProfileSet& set) -> const CarProfile& { return set.Add(std::move(profile)); });
}

void ResetCarProfiles() {
    OnStartupSet([](ProfileSet& set) { set = ProfileSet(); });
}

void ReadCarProfile(const IniReader& file, CarProfile& profile) {
    ReadSlotTable(file, profile.slotOverrides);
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        profile.*entry.field = file.ReadBool(kGeneralSection, entry.key);
    }
}

}  // namespace morvane
