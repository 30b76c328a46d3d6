#pragma once
// Per-car configuration. A car's profile comes from the file of
// "MorvaneCars" named exactly as the car's base name, or is one of the built-in
// profiles; a car without one falls back to the global settings record (see
// config/Lookups.h, which answers with that fallback).
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigHost.h"
#include "config/Configuration.h"
#include "config/IniReader.h"
#include "config/SlotTable.h"

namespace morvane {

struct CarProfile {
    std::string name;
    std::vector<SlotOverride> slotOverrides;
    bool forceLodA = false;
    bool replaceHeadlightShader = false;
    bool replaceBrakelightShader = false;
    bool sunRoof = false;
    bool popUpHeadLights = false;
    uint32_t nameHash = host::kNoName;  // HostStringHash(name), taken when the profile is added

    bool operator==(const CarProfile&) const = default;
};

inline constexpr const char kGeneralSection[] = "GENERAL";

// What a per-car switch set in Morvane.ini does.
enum class InMorvaneIni : uint8_t {
    Default,         // the value of every car without a file of its own
    ForcesEveryCar,  // also turns it on for every car with a file of its own
};

// The per-car switches of "GENERAL", in reading order: on only for the value 1. A car's
// own file replaces all of them at once.
struct ProfileSwitchKey {
    const char* key;
    bool CarProfile::*field;
    InMorvaneIni inMorvaneIni;
};
inline constexpr ProfileSwitchKey kProfileSwitches[] = {
    {"ForceLodA", &CarProfile::forceLodA, InMorvaneIni::ForcesEveryCar},
    {"ReplaceHeadlightShader", &CarProfile::replaceHeadlightShader, InMorvaneIni::Default},
    {"ReplaceBrakelightShader", &CarProfile::replaceBrakelightShader, InMorvaneIni::Default},
    {"PopUpHeadLights", &CarProfile::popUpHeadLights, InMorvaneIni::Default},
};
// The entry of a per-car switch.
constexpr const ProfileSwitchKey& ProfileSwitchOf(bool CarProfile::*field) {
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        if (entry.field == field) return entry;
    }
    throw "not a per-car switch";  // a compile-time error where it is asked for a constant
}

// The cars that have a profile without a file, in the order they are added, with the one
// flag each sets; every other value of theirs is off or falls back to the global table.
struct BuiltInProfile {
    const char* name;
    bool sunRoof;
    bool popUpHeadLights;
};
inline constexpr BuiltInProfile kBuiltInProfiles[] = {
    {"BRERA", true, false},  {"240SX", false, true},   {"RX7", false, true},       {"MR2", false, true},
    {"CAMARO", false, true}, {"COROLLA", false, true}, {"CHARGER69", false, true},
};

// The folder of per-car files, beside the plug-in.
inline constexpr const char kProfileDirectory[] = "MorvaneCars";
// What of it is read, far beyond any player's folder (the game has some hundred cars, a
// car's file takes a few KB): the first entries in listing order, and their files up to
// this much text in all. The entries after are left out.
constexpr size_t kMaxProfiles = 4096;
constexpr size_t kMaxProfileText = 8 << 20;

// The hashes of the profile indices, keyed anew in each process: names made to crowd one
// bucket of an index hashed the same way in every game cannot be made for this one (and
// kMaxProfiles bounds a bucket all the same).
struct IndexHash {
    uint64_t multiplier;  // odd
    uint64_t addend;

    IndexHash();  // this process's key
    uint32_t operator()(uint32_t hash) const { return static_cast<uint32_t>((hash * multiplier + addend) >> 32); }
    uint32_t operator()(std::string_view name) const {
        uint64_t state = addend;  // FNV-1a, from the key
        for (const char c : name) state = (state ^ static_cast<uint8_t>(c)) * 0x100000001B3u;
        return (*this)(static_cast<uint32_t>(state ^ state >> 32));
    }
};

// Profiles by the hash of a key, the first profile of a key winning: open addressing with
// linear probing in a table at most a quarter full, so that most lookups meet one entry or
// none, however many cars. Integer work only: hooks look profiles up, and the standard hash
// tables' growth policy computes with floats on the x87.
class ProfileIndex {
public:
    // Adds the profile under hash, unless one that `same` takes for the same key is there.
    template <typename Same>
    void Add(uint32_t hash, const CarProfile* profile, Same same) {
        if (Find(hash, same) != nullptr) return;
        if (4 * (used_ + 1) > slots_.size()) Grow();
        Place({hash, profile});
        ++used_;
    }
    // The profile added under hash that `same` accepts; null when none.
    template <typename Same>
    const CarProfile* Find(uint32_t hash, Same same) const {
        if (slots_.empty()) return nullptr;
        for (size_t at = First(hash);; at = Next(at)) {
            const Slot& slot = slots_[at];
            if (slot.profile == nullptr) return nullptr;
            if (slot.hash == hash && same(*slot.profile)) return slot.profile;
        }
    }

private:
    struct Slot {
        uint32_t hash;
        const CarProfile* profile;  // null: free
    };
    // Where a hash's probe starts: its top bits, which a multiplicative hash mixes best.
    size_t First(uint32_t hash) const { return hash >> (32 - std::countr_zero(slots_.size())); }
    size_t Next(size_t at) const { return (at + 1) & (slots_.size() - 1); }
    void Place(Slot entry) {
        size_t at = First(entry.hash);
        while (slots_[at].profile != nullptr) at = Next(at);
        slots_[at] = entry;
    }
    void Grow() {
        std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
        old.swap(slots_);
        for (const Slot& entry : old) {
            if (entry.profile != nullptr) Place(entry);
        }
    }

