// Settings, per-car profiles and the part-slot table, read from files and looked up
// through the simulated game's own routines.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <unordered_map>

#include "Sim.h"
#include "TestFolders.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "log/LogFile.h"

using namespace morvane;
using testfolders::GameFolder;

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kSteeringAngle = 0xA7B668;

class ConfigTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetCarProfiles();
    }

    // Global settings from the given file text (null: no file at all).
    const PluginSettings& Settings(const char* text) {
        GameFolder folder("settings");
        if (text) folder.Write("Morvane.ini", text);
        LoadGlobalSettings(folder.path() + "Morvane.ini");
        return *GlobalSettings();
    }

    std::vector<std::string> ProfileNames() const {
        std::vector<std::string> names;
        for (const CarProfile& p : CarProfiles()) names.push_back(p.name);
        return names;
    }
};

// ---- Part slot table ------------------------------------------------------------------

TEST_F(ConfigTest, SlotTableHasFortyOneRowsInReadingOrder) {
    const std::pair<const char*, int32_t> named[] = {
        {"PART_BODY", 23},           {"PART_HOOD", 78},           {"PART_FRONT_WHEEL", 84},
        {"PART_FRONT_BUMPER", 72},   {"PART_REAR_BUMPER", 74},    {"PART_SKIRT", 79},
        {"PART_ROOF_SCOOP", 77},     {"PART_SPOILER", 48},        {"PART_EXHAUST", 47},
        {"PART_ROOF", 76},           {"PART_LICENSE_PLATE", 86},  {"PART_DECAL_FRONT", 100},
        {"PART_DECAL_REAR", 101},    {"PART_FRONT_BUMPER_BADGING", 73}, {"PART_REAR_BUMPER_BADGING", 75},
        {"PART_LEFT_SIDE_MIRROR", 34}, {"PART_FRONT_BRAKE", 24},  {"PART_FRONT_ROTOR", 25},
        {"PART_INTERIOR", 29},       {"PART_GENERIC_VINYLS", 94}, {"PART_LEFT_HEADLIGHT", 32},
        {"PART_LEFT_BRAKELIGHT", 30}, {"PART_DRIVER", 45},        {"PART_STEERING_WHEEL", 46},
        {"PART_DOOR_LEFT", 82},
    };
    const auto& table = PartSlotTable();
    ASSERT_EQ(table.size(), 41u);
    for (size_t row = 0; row < 25; ++row) {
        EXPECT_EQ(table[row].section, named[row].first) << "row " << row;
        EXPECT_EQ(table[row].slot, named[row].second) << named[row].first;
    }
    for (int n = 0; n < 16; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "PART_ATTACHMENT%02d", n);
        EXPECT_EQ(table[25 + n].section, name);
        EXPECT_EQ(table[25 + n].slot, 56 + n);
    }
}

TEST_F(ConfigTest, SlotSectionsBecomeEntries) {
    const PluginSettings& s = Settings(
        "[PART_BODY]\nEnabled = 1\nHeader = \"BODY_TITLE\"\nCamera = CAM_BODY\n"
        "[PART_HOOD]\nEnabled = 2\nHeader = HOOD\nHeaderAS = HOOD_AS\n"
        "[PART_SKIRT]\nEnabled = yes\nCamera =\n"
        "[PART_SPOILER]\nEnabled = 0\n"
        "[PART_ATTACHMENT7]\nEnabled = 1\n"
        "[PART_ATTACHMENT07]\nEnabled = 0\nHeader = 'ATT7'\n");
    ASSERT_EQ(s.perCar.slotOverrides.size(), 41u);
    for (size_t i = 0; i < 41; ++i) EXPECT_EQ(s.perCar.slotOverrides[i].slot, PartSlotTable()[i].slot);

    const SlotOverride* body = FindSlotOverride(s.perCar.slotOverrides, 23);
    EXPECT_EQ(body->enabled, 1);
    EXPECT_EQ(body->header, sim::Hash("BODY_TITLE"));
    EXPECT_EQ(body->headerAS, body->header);  // HeaderAS absent: Header stands in
    EXPECT_EQ(body->camera, "CAM_BODY");

    const SlotOverride* hood = FindSlotOverride(s.perCar.slotOverrides, 78);
    EXPECT_EQ(hood->enabled, -1);
    EXPECT_EQ(hood->header, sim::Hash("HOOD"));
    EXPECT_EQ(hood->headerAS, sim::Hash("HOOD_AS"));

    const SlotOverride* skirt = FindSlotOverride(s.perCar.slotOverrides, 79);
    EXPECT_EQ(skirt->enabled, -1);
    EXPECT_EQ(skirt->header, kNone);
    EXPECT_EQ(skirt->headerAS, kNone);
    EXPECT_TRUE(skirt->camera.empty());

    EXPECT_EQ(FindSlotOverride(s.perCar.slotOverrides, 48)->enabled, 0);
    EXPECT_EQ(FindSlotOverride(s.perCar.slotOverrides, 63)->enabled, 0);  // only the two-digit name counts
    EXPECT_EQ(FindSlotOverride(s.perCar.slotOverrides, 63)->header, sim::Hash("ATT7"));
    EXPECT_EQ(FindSlotOverride(s.perCar.slotOverrides, 5), nullptr);
}

