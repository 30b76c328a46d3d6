// Slot part lists filtered by attributes and the forced level-of-detail letter, run from
// their patched sites in the simulated game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "parts/PartAttributes.h"
#include "patch/Patch.h"
#include "startup/Installers.h"

using namespace morvane;
namespace cat = sim::catalogue;

namespace {

constexpr uint32_t kListSite = 0x85FA37;
constexpr uint32_t kLodSite = 0x7CDC85;
constexpr uint32_t kLodResume = 0x7CDC8D;

void LoadSettings(const std::string& text) {
    testfolders::GameFolder folder("part-attributes");
    folder.Write("Morvane.ini", text);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
}

struct Listing {
    uint32_t result;
    std::vector<std::string> names;
};

// The host's call at 0x85FA37 for the current car; the host removes the arguments.
Listing RunList(int32_t slot, uint32_t carbon, int32_t innerRadius) {
    void* head = cat::NewPartList();
    sim::Run run;
    run.site = kListSite;
    run.resume = kListSite + 5;
    run.registers = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
    run.stack = {static_cast<uint32_t>(slot), sim::Address(head), carbon, 0x1234, static_cast<uint32_t>(innerRadius)};
    const sim::Capture after = sim::RunHostCode(run);
    EXPECT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(after.esp, after.espAtSite);
    EXPECT_EQ(after.registers.ebx, 0xB3u);
    EXPECT_EQ(after.registers.esi, 0x5Eu);
    EXPECT_EQ(after.registers.edi, 0xD1u);
    EXPECT_EQ(after.registers.ebp, 0xE4u);
    std::string problem;
    Listing listing{after.registers.eax, {}};
    for (const cat::ListedEntry& e : cat::ListEntries(head, &problem)) {
        EXPECT_EQ(e.slot, slot);
        listing.names.push_back(e.part->name);
    }
    EXPECT_EQ(problem, "");
    return listing;
}

class PartAttributesTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetCarProfiles();
        LoadSettings("");
        InstallSlotPartListHook();
        InstallLodHook();
        car_ = sim::AddCarType("RX8");
        sim::SetCurrentCarType(car_);
    }
    int32_t car_ = 0;
};

TEST_F(PartAttributesTest, InstallersWriteTheirTwoSites) {
    sim::Reset();
    InstallSlotPartListHook();
    InstallLodHook();
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        const bool inList = run.address >= kListSite && run.address + run.after.size() <= kListSite + 5;
        const bool inLod = run.address >= kLodSite && run.address + run.after.size() <= kLodSite + 5;
        EXPECT_TRUE(inList || inLod) << std::hex << run.address;
    }
    EXPECT_EQ(ReadHost8(kListSite), 0xE8);
    EXPECT_EQ(GetBranchTarget(kListSite), CodeAddress(&BuildSlotPartList));
    EXPECT_EQ(ReadHost8(kLodSite), 0xE9);
}

