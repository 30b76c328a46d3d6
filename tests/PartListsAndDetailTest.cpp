// The part catalogue's hooks: slot part lists filtered by attributes, and the forced
// level-of-detail letter of part model names, run from their patched sites in the
// simulated game.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "GameSites.h"
#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "parts/LevelOfDetail.h"
#include "parts/PartLists.h"

using namespace morvane;
namespace cat = sim::catalogue;
using cat::AddParts;
using cat::Split;

namespace {

const uint32_t kListSite = sim::AddressOf("call that lists a slot's parts");
const uint32_t kLodSite = sim::AddressOf("hash of a model name (level of detail)");

// A fresh game with the given settings and both hooks installed; answers the current car.
// (The sites' addresses are the game's side's, by name.)
int32_t Start(const std::string& settings = "") {
    sim::Reset();
    ResetCarProfiles();
    testfolders::GameFolder folder("part-attributes");
    folder.Write("Morvane.ini", settings);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
    InstallPartLists();
    InstallLevelOfDetail();
    const int32_t car = sim::AddCarType("RX8");
    sim::SetCurrentCarType(car);
    return car;
}

sim::Capture RunSite(uint32_t site, uint32_t resume, std::vector<uint32_t> stack) {
    const sim::Capture after = cat::RunAt(site, resume, 0, std::move(stack));
    EXPECT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_TRUE(cat::KeptRegisters(after));
    return after;
}

// The host's call at 0x85FA37; the host removes the arguments. Answers EAX and the names listed.
std::pair<uint32_t, std::vector<std::string>> List(int32_t slot, uint32_t carbon, int32_t innerRadius) {
    void* head = cat::NewPartList();
    const sim::Capture after = RunSite(kListSite, kListSite + 5,
                                       {static_cast<uint32_t>(slot), sim::Address(head), carbon, 0x1234,
                                        static_cast<uint32_t>(innerRadius)});
    EXPECT_EQ(after.esp, after.espAtSite);
    std::string problem;
    std::vector<std::string> names;
    for (const cat::ListedEntry& e : cat::ListEntries(head, &problem)) {
        EXPECT_EQ(e.slot, slot);
        names.push_back(e.part->name);
    }
    EXPECT_EQ(problem, "");
    return {after.registers.eax, names};
}

TEST(PartListsAndDetail, FiltersDecideWhatIsListed) {
    struct Row {
        std::string what;
        int32_t slot;
        uint32_t carbon;  // the host's byte, with whatever the rest of its slot holds
        int32_t innerRadius;
        std::string parts;  // "NAME [model] [ATTRIBUTE=N]...", comma-separated
        std::string listed;
    };
    std::vector<Row> rows = {
        {"hood: model must be loaded unless stock", 78, 0, 0, "STOCK_HOOD STOCK=1 MORPHTARGET_NUM=3, UNLOADED, LOADED model",
         "STOCK_HOOD LOADED"},
        {"front rotor needs MAX_LOD", 25, 0, 0, "PLAIN, DETAILED MAX_LOD=0", "DETAILED"},
        {"exhaust: CENTER 1 is left out", 47, 0, 0, "C0 CENTER=0, C1 CENTER=1, C2 CENTER=2", "C0 C2"},
        {"wheels of the wanted inner radius", 84, 0, 17, "R17 model INNER_RADIUS=17, R18 model INNER_RADIUS=18, R17U INNER_RADIUS=17",
         "R17"},
        {"morph targets are left out", 60, 0, 0, "MORPH MORPHTARGET_NUM=0, PLAIN", "PLAIN"},
        {"carbon asked: carbon parts and stock", 60, 0xFFFFFF01, 0, "CARBON CARBONFIBRE=1, PLAIN, OTHER CARBONFIBRE=2, STOCK STOCK=1",
         "CARBON STOCK"},
        {"carbon not asked: the others and stock", 60, 0xFFFFFF00, 0,
         "CARBON CARBONFIBRE=1, PLAIN, OTHER CARBONFIBRE=2, STOCK STOCK=1 CARBONFIBRE=1", "PLAIN OTHER STOCK"},
    };
    // Every slot, with a part for each filter: a filter leaves parts out only in its own slots.
    const std::set<int32_t> modelTested = {78, 23, 84, 73, 75, 72, 74, 79, 77, 48, 32, 30, 34}, maxLod = {24, 25};
    for (int32_t slot = 0; slot < 128; ++slot) {
        const bool bare = !modelTested.count(slot) && !maxLod.count(slot);
        rows.push_back({"slot " + std::to_string(slot), slot, 0, 0,
                        "BARE, LOADED model MAX_LOD=0, CENTRED model MAX_LOD=0 CENTER=1, "
                        "WIDE model MAX_LOD=0 INNER_RADIUS=9, MORPH model MAX_LOD=0 MORPHTARGET_NUM=0, "
                        "CARBON model MAX_LOD=0 CARBONFIBRE=1, "
                        "STOCK STOCK=1 MORPHTARGET_NUM=0 CARBONFIBRE=1 CENTER=1 INNER_RADIUS=9",
                        std::string(bare ? "BARE " : "") + "LOADED" + (slot != 47 ? " CENTRED" : "") +
                            (slot != 84 ? " WIDE" : "") + " STOCK"});
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const int32_t car = Start();
        const int32_t other = sim::AddCarType("OTHER");
        for (const std::string& part : Split(row.parts, ',')) {
            const std::string slot = std::to_string(row.slot) + " ";
            AddParts(car, slot + part);
            // The same part for another car or slot is never listed.
            AddParts(other, slot + part + " STOCK=1");
            AddParts(car, std::to_string(row.slot + 1) + " " + part + " STOCK=1");
        }
        EXPECT_EQ(List(row.slot, row.carbon, row.innerRadius), std::make_pair(0u, Split(row.listed, ' ')));
    }
}

TEST(PartListsAndDetail, SeventyEntriesAtMostAndAFailedAllocationIsLeftOut) {
    const struct {
        int parts;
        int failing;  // allocations that answer null, from the first
        uint32_t result;
        size_t entries;
        const char* first;
    } rows[] = {{100, 0, 71, 70, "P0"}, {71, 0, 71, 70, "P0"}, {70, 0, 0, 70, "P0"}, {71, 1, 0, 70, "P1"},
                {3, 3, 0, 0, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.parts << " parts, " << row.failing << " without memory");
        const int32_t car = Start();
        for (int i = 0; i < row.parts; ++i) AddParts(car, "60 P" + std::to_string(i));
        sim::FailNextAllocations(row.failing);
        const auto [result, names] = List(60, 0, 0);
        EXPECT_EQ(result, row.result);
        ASSERT_EQ(names.size(), row.entries);
        EXPECT_EQ(names.empty() ? "" : names.front(), row.first ? row.first : "");
    }
}

TEST(PartListsAndDetail, NoCurrentCarListsNothing) {
    AddParts(Start(), "60 P");
    sim::Global<int32_t*>(0xB74320) = nullptr;
    EXPECT_EQ(List(60, 0, 0), std::make_pair(0u, std::vector<std::string>{}));
}

TEST(PartListsAndDetail, ForcedLevelOfDetailThroughTheSeed) {
    const char* global = "[GENERAL]\nForceLodA = 1\n";
    const struct {
        const char* what;
        const char* settings;
        bool profileForces;  // RX8's own profile
        const char* seedCar;
        const char* text;
        const char* hashedAs;
    } rows[] = {
        {"global: every car", global, false, "OTHER", "OTHER_HOOD_B", "OTHER_HOOD_A"},
        {"global wins over a profile without it", global, false, "RX8", "RX8_HOOD_B", "RX8_HOOD_A"},
        {"profile: its car", "", true, "RX8", "RX8_HOOD_B", "RX8_HOOD_A"},
        {"profile: not another car", "", true, "OTHER", "OTHER_HOOD_B", "OTHER_HOOD_B"},
        {"off", "", false, "RX8", "RX8_HOOD_B", "RX8_HOOD_B"},
        {"empty text stays empty", global, false, "RX8", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start(row.settings);
        auto profile = std::make_unique<CarProfile>();
        profile->name = "RX8";
        profile->forceLodA = row.profileForces;
        AddCarProfile(std::move(profile));
        char* text = reinterpret_cast<char*>(sim::NewBlock(32));
        std::snprintf(text, 32, "%s", row.text);
        const uint32_t seed = sim::Hash(row.seedCar);
        const sim::Capture after = RunSite(kLodSite, 0x7CDC8D, {sim::Address(text), seed, 0x77});
        EXPECT_EQ(after.esp, after.espAtSite + 8);
        EXPECT_STREQ(text, row.hashedAs);
        EXPECT_EQ(after.registers.eax, host::HostStringHashSeeded(row.hashedAs, seed));
        EXPECT_TRUE(after.x87.empty());
    }
}

}  // namespace