// ---- Global settings ------------------------------------------------------------------

TEST_F(ConfigTest, MissingOrEmptySettingsLeaveEverythingOff) {
    for (const char* text : {static_cast<const char*>(nullptr), "", "\xEF\xBB\xBF", "; nothing\n"}) {
        SCOPED_TRACE(text ? text : "(no file)");
        sim::Global<float>(kSteeringAngle) = 99.0f;
        const PluginSettings& s = Settings(text);
        EXPECT_FALSE(s.exhaustFx || s.fixWheelMirror || s.allowStockRimsPaint || s.fixFrontRearDecals ||
                     s.allVinylsMirrorable || s.tires || s.neon || s.licensePlate || s.camber || s.trackWidth ||
                     s.tireWidth || s.perCar.forceLodA || s.perCar.replaceHeadlightShader ||
                     s.perCar.replaceBrakelightShader || s.perCar.popUpHeadLights || s.perCar.sunRoof);
        EXPECT_EQ(s.frontSteerAngle, 0.0f);
        EXPECT_EQ(sim::Global<float>(kSteeringAngle), 0.0f);
        EXPECT_TRUE(s.perCar.name.empty());
        ASSERT_EQ(s.perCar.slotOverrides.size(), 41u);
        for (const SlotOverride& e : s.perCar.slotOverrides) {
            EXPECT_EQ(e.enabled, -1);
            EXPECT_EQ(e.header, kNone);
        }
    }
}

TEST_F(ConfigTest, EachSwitchComesFromItsOwnSectionAndKey) {
    // The switch tables' entries: the global switches, then the per-car ones of [GENERAL].
    struct Switch {
        const char* section;
        const char* key;
        bool PluginSettings::*field = nullptr;
        bool CarProfile::*perCar = nullptr;
        bool In(const PluginSettings& settings) const { return field ? settings.*field : settings.perCar.*perCar; }
    };
    std::vector<Switch> switches;
    for (const GlobalSwitchKey& entry : kGlobalSwitches) switches.push_back({entry.section, entry.key, entry.field});
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        switches.push_back({kGeneralSection, entry.key, nullptr, entry.field});
    }
    auto file = [](const std::string& section, const std::string& key, const std::string& value) {
        std::string text = "[";
        text.append(section).append("]\n").append(key).append(" = ").append(value).append("\n");
        return text;
    };
    for (const auto& sw : switches) {
        SCOPED_TRACE(sw.key);
        const std::string other = std::string(sw.section) == "GENERAL" ? "MODS" : "GENERAL";
        EXPECT_TRUE(sw.In(Settings(file(sw.section, sw.key, "1").c_str())));
        // Only that field turned on.
        int on = 0;
        for (const auto& any : switches) on += any.In(*GlobalSettings());
        EXPECT_EQ(on, 1);
        for (const char* off : {"true", "2", "0", "yes"}) {
            EXPECT_FALSE(sw.In(Settings(file(sw.section, sw.key, off).c_str()))) << off;
        }
        EXPECT_FALSE(sw.In(Settings(file(other, sw.key, "1").c_str()))) << "wrong section";
        EXPECT_FALSE(sw.In(Settings(file(sw.section, std::string(sw.key) + "X", "1").c_str())));
    }
}

