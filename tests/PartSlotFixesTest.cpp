// Decal upgrade groups: the decal hook, run from its patched site in the simulated game.
// The bytes each set of switches writes, and what the rewritten rim routine answers, are
// checked by the patch map.
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
constexpr uint32_t kGroupTable = 0xA73398;

void Install(const std::string& switches) {
    testfolders::GameFolder folder("part-slot-fixes");
    folder.Write("Morvane.ini", "[GENERAL]\n" + switches);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
    InstallPartSlotFixes();
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
        {"a front record alone", {{0, 100, 0x6022}, {0, 100, 0x6020}, {0, 100, 0x601F}}, {0x6022, 0x6800, 0x601F}},
        {"a rear record alone", {{0, 100, 0x6021}, {0, 100, 0x6121}}, {0x6900, 0x6121}},
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
