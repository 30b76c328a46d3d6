// Tire and licence-plate textures, run from the patched return of the routine that
// prepares a car for drawing.
#include <gtest/gtest.h>

#include <string>

#include "Sim.h"
#include "SimTextures.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/LightShaders.h"
#include "effects/Textures.h"

namespace {

using namespace sim::textures;

void LoadSettings(const std::string& text) {
    testfolders::GameFolder folder("textures");
    folder.Write("Morvane.ini", text);
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
}

std::vector<uint32_t> Kept(const sim::Registers& r) {
    return {r.eax, r.ecx, r.edx, r.ebx, r.ebp, r.esi, r.edi, r.eflags & 0x8D5};
}

TEST(TexturesTest, EntriesFromTheFittedParts) {
    const char* const both = "[MODS]\nTires = 1\nLicensePlate = 1\n";
    const struct {
        const char* what;
        const char* ini;
        int32_t copMark;   // +0x94 of the car type's record
        const char* tire;  // "-": no tire part, else TEXTURE_NAME ("": none)
        const char* tireN; // TEXTURE_NAME_N ("": none)
        int plate;         // 0 no plate part, 1 stock, 2 not stock
        const char* plateTexture;
        // Expected replacements; "": the host's own entry stays.
        const char* style;
        const char* styleN;
        const char* licensePlate;
    } cases[] = {
        {"tire with normal map", both, 0, "TIRE_A", "TIRE_A_N", 0, "", "TIRE_A", "TIRE_A_N", ""},
        {"tire without normal map", both, 0, "TIRE_A", "", 0, "", "TIRE_A", "", ""},
        {"tire with a normal map only", both, 0, "", "TIRE_A_N", 0, "", "", "TIRE_A_N", ""},
        {"no tire part", both, 0, "-", "", 0, "", "", "", ""},
        {"police car, stock plate", both, 1, "-", "", 1, "LP_US", "", "", "LP_COP"},
        {"police car, no plate", both, 1, "-", "", 0, "", "", "", "LP_COP"},
        {"police car, other plate", both, 1, "-", "", 2, "LP_CUSTOM", "", "", "LP_CUSTOM"},
        {"police car, other plate naming none", both, 1, "-", "", 2, "", "", "", ""},
        {"type mark other than 1", both, 2, "-", "", 1, "LP_US", "", "", "LP_US"},
        {"other car, plate naming none", both, 0, "-", "", 1, "", "", "", ""},
        {"other car without plate", both, 0, "-", "", 0, "", "", "", ""},
        {"tires off", "[MODS]\nLicensePlate = 1\n", 1, "TIRE_A", "TIRE_A_N", 0, "", "", "", "LP_COP"},
        {"plates off", "[MODS]\nTires = 1\n", 1, "TIRE_A", "", 1, "LP_US", "TIRE_A", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        LoadSettings(c.ini);
        morvane::InstallTextures();
        const int32_t type = sim::AddCarType("CAR");
        sim::Field<int32_t>(sim::CarTypeRecord(type), 0x94) = c.copMark;
        sim::Ride& ride = sim::NewRide(type);
        auto fit = [&](int32_t slot, bool stock, const char* texture, const char* normalMap = "") {
            sim::Part& part = sim::AddPart("PART", type, slot, stock);
            if (*texture) part.Set("TEXTURE_NAME", static_cast<int32_t>(sim::Hash(texture)));
            if (*normalMap) part.Set("TEXTURE_NAME_N", static_cast<int32_t>(sim::Hash(normalMap)));
            ride.parts[slot] = &part;
        };
        if (std::string(c.tire) != "-") fit(70, false, c.tire, c.tireN);
        if (c.plate) fit(86, c.plate == 1, c.plateTexture);
        uint8_t* render = sim::NewRenderRecord(&ride);
        for (uint32_t i = 0; i < 5; ++i) Replacement(render, kReplacementSlots[i].offset) = {i, 0x100 + i, 0x200 + i};

        const sim::Registers entry = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, sim::Address(render), 0xD1, 0x202 | 0x8D5};
        const sim::Capture after = sim::RunHostCode({kPrepareReturn, 0, entry, {sim::kReturnToSimulator, 0x1111}, {2.5f}, {}});
        // Back at the host routine's caller, as after its own return.
        EXPECT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.esp, after.espAtSite + 4);
        EXPECT_EQ(Kept(after.registers), Kept(entry));
        EXPECT_EQ(after.x87, (std::vector<long double>{2.5L}));
        EXPECT_EQ(after.stack[1], 0x1111u);

        const char* expected[5] = {c.style, c.style, c.styleN, c.styleN, c.licensePlate};
        for (uint32_t i = 0; i < 5; ++i) {
            const TextureReplacement& e = Replacement(render, kReplacementSlots[i].offset);
            const TextureReplacement want = *expected[i]
                                                ? TextureReplacement{sim::Hash(kReplacementSlots[i].replaced),
                                                                     sim::Hash(expected[i]), 0xFFFFFFFF}
                                                : TextureReplacement{i, 0x100 + i, 0x200 + i};
            EXPECT_EQ(std::vector<uint32_t>({e.replaced, e.replacement, e.third}),
                      std::vector<uint32_t>({want.replaced, want.replacement, want.third}))
                << kReplacementSlots[i].replaced;
        }
    }
}

}  // namespace