TEST_F(ConfigTest, FrontSteerAngleIsAWholeNumberWrittenIntoTheGame) {
    const struct {
        const char* value;
        float expected;
    } cases[] = {{"35", 35.0f}, {"-10", -10.0f}, {"0x10", 16.0f}, {"22.5", 22.0f}, {"abc", 0.0f}, {"", 0.0f}};
    for (const auto& c : cases) {
        sim::Global<float>(kSteeringAngle) = 99.0f;
        const PluginSettings& s = Settings((std::string("[GENERAL]\nFrontSteerAngle = ") + c.value + "\n").c_str());
        EXPECT_EQ(s.frontSteerAngle, c.expected) << c.value;
        EXPECT_EQ(sim::Global<float>(kSteeringAngle), c.expected) << c.value;
    }
}

// ---- Profiles from the directory ------------------------------------------------------

TEST_F(ConfigTest, DirectoryEntriesBecomeProfilesThenBuiltInsFillTheGaps) {
    GameFolder folder("profiles");
    folder.Write("MorvaneCars\\BRERA", "[GENERAL]\nForceLodA = 1\n");
    folder.Write("MorvaneCars\\CAMARO", "[GENERAL]\nReplaceHeadlightShader = 1\n");
    folder.Write("MorvaneCars\\BRERA.ini", "[GENERAL]\nPopUpHeadLights = 1\n");
    folder.MakeDirectory("MorvaneCars\\SUPRA");
    Settings("[GENERAL]\nPopUpHeadLights = 1\nReplaceHeadlightShader = 1\n");

    LoadCarProfiles(folder.path() + "MorvaneCars");
    AddBuiltInProfiles();
    // Listing order first (the file system's), then the missing built-ins; the folder SUPRA is none.
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"BRERA", "BRERA.ini", "CAMARO", "240SX", "RX7", "MR2",
                                                        "COROLLA", "CHARGER69"}));
    const CarProfile* brera = CarProfiles().FindByName("BRERA");
    EXPECT_TRUE(brera->forceLodA);
    EXPECT_FALSE(brera->sunRoof) << "the file replaces the built-in";
    EXPECT_EQ(brera->slotOverrides.size(), 41u);
    const CarProfile* camaro = CarProfiles().FindByName("CAMARO");
    EXPECT_FALSE(camaro->popUpHeadLights) << "a profile replaces the global switches as a whole";
    EXPECT_TRUE(camaro->replaceHeadlightShader);
    EXPECT_EQ(CarProfiles().FindByName("SUPRA"), nullptr);
    EXPECT_TRUE(CarProfiles().FindByName("BRERA.ini")->popUpHeadLights);
    const CarProfile* rx7 = CarProfiles().FindByName("RX7");
    EXPECT_TRUE(rx7->popUpHeadLights);
    EXPECT_TRUE(rx7->slotOverrides.empty());
}

TEST_F(ConfigTest, ALowerCaseFileDoesNotReplaceTheBuiltIn) {
    GameFolder folder("lower-case");
    folder.Write("MorvaneCars\\brera", "[GENERAL]\nForceLodA = 1\n");
    Settings("");
    LoadCarProfiles(folder.path() + "MorvaneCars");
    AddBuiltInProfiles();
    ASSERT_GE(CarProfiles().size(), 2u);
    EXPECT_EQ(CarProfiles()[0].name, "brera");
    EXPECT_EQ(CarProfiles()[1].name, "BRERA");
    EXPECT_TRUE(CarProfiles()[1].sunRoof);
    EXPECT_FALSE(CarProfiles()[1].forceLodA);
}

