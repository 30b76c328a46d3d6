// Decal upgrade groups, stock rim paint and vinyl mirroring: the bytes written for each
// set of switches, the patched routines' answers and the decal hook, run in the simulated game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "parts/PartSlotFixes.h"

using namespace morvane;

namespace {

constexpr uint32_t kDecalSite = 0x6B7887;
constexpr uint32_t kRimSite = 0x83F749;
constexpr uint32_t kGroupTable = 0xA73398;

using Bytes = std::vector<uint8_t>;

void Install(const std::string& switches) {
    testfolders::GameFolder folder("part-slot-fixes");
    folder.Write("Morvane.ini", "[GENERAL]\n" + switches);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
    InstallPartSlotFixes();
}

Bytes HostBytes(uint32_t address, size_t count) {
    const auto* at = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address));
    return Bytes(at, at + count);
}

TEST(PartSlotFixes, SwitchesDecideTheBytes) {
    const Bytes game = {0x8B, 0x44, 0x24, 0x04, 0x85, 0xC0, 0x55};  // the routine's own first bytes
    const Bytes rims = {0x32, 0xC0, 0xC3, 0x90, 0x90, 0x90, 0x55};
    const Bytes vinyls = {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3, 0x55};
    const struct {
        const char* switches;
        Bytes atRim;
        std::vector<uint32_t> changed;  // the sites written, by address
        uint32_t answer;                // EAX when the routine at 0x83F749 returns (EAX was 0xA0)
    } rows[] = {
        {"", game, {0x7E0216, 0x7E0472}, 0},
        {"AllowStockRimsPaint = 1\n", rims, {0x7E0216, 0x7E0472, 0x7E5FB2, kRimSite}, 0},
        {"AllVinylsMirrorable = 1\n", vinyls, {0x7E0216, 0x7E0472, kRimSite}, 1},
        {"AllowStockRimsPaint = 1\nAllVinylsMirrorable = 1\n", rims, {0x7E0216, 0x7E0472, 0x7E5FB2, kRimSite},
         0},
        {"FixFrontRearDecals = 1\n", game, {kDecalSite, 0x7E0216, 0x7E0472}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.switches);
        sim::Reset();
        sim::PlantHostBytes(0x7E0472, {0x74, 0x12});  // conditional short jumps
        sim::PlantHostBytes(0x7E0216, {0x75, 0x34});
        sim::PlantHostBytes(0x7E5FB2, {0x8B, 0xC8});
        sim::PlantHostBytes(kRimSite, game);
        Install(row.switches);

        std::vector<uint32_t> changed;
        for (const sim::ByteRun& run : sim::ChangedRuns()) changed.push_back(run.address);
        EXPECT_EQ(changed, row.changed);
        EXPECT_EQ(HostBytes(kRimSite, 7), row.atRim);
        EXPECT_EQ(HostBytes(0x7E0472, 2), (Bytes{0xEB, 0x12}));
        EXPECT_EQ(HostBytes(0x7E0216, 2), (Bytes{0xEB, 0x34}));
        const bool rimNops = row.atRim == rims;
        EXPECT_EQ(HostBytes(0x7E5FB2, 2), rimNops ? (Bytes{0x90, 0x90}) : (Bytes{0x8B, 0xC8}));
        if (row.atRim == game) continue;
        const sim::Capture after = sim::catalogue::RunAt(kRimSite, 0, 0, {sim::kReturnToSimulator});
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.registers.eax, row.answer);
    }
}

// The decal hook runs from its site and returns to the host's caller.
TEST(PartSlotFixes, DecalGroupsOfTheLastPairMet) {
    struct Decal {
        int32_t carType, slot;
        int32_t group;  // the upgrade-group value; -1: none
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
         {{0, 100, 0x6120}, {1, 100, 0x6020}, {0, 101, 0x6021}, {0, 100, 0x6021}}, {0x6120, 0x6020, 0x6021, 0x6900}},
        {"no decal records: only the table changes", {{0, 100, 0x5F21}}, {0x5F21}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        Install("FixFrontRearDecals = 1\n");
        std::vector<sim::Part*> parts;
        for (const Decal& d : row.decals) {
            parts.push_back(&sim::AddPart("DECAL", d.carType, d.slot));
            // The bytes above the two group bytes stay as they are.
            if (d.group >= 0) parts.back()->Set("PARTID_UPGRADE_GROUP", d.group | 0x7A0000);
        }
        sim::Global<int32_t>(kGroupTable + 0x18C) = 0x5F;

        const sim::Capture after = sim::catalogue::RunAt(kDecalSite, 0, 0, {sim::kReturnToSimulator, 0x42});
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.esp, after.espAtSite + 4);
        EXPECT_TRUE(sim::catalogue::KeptRegisters(after));
        for (size_t i = 0; i < parts.size(); ++i) {
            const int32_t value = parts[i]->attributes.empty() ? -1 : parts[i]->attributes[0].value & 0xFFFF;
            EXPECT_EQ(value, row.after[i]) << "decal " << i;
            if (row.after[i] >= 0) {
                EXPECT_EQ(parts[i]->attributes[0].value >> 16, 0x7A);
            }
        }
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x190), 0x68);
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x194), 0x69);
        EXPECT_EQ(sim::Global<int32_t>(kGroupTable + 0x18C), 0x5F);
    }
}

}  // namespace
