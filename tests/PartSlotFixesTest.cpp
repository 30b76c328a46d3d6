// Decal upgrade groups, stock rim paint and vinyl mirroring: the bytes written for each
// set of switches, and the patched routines and the decal hook run in the simulated game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "startup/Installers.h"

using namespace morvane;

namespace {

constexpr uint32_t kDecalSite = 0x6B7887;
constexpr uint32_t kRimSite = 0x83F749;
constexpr uint32_t kGroupTable = 0xA73398;

using Bytes = std::vector<uint8_t>;

void LoadSettings(const std::string& text) {
    testfolders::GameFolder folder("part-slot-fixes");
    folder.Write("Morvane.ini", text);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
}

Bytes HostBytes(uint32_t address, size_t count) {
    const auto* at = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address));
    return Bytes(at, at + count);
}

// The game's own code at the sites: conditional short jumps and a routine's first bytes.
void PlantGameCode() {
    sim::PlantHostBytes(0x7E0472, {0x74, 0x12});
    sim::PlantHostBytes(0x7E0216, {0x75, 0x34});
    sim::PlantHostBytes(0x7E5FB2, {0x8B, 0xC8});
    sim::PlantHostBytes(kRimSite, {0x8B, 0x44, 0x24, 0x04, 0x85, 0xC0, 0x55});
}

TEST(PartSlotFixes, SwitchesDecideTheBytes) {
    const Bytes rims = {0x32, 0xC0, 0xC3, 0x90, 0x90, 0x90};
    const Bytes vinyls = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3};
    const Bytes untouched = {0x8B, 0x44, 0x24, 0x04, 0x85, 0xC0};
    const struct {
        const char* settings;
        Bytes atRim;           // the six bytes at 0x83F749 afterwards
        bool rimNops, decalHook;
        uint32_t answer;       // EAX from a call of the routine at 0x83F749 (EAX was 0x12345678)
    } rows[] = {
        {"", untouched, false, false, 0},
        {"AllowStockRimsPaint = 1\n", rims, true, false, 0x12345600},
        {"AllVinylsMirrorable = 1\n", vinyls, false, false, 1},
        {"AllowStockRimsPaint = 1\nAllVinylsMirrorable = 1\n", rims, true, false, 0x12345600},
        {"FixFrontRearDecals = 1\n", untouched, false, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.settings);
        sim::Reset();
        PlantGameCode();
        LoadSettings(std::string("[GENERAL]\n") + row.settings);
        InstallPartSlotFixes();

        std::vector<uint32_t> changed;
        for (const sim::ByteRun& run : sim::ChangedRuns()) changed.push_back(run.address);
        std::vector<uint32_t> expected;
        if (row.decalHook) expected.push_back(kDecalSite);
        expected.push_back(0x7E0216);
        expected.push_back(0x7E0472);
        if (row.rimNops) expected.push_back(0x7E5FB2);
        if (row.atRim != untouched) expected.push_back(kRimSite);
        EXPECT_EQ(changed, expected);
        Bytes rimAfter = row.atRim;
        rimAfter.push_back(0x55);  // the seventh byte is never touched
        EXPECT_EQ(HostBytes(kRimSite, 7), rimAfter);
        EXPECT_EQ(HostBytes(0x7E0472, 2), (Bytes{0xEB, 0x12}));
        EXPECT_EQ(HostBytes(0x7E0216, 2), (Bytes{0xEB, 0x34}));
        EXPECT_EQ(HostBytes(0x7E5FB2, 2), row.rimNops ? (Bytes{0x90, 0x90}) : (Bytes{0x8B, 0xC8}));
        if (row.atRim != untouched) {
            sim::Run run;
            run.site = kRimSite;
            run.registers.eax = 0x12345678;
            run.stack = {sim::kReturnToSimulator};
            const sim::Capture after = sim::RunHostCode(run);
            ASSERT_EQ(after.exit, sim::Exit::Returned);
            EXPECT_EQ(after.registers.eax, row.answer);
            EXPECT_EQ(after.esp, after.espAtSite + 4);
        }
    }
}

// The decal hook runs from its site and returns to the host's caller.
TEST(PartSlotFixes, DecalGroupsOfTheLastPairMet) {
    struct Decal {
        int32_t carType, slot;
        int32_t group;  // -1: no upgrade-group attribute
    };
    const struct {
        const char* what;
        std::vector<Decal> decals;
        std::vector<int32_t> after;  // each decal's group value afterwards
    } rows[] = {
        {"the last front record before the rear one completes the pair",
         {{0, 100, 0x6020}, {0, 100, -1}, {0, 100, 0x6020}, {0, 100, 0x6021}, {0, 100, 0x6020}, {0, 100, 0x6021}},
         {0x6020, -1, 0x6800, 0x6900, 0x6020, 0x6021}},
        {"other groups, cars and slots are passed over",
         {{0, 100, 0x6120}, {1, 100, 0x6020}, {0, 101, 0x6021}, {0, 100, 0x6021}},
         {0x6120, 0x6020, 0x6021, 0x6900}},
        {"no decal records: only the table changes", {{0, 100, 0x5F21}}, {0x5F21}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        LoadSettings("[GENERAL]\nFixFrontRearDecals = 1\n");
        InstallPartSlotFixes();
        sim::AddCarType("RX8");
        sim::AddCarType("OTHER");
        std::vector<sim::Part*> parts;
        for (const Decal& d : row.decals) {
            sim::Part& part = sim::AddPart("DECAL", d.carType, d.slot);
            part.Set("KITNUMBER", 1);
            if (d.group >= 0) part.Set("PARTID_UPGRADE_GROUP", d.group | 0x7A0000);
            parts.push_back(&part);
        }
        sim::Global<int32_t>(kGroupTable + 0x18C) = 0x5F;

        sim::Run run;
        run.site = kDecalSite;
        run.registers = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
        run.stack = {sim::kReturnToSimulator, 0x42};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.esp, after.espAtSite + 4);
        EXPECT_EQ(after.registers.ebx, 0xB3u);
        EXPECT_EQ(after.registers.esi, 0x5Eu);
        EXPECT_EQ(after.registers.edi, 0xD1u);
        EXPECT_EQ(after.registers.ebp, 0xE4u);
        for (size_t i = 0; i < parts.size(); ++i) {
            const auto& attributes = parts[i]->attributes;
            if (row.after[i] < 0) {
                EXPECT_EQ(attributes.size(), 1u);
                continue;
            }
            // Only the two group bytes change; the rest of the value stays.
            EXPECT_EQ(attributes.back().value, row.after[i] | 0x7A0000) << "decal " << i;
        }
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x190), 0x68);
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x194), 0x69);
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x18C), 0x5F);
    }
}

}  // namespace