TEST_F(ConfigTest, MissingDirectoryStillGivesTheBuiltIns) {
    GameFolder folder("no-profiles");
    Settings("");
    LoadCarProfiles(folder.path() + "MorvaneCars");
    AddBuiltInProfiles();
    EXPECT_EQ(ProfileNames(),
              (std::vector<std::string>{"BRERA", "240SX", "RX7", "MR2", "CAMARO", "COROLLA", "CHARGER69"}));
    const struct {
        const char* car;
        bool sunRoof, popUpHeadLights;
    } builtIn[] = {{"BRERA", true, false},  {"240SX", false, true},   {"RX7", false, true},
                   {"MR2", false, true},    {"CAMARO", false, true},  {"COROLLA", false, true},
                   {"CHARGER69", false, true}};
    for (const auto& b : builtIn) {
        EXPECT_EQ(CarProfiles().FindByName(b.car)->sunRoof, b.sunRoof) << b.car;
        EXPECT_EQ(CarProfiles().FindByName(b.car)->popUpHeadLights, b.popUpHeadLights) << b.car;
    }
    AddBuiltInProfiles();
    EXPECT_EQ(CarProfiles().size(), 7u) << "built-ins are added once";
}

// Names in any language, whatever the code page, come as they are, in UTF-8.
TEST_F(ConfigTest, NamesInAnyLanguageAreKeptInUtf8) {
    GameFolder folder("wide-names");
    folder.Write("MorvaneCars\\AAA", "");
    folder.Write("MorvaneCars\\ZZZ", "");
    folder.WriteExact(L"MorvaneCars\\\x4E2D\x6587", "");
    Settings("");
    LoadCarProfiles(folder.path() + "MorvaneCars");
    EXPECT_EQ(ProfileNames(), (std::vector<std::string>{"AAA", "ZZZ", "\xE4\xB8\xAD\xE6\x96\x87"}));
}

TEST_F(ConfigTest, AThousandProfilesLoad) {
    GameFolder folder("thousand");
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "MorvaneCars\\CAR%04d", i);
        folder.Write(name, i % 2 ? "[GENERAL]\nForceLodA = 1\n" : "");
    }
    Settings("");
    LoadCarProfiles(folder.path() + "MorvaneCars");
    ASSERT_EQ(CarProfiles().size(), 1000u);
    EXPECT_EQ(CarProfiles()[999].name, "CAR0999");
    EXPECT_TRUE(CarProfiles()[999].forceLodA);
    EXPECT_FALSE(CarProfiles()[998].forceLodA);
}

// MorvaneCars is read up to its limit of entries: at the limit every one; one past it the
// last in listing order is left out, and told.
TEST_F(ConfigTest, ProfilesUpToTheLimitOfEntriesLoad) {
    for (const size_t entries : {kMaxProfiles, kMaxProfiles + 1}) {
        SCOPED_TRACE(entries);
        GameFolder folder("limit");
        folder.WriteMany("MorvaneCars", static_cast<int>(entries), "CAR");
        ResetCarProfiles();
        const size_t journal = JournalText().size();
        LoadCarProfiles(folder.path() + "MorvaneCars");
        ASSERT_EQ(CarProfiles().size(), kMaxProfiles);
        char last[16];
        std::snprintf(last, sizeof last, "CAR%05zu", kMaxProfiles - 1);
        EXPECT_EQ(CarProfiles()[kMaxProfiles - 1].name, last);
        const bool told = JournalText().find("in listing order are read", journal) != std::string::npos;
        EXPECT_EQ(told, entries > kMaxProfiles);
    }
}

// ---- Lookups --------------------------------------------------------------------------