    std::vector<Slot> slots_;  // a power of two long, or empty
    size_t used_ = 0;
};

// A complete set of car profiles: it owns them (each keeps its address for as long as the
// set lives, so a hook may hold on to one) and indexes them by name and by name hash, the
// first profile of a name or a hash winning. Built once, then only read.
class ProfileSet {
    using Owned = std::vector<std::unique_ptr<CarProfile>>;

public:
    ProfileSet() = default;
    // Moved whole, never copied: the indices point into the profiles it owns.
    ProfileSet(ProfileSet&&) = default;
    ProfileSet& operator=(ProfileSet&&) = default;
    ProfileSet(const ProfileSet&) = delete;
    ProfileSet& operator=(const ProfileSet&) = delete;

    // Appends a profile (not null) and indexes it; its name hash is taken here.
    const CarProfile& Add(std::unique_ptr<CarProfile> profile);
    // One profile per file of the directory (a folder in it is none), in listing order,
    // within kMaxProfiles and kMaxProfileText; a name that is no file name of the
    // directory (it holds '\\', '/' or ':') is refused. What is left out is told to
    // configHost.leftOut. `directory` is resolved like an INI name: beside the plug-in
    // unless it holds a drive.
    void AddDirectory(const std::string& directory);
    // The built-in cars that have no profile of that name yet.
    void AddBuiltIns();

    size_t size() const { return profiles_.size(); }
    bool empty() const { return profiles_.empty(); }
    const CarProfile& operator[](size_t index) const { return *profiles_[index]; }

    // Iterates over the profiles in the order added.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = CarProfile;
        using difference_type = std::ptrdiff_t;
        using pointer = const CarProfile*;
        using reference = const CarProfile&;

        Iterator() = default;
        explicit Iterator(Owned::const_iterator at) : at_(at) {}
        const CarProfile& operator*() const { return **at_; }
        const CarProfile* operator->() const { return at_->get(); }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        Iterator operator++(int) { return Iterator(at_++); }
        bool operator==(const Iterator&) const = default;

    private:
        Owned::const_iterator at_;
    };
    Iterator begin() const { return Iterator(profiles_.begin()); }
    Iterator end() const { return Iterator(profiles_.end()); }

    // Null when no profile has that name (exactly, letter case counting), hash or car type.
    // Hooks ask on every car drawn: these are inline.
    const CarProfile* FindByName(std::string_view name) const {
        return byName_.Find(hash_(name), [name](const CarProfile& profile) { return profile.name == name; });
    }
    const CarProfile* FindByName(const char* name) const { return name ? FindByName(std::string_view(name)) : nullptr; }
    const CarProfile* FindByNameHash(uint32_t hash) const {
        return byHash_.Find(hash_(hash), [hash](const CarProfile& profile) { return profile.nameHash == hash; });
    }
    const CarProfile* FindByCarType(int32_t carType) const { return FindByName(configHost.carTypeName(carType)); }

private:
    IndexHash hash_;
    Owned profiles_;
    // Hooks look profiles up on every car drawn. The indices keep the keyed hash of each
    // profile's name (and of its name hash) beside it: a lookup takes the hash of its key
    // once, and compares a name only where the hashes agree.
    ProfileIndex byName_;
    ProfileIndex byHash_;
};

namespace detail {
// The set start-up builds, in the configuration start-up builds.
extern ProfileSet startupProfiles;
}  // namespace detail

// The profiles in force. Every reader goes through here.
inline const ProfileSet& CarProfiles() { return *CurrentConfiguration().profiles; }

// The start-up steps, on the set start-up builds, each putting the start-up configuration
// in force, in this order.
// One profile per entry of the directory (see ProfileSet::AddDirectory).
void LoadCarProfiles(const std::string& directory = kProfileDirectory);
// The built-in cars that got no profile from the directory.
void AddBuiltInProfiles();
// Appends a profile to the start-up set and indexes it.
const CarProfile& AddCarProfile(std::unique_ptr<CarProfile> profile);
// Empties the start-up set so that it can be built again.
void ResetCarProfiles();

// Fills the profile's slot table, then its per-car switches of "GENERAL".
void ReadCarProfile(const IniReader& file, CarProfile& profile);

// The car's own profile in the profiles in force; null when it has none (ProfileInForce
// answers the global settings then).
inline const CarProfile* OwnProfileOfCarType(int32_t carType) { return CarProfiles().FindByCarType(carType); }

}  // namespace morvane
