#include "config/Profiles.h"

#include <string_view>
#include <unordered_map>

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ConfigHost.h"

namespace morvane {

std::vector<CarProfile*> carProfiles;

namespace {

// A name with its FNV-1a hash, taken once per lookup; the index keeps the hash of each
// profile's name beside it, so a lookup costs the same whatever the number of profiles.
struct NameKey {
    std::string_view name;
    size_t hash;

    explicit NameKey(std::string_view text) : name(text), hash(2166136261u) {
        for (const char c : text) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    }
    bool operator==(const NameKey& other) const { return hash == other.hash && name == other.name; }
};
struct NameKeyHash {
    size_t operator()(const NameKey& key) const { return key.hash; }
};

// Hooks look profiles up on every car drawn. Names point into the profiles, which are
// never changed or freed.
std::unordered_map<NameKey, const CarProfile*, NameKeyHash> profilesByName;
std::unordered_map<uint32_t, const CarProfile*> profilesByHash;

const SlotOverride* CarSlotEntry(int32_t carType, int32_t slot) {
    const CarProfile* profile = FindProfileByCarType(carType);
    return profile ? FindSlotOverride(profile->slotOverrides, slot) : nullptr;
}

const SlotOverride* GlobalSlotEntry(int32_t slot) {
    const PluginSettings* settings = GlobalSettings();
    return settings ? FindSlotOverride(settings->slotOverrides, slot) : nullptr;
}

}  // namespace

void AddCarProfile(CarProfile* profile) {
    if (carProfiles.empty()) {
        // Sparse buckets: most lookups then meet one entry or none, however many cars.
        profilesByName.max_load_factor(0.25f);
        profilesByHash.max_load_factor(0.25f);
    }
    profile->nameHash = configHost.stringHash(profile->name.c_str());
    carProfiles.push_back(profile);
    profilesByName.emplace(NameKey(profile->name), profile);
    profilesByHash.emplace(profile->nameHash, profile);
}

void ResetCarProfiles() {
    carProfiles.clear();
    profilesByName.clear();
    profilesByHash.clear();
}

void ReadCarProfile(const IniReader& file, CarProfile& profile) {
    ReadSlotTable(file, profile.slotOverrides);
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        profile.*entry.field = file.ReadInt(kGeneralSection, entry.key, 0) == 1;
    }
}

void LoadCarProfiles(const std::string& directory) {
    // The directory is listed where its entries are read from: beside the plug-in, not in
    // the working directory, which a loader or a shortcut may have set elsewhere. An
    // entry whose name has no narrow form could not name a car: it is left out.
    for (const std::string& name : ListDirectory(ResolveIniPath(configHost.modulePath(), directory))) {
        const IniFile file(directory + "\\" + name);
        auto* profile = new CarProfile;
        profile->name = name;
        ReadCarProfile(file, *profile);
        AddCarProfile(profile);
    }
}

void AddBuiltInProfiles() {
    for (const BuiltInProfile& builtIn : kBuiltInProfiles) {
        if (FindProfileByName(builtIn.name) != nullptr) continue;
        auto* profile = new CarProfile;
        profile->name = builtIn.name;
        profile->sunRoof = builtIn.sunRoof;
        profile->popUpHeadLights = builtIn.popUpHeadLights;
        AddCarProfile(profile);
    }
}

const CarProfile* FindProfileByName(const char* name) {
    if (name == nullptr) return nullptr;
    const auto found = profilesByName.find(NameKey(name));
    return found == profilesByName.end() ? nullptr : found->second;
}

const CarProfile* FindProfileByCarType(int32_t carType) { return FindProfileByName(configHost.carTypeName(carType)); }

const CarProfile* FindProfileByNameHash(uint32_t hash) {
    const auto found = profilesByHash.find(hash);
    return found == profilesByHash.end() ? nullptr : found->second;
}

const CarProfile* ProfileForCarType(int32_t carType) {
    const CarProfile* profile = FindProfileByCarType(carType);
    return profile ? profile : GlobalSettings();
}

const CarProfile* ProfileForNameHash(uint32_t hash) {
    const CarProfile* profile = FindProfileByNameHash(hash);
    return profile ? profile : GlobalSettings();
}

int32_t SlotEnabled(int32_t carType, int32_t slot) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own && own->enabled != -1) return own->enabled;
    const SlotOverride* global = GlobalSlotEntry(slot);
    return global ? global->enabled : 0;
}

uint32_t SlotHeader(int32_t carType, int32_t slot, bool alternate) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own) {
        const uint32_t value = alternate ? own->headerAS : own->header;
        if (value != kNoNameHash) return value;
    }
    const SlotOverride* global = GlobalSlotEntry(slot);
    if (!global) return kNoNameHash;
    return alternate ? global->headerAS : global->header;
}

const char* SlotCamera(int32_t carType, int32_t slot) {
    const SlotOverride* own = CarSlotEntry(carType, slot);
    if (own && !own->camera.empty()) return own->camera.c_str();
    const SlotOverride* global = GlobalSlotEntry(slot);
    return (global && !global->camera.empty()) ? global->camera.c_str() : nullptr;
}

}  // namespace morvane