TEST_F(ConfigTest, SlotValuesFallBackEntryByEntry) {
    const int32_t alone = sim::AddCarType("ALONE");     // no profile
    const int32_t off = sim::AddCarType("OFF");         // PART_BODY Enabled = 0
    const int32_t silent = sim::AddCarType("SILENT");   // PART_BODY without Enabled
    const int32_t own = sim::AddCarType("OWN");         // own headers and camera
    GameFolder folder("lookups");
    folder.Write("MorvaneCars\\OFF", "[PART_BODY]\nEnabled = 0\n");
    folder.Write("MorvaneCars\\SILENT", "[PART_BODY]\nHeader = SILENT_BODY\n");
    folder.Write("MorvaneCars\\OWN", "[PART_HOOD]\nEnabled = 1\nHeader = OWN_HOOD\nCamera = OWN_CAM\n[PART_ROOF]\nHeaderAS = OWN_ROOF_AS\n");
    Settings("[PART_BODY]\nEnabled = 1\nHeader = BODY\nHeaderAS = BODY_AS\nCamera = BODY_CAM\n"
             "[PART_ROOF]\nHeader = ROOF\n[PART_HOOD]\nCamera = HOOD_CAM\n");
    LoadCarProfiles(folder.path() + "MorvaneCars");

    EXPECT_EQ(SlotEnabled(alone, 23), 1);
    EXPECT_EQ(SlotEnabled(off, 23), 0);
    EXPECT_EQ(SlotEnabled(silent, 23), 1);
    EXPECT_EQ(SlotEnabled(alone, 78), -1);  // the global entry is not set
    EXPECT_EQ(SlotEnabled(own, 78), 1);
    EXPECT_EQ(SlotEnabled(alone, 5), 0);    // no entry anywhere

    EXPECT_EQ(SlotHeader(alone, 23, false), sim::Hash("BODY"));
    EXPECT_EQ(SlotHeader(alone, 23, true), sim::Hash("BODY_AS"));
    EXPECT_EQ(SlotHeader(silent, 23, false), sim::Hash("SILENT_BODY"));
    EXPECT_EQ(SlotHeader(silent, 23, true), sim::Hash("SILENT_BODY")) << "HeaderAS took Header over";
    EXPECT_EQ(SlotHeader(own, 78, true), sim::Hash("OWN_HOOD"));
    EXPECT_EQ(SlotHeader(own, 76, true), sim::Hash("OWN_ROOF_AS"));
    EXPECT_EQ(SlotHeader(own, 76, false), sim::Hash("ROOF"));
    EXPECT_EQ(SlotHeader(alone, 48, false), kNone);
    EXPECT_EQ(SlotHeader(alone, 5, false), kNone);

    EXPECT_STREQ(SlotCamera(own, 78), "OWN_CAM");
    EXPECT_STREQ(SlotCamera(alone, 78), "HOOD_CAM");
    EXPECT_STREQ(SlotCamera(off, 23), "BODY_CAM");
    EXPECT_EQ(SlotCamera(alone, 48), nullptr);
    EXPECT_EQ(SlotCamera(alone, 5), nullptr);
}