TEST_F(PartAttributesTest, FiltersDecideWhatIsListed) {
    struct PartSpec {
        const char* name;
        std::vector<std::pair<const char*, int32_t>> attributes = {};
        bool modelLoaded = false;
    };
    struct Row {
        const char* what;
        int32_t slot;
        uint32_t carbon;  // the host's byte, with whatever the rest of its slot holds
        int32_t innerRadius;
        std::vector<PartSpec> parts;
        std::vector<std::string> listed;
    };
    const std::vector<Row> rows = {
        {"hood: model must be loaded unless stock", 78, 0, 0,
         {{"STOCK_HOOD", {{"STOCK", 1}, {"MORPHTARGET_NUM", 3}}}, {"UNLOADED"}, {"LOADED", {}, true}},
         {"STOCK_HOOD", "LOADED"}},
        {"front rotor needs MAX_LOD", 25, 0, 0, {{"PLAIN"}, {"DETAILED", {{"MAX_LOD", 0}}}}, {"DETAILED"}},
        {"exhaust: CENTER 1 is left out", 47, 0, 0,
         {{"C0", {{"CENTER", 0}}}, {"C1", {{"CENTER", 1}}}, {"C2", {{"CENTER", 2}}}}, {"C0", "C2"}},
        {"wheels of the wanted inner radius", 84, 0, 17,
         {{"R17", {{"INNER_RADIUS", 17}}, true}, {"R18", {{"INNER_RADIUS", 18}}, true}, {"R17U", {{"INNER_RADIUS", 17}}}},
         {"R17"}},
        {"morph targets are left out", 60, 0, 0, {{"MORPH", {{"MORPHTARGET_NUM", 0}}}, {"PLAIN"}}, {"PLAIN"}},
        {"carbon asked: carbon parts and stock", 60, 0xFFFFFF01, 0,
         {{"CARBON", {{"CARBONFIBRE", 1}}}, {"PLAIN"}, {"OTHER", {{"CARBONFIBRE", 2}}}, {"STOCK", {{"STOCK", 1}}}},
         {"CARBON", "STOCK"}},
        {"carbon not asked: plain parts and stock", 60, 0xFFFFFF00, 0,
         {{"CARBON", {{"CARBONFIBRE", 1}}}, {"PLAIN"}, {"OTHER", {{"CARBONFIBRE", 2}}}, {"STOCK", {{"STOCK", 1}, {"CARBONFIBRE", 1}}}},
         {"PLAIN", "OTHER", "STOCK"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        InstallSlotPartListHook();
        car_ = sim::AddCarType("RX8");
        const int32_t other = sim::AddCarType("OTHER");
        sim::SetCurrentCarType(car_);
        for (const PartSpec& spec : row.parts) {
            sim::Part& part = sim::AddPart(spec.name, car_, row.slot);
            for (const auto& [name, value] : spec.attributes) part.Set(name, value);
            if (spec.modelLoaded) cat::AddModel(part.name + "_A");
            // The same part for another car or slot is never listed.
            sim::AddPart(spec.name, other, row.slot).Set("STOCK", 1);
            sim::AddPart(spec.name, car_, row.slot + 1).Set("STOCK", 1);
        }
        const Listing listing = RunList(row.slot, row.carbon, row.innerRadius);
        EXPECT_EQ(listing.result, 0u);
        EXPECT_EQ(listing.names, row.listed);
    }
}

TEST_F(PartAttributesTest, SeventyEntriesAtMostAndAFailedAllocationIsSkipped) {
    const struct {
        const char* what;
        int parts;
        int failing;  // allocations that answer null, from the first
        uint32_t result;
        size_t entries;
        const char* first;
    } rows[] = {
        {"100 eligible parts", 100, 0, 71, 70, "P0"},
        {"70 eligible parts", 70, 0, 0, 70, "P0"},
        {"71 parts, the first without memory", 71, 1, 0, 70, "P1"},
        {"3 parts, no memory at all", 3, 3, 0, 0, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        InstallSlotPartListHook();
        sim::SetCurrentCarType(sim::AddCarType("RX8"));
        for (int i = 0; i < row.parts; ++i) sim::AddPart(std::string(1, 'P').append(std::to_string(i)), 0, 60);
        sim::FailNextAllocations(row.failing);
        const Listing listing = RunList(60, 0, 0);
        EXPECT_EQ(listing.result, row.result);
        ASSERT_EQ(listing.names.size(), row.entries);
        if (row.first) {
            EXPECT_EQ(listing.names.front(), row.first);
        }
    }
}

TEST_F(PartAttributesTest, ForcedLevelOfDetailThroughTheSeed) {
    const struct {
        const char* what;
        const char* settings;
        bool profileForces;  // RX8's own profile
        const char* seedCar;
        const char* text;
        const char* hashedAs;
    } rows[] = {
        {"global: every car", "[GENERAL]\nForceLodA = 1\n", false, "OTHER", "OTHER_HOOD_B", "OTHER_HOOD_A"},
        {"global wins over a profile without it", "[GENERAL]\nForceLodA = 1\n", false, "RX8", "RX8_HOOD_B", "RX8_HOOD_A"},
        {"profile: its car", "", true, "RX8", "RX8_HOOD_B", "RX8_HOOD_A"},
        {"profile: not another car", "", true, "OTHER", "OTHER_HOOD_B", "OTHER_HOOD_B"},
        {"off", "", false, "RX8", "RX8_HOOD_B", "RX8_HOOD_B"},
        {"empty text stays empty", "[GENERAL]\nForceLodA = 1\n", false, "RX8", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        ResetCarProfiles();
        LoadSettings(row.settings);
        InstallLodHook();
        auto* profile = new CarProfile;
        profile->name = "RX8";
        profile->forceLodA = row.profileForces;
        AddCarProfile(profile);

        char* text = reinterpret_cast<char*>(sim::NewBlock(32));
        std::snprintf(text, 32, "%s", row.text);
        const uint32_t seed = sim::Hash(row.seedCar);
        sim::Run run;
        run.site = kLodSite;
        run.resume = kLodResume;
        run.registers = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
        run.stack = {sim::Address(text), seed, 0x77};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.esp, after.espAtSite + 8);
        EXPECT_STREQ(text, row.hashedAs);
        EXPECT_EQ(after.registers.eax, host::HostStringHashSeeded(row.hashedAs, seed));
        EXPECT_EQ(after.registers.ebx, 0xB3u);
        EXPECT_EQ(after.registers.esi, 0x5Eu);
        EXPECT_EQ(after.registers.edi, 0xD1u);
        EXPECT_EQ(after.registers.ebp, 0xE4u);
        EXPECT_TRUE(after.x87.empty());
    }
}

}  // namespace
