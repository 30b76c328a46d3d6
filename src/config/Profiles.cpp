#include "config/Profiles.h"

#include <chrono>
#include <utility>

#include "config/ConfigHost.h"
#include "config/Files.h"

namespace morvane {

ProfileSet detail::startupProfiles;

namespace {

using detail::startupProfiles;

// Each start-up step puts the configuration start-up builds in force.
template <typename Step>
decltype(auto) OnStartupSet(Step&& step) {
    PublishConfiguration(&StartupConfiguration());
    return step(startupProfiles);
}

// A random pair for this process: when it started and where its stack and code lie.
std::pair<uint64_t, uint64_t> ProcessKey() {
    uint64_t state = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    state ^= static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) << 7;
    state ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&state)) << 32;
    state ^= reinterpret_cast<uintptr_t>(&ProcessKey);
    auto next = [&state] {  // SplitMix64
        uint64_t z = state += 0x9E3779B97F4A7C15u;
        z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9u;
        z = (z ^ z >> 27) * 0x94D049BB133111EBu;
        return z ^ z >> 31;
    };
    const uint64_t first = next();
    return {first, next()};
}

void TellLeftOut(const std::string& where, const std::string& what) {
    if (configHost.leftOut != nullptr) configHost.leftOut(where, what);
}

// A name the listing gave that is a file name of the folder: one that would lead
// elsewhere ("..\\x", "C:x") is never made a path.
bool NameInFolder(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string::npos;
}

// This process's key, taken once.
const std::pair<uint64_t, uint64_t>& Key() {
    static const std::pair<uint64_t, uint64_t> key = ProcessKey();
    return key;
}

}  // namespace

IndexHash::IndexHash() : multiplier(Key().first | 1), addend(Key().second) {}

const CarProfile& ProfileSet::Add(std::unique_ptr<CarProfile> profile) {
    profile->nameHash = configHost.stringHash(profile->name.c_str());
    const CarProfile& added = *profiles_.emplace_back(std::move(profile));
    byName_.Add(hash_(added.name), &added, [&added](const CarProfile& p) { return p.name == added.name; });
    byHash_.Add(hash_(added.nameHash), &added, [&added](const CarProfile& p) { return p.nameHash == added.nameHash; });
    return added;
}

void ProfileSet::AddDirectory(const std::string& directory) {
    // The directory is listed where its entries are read from: beside the plug-in, not in
    // the working directory, which a loader or a shortcut may have set elsewhere. Names
    // come in UTF-8, whatever the language; one with no UTF-8 form is left out. A folder
    // inside it is not a profile: it is neither read nor counted.
    const std::string folder = ResolveIniPath(configHost.modulePath(), directory);
    std::vector<std::string> names = ListFiles(folder, kMaxProfiles + 1);
    if (names.size() > kMaxProfiles) {
        TellLeftOut(folder, "more than " + std::to_string(kMaxProfiles) + " entries: the first " +
                                std::to_string(kMaxProfiles) + " in listing order are read, from " + names.back() +
                                " on they are left out");
        names.pop_back();
    }
    size_t text = 0, unread = 0;
    std::string firstUnread;
    for (const std::string& name : names) {
        if (!NameInFolder(name)) {
            TellLeftOut(folder, "the entry " + name + " is refused: its name holds \\, / or :, so it is no file of this folder");
            continue;
        }
        if (text >= kMaxProfileText) {
            if (unread++ == 0) firstUnread = name;
            continue;
        }
        const IniFile file(directory + "\\" + name);
        text += file.bytesRead;
        auto profile = std::make_unique<CarProfile>();
        profile->name = name;
        ReadCarProfile(file, *profile);
        Add(std::move(profile));
    }
    if (unread > 0) {
        TellLeftOut(folder, "its files are read up to " + std::to_string(kMaxProfileText >> 20) + " MB of text in all: " +
                                (unread == 1 ? "the entry " + firstUnread + " is left out"
                                             : std::to_string(unread) + " entries, from " + firstUnread + " on, are left out"));
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