TEST_F(ConfigTest, ProfilesAreFoundByCarTypeAndNameHash) {
    const int32_t brera = sim::AddCarType("BRERA");
    const int32_t none = sim::AddCarType("NOBODY");
    const int32_t lower = sim::AddCarType("brera");
    GameFolder folder("by-type");
    folder.Write("MorvaneCars\\EMPTY", "");
    folder.Write("MorvaneCars\\LOCKED", "[GENERAL]\nReplaceHeadlightShader = 1\n");
    // Another program holds LOCKED open without sharing: it cannot be read.
    HANDLE lock = CreateFileA((folder.path() + "MorvaneCars\\LOCKED").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Settings("[GENERAL]\nReplaceHeadlightShader = 1\n");
    LoadCarProfiles(folder.path() + "MorvaneCars");
    CloseHandle(lock);
    AddBuiltInProfiles();
    const int32_t empty = sim::AddCarType("EMPTY");
    const int32_t locked = sim::AddCarType("LOCKED");

    EXPECT_EQ(ProfileInForce(brera), CarProfiles().FindByName("BRERA"));
    EXPECT_EQ(ProfileInForce(none), &GlobalSettings()->perCar);
    EXPECT_EQ(ProfileInForce(lower), &GlobalSettings()->perCar) << "names are case-sensitive";
    EXPECT_EQ(ProfileInForce(12345), &GlobalSettings()->perCar) << "a car type the game cannot name";
    // An empty profile still replaces the global switches for its car.
    EXPECT_FALSE(ProfileInForce(empty)->replaceHeadlightShader);
    EXPECT_EQ(ProfileInForce(locked), CarProfiles().FindByName("LOCKED"));
    EXPECT_FALSE(ProfileInForce(locked)->replaceHeadlightShader) << "an unreadable file still makes a profile";
    EXPECT_TRUE(ProfileInForce(none)->replaceHeadlightShader);

    EXPECT_EQ(ProfileInForceForNameHash(sim::Hash("RX7")), CarProfiles().FindByName("RX7"));
    EXPECT_EQ(ProfileInForceForNameHash(sim::Hash("NOBODY")), &GlobalSettings()->perCar);
    EXPECT_EQ(CarProfiles().FindByNameHash(kNone), nullptr);
}

TEST_F(ConfigTest, TheFirstProfileWinsWhenHashesCollide) {
    // The game's hash takes "Aa" and "B@" to the same value.
    ASSERT_EQ(sim::Hash("CAR_Aa"), sim::Hash("CAR_B@"));
    Settings("");
    for (const char* name : {"CAR_B@", "CAR_Aa"}) {
        auto profile = std::make_unique<CarProfile>();
        profile->name = name;
        AddCarProfile(std::move(profile));
    }
    EXPECT_EQ(CarProfiles().FindByNameHash(sim::Hash("CAR_Aa"))->name, "CAR_B@");
    EXPECT_EQ(CarProfiles().FindByName("CAR_Aa")->name, "CAR_Aa");
    const size_t hashed = sim::HashedTexts().size();
    for (int i = 0; i < 10; ++i) CarProfiles().FindByNameHash(sim::Hash("CAR_Aa"));
    EXPECT_EQ(sim::HashedTexts().size(), hashed) << "lookups use the hashes taken at load";
}

// As many names as MorvaneCars gives, made to share one bucket of an index keyed by
// the game's hash or by FNV-1a alone: finding each takes about what finding one of a few
// ordinary names does (twice, four times on a busy machine), where a crowded bucket takes
// hundreds of times as long.
TEST_F(ConfigTest, CraftedNamesDoNotCrowdTheIndex) {
    std::unordered_map<uint32_t, int> plain;  // such an index, filled as far
    plain.max_load_factor(0.25f);
    for (uint32_t i = 0; i < kMaxProfiles; ++i) plain.emplace(i, 0);
    const std::string letters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // Sixteen ordinary names, looked up as often in all.
    std::vector<std::string> few;
    for (size_t i = 0; i < kMaxProfiles; ++i) few.push_back("CAR" + std::to_string(i % 16));
    ProfileSet fewSet;
    for (int i = 0; i < 16; ++i) fewSet.Add(std::make_unique<CarProfile>(CarProfile{few[i], {}}));
    // ns a lookup of each of `names` in `set`, by name and by hash.
    bool found = true;
    const auto lookups = [&found](const ProfileSet& set, const std::vector<std::string>& names) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& name : names) {
            found &= set.FindByName(name.c_str())->name == name;
            found &= set.FindByNameHash(sim::Hash(name))->nameHash == sim::Hash(name);
        }
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
               (2.0 * names.size());  // two lookups a name
    };
    for (const bool fnv : {false, true}) {
        const auto step = [fnv](uint32_t h, char c) { return fnv ? (h ^ uint8_t(c)) * 16777619u : h * 33 + uint8_t(c); };
        std::vector<std::string> names;
        std::set<uint32_t> taken;  // one name to a hash
        for (int prefix = 0; names.size() < kMaxProfiles; ++prefix) {
            const std::string head = "CAR" + std::to_string(prefix);
            uint32_t state = fnv ? 2166136261u : 0xFFFFFFFFu;
            for (const char c : head) state = step(state, c);
            for (const char a : letters) {
                for (const char b : letters) {
                    const uint32_t hash = step(step(state, a), b);
                    if (hash % plain.bucket_count() == 0 && names.size() < kMaxProfiles && taken.insert(hash).second) {
                        names.push_back(head + a + b);
                    }
                }
            }
        }
        ProfileSet crafted;
        for (const std::string& name : names) crafted.Add(std::make_unique<CarProfile>(CarProfile{name, {}}));
        double craftedNs = 1e30, fewNs = 1e30;  // the quickest of five rounds each, taken in turn
        for (int round = 0; round < 5; ++round) {
            craftedNs = std::min(craftedNs, lookups(crafted, names));
            fewNs = std::min(fewNs, lookups(fewSet, few));
        }
        std::printf("  %s: %.0f ns a lookup of a crafted name, %.0f of one of a few\n", fnv ? "FNV-1a" : "the game's hash",
                    craftedNs, fewNs);
        EXPECT_TRUE(found);
        EXPECT_LT(craftedNs, 30 * fewNs) << (fnv ? "FNV-1a" : "the game's hash");
    }
}

}  // namespace
