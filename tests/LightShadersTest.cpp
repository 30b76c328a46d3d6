// Light shaders, light states, the light-table choice and the brake light's "_ONF"
// texture, each run from its patched site. Where host instructions must keep their effect
// (a comparison, four loads, an epilogue), the site run unpatched shows what the host does.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "HostLayout.h"
#include "Sim.h"
#include "SimTextures.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/LightShaders.h"

namespace {

using namespace sim::textures;

const sim::Registers kEntry = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1, 0x202 | 0x8D5};

std::vector<uint32_t> Kept(const sim::Registers& r) {
    return {r.eax, r.ecx, r.edx, r.ebx, r.ebp, r.esi, r.edi, r.eflags & 0x8D5};
}

int32_t& GameMode() { return sim::Global<int32_t>(sim::layout::kGameMode); }

// A fresh game with settings and car profiles from files, and the light patches.
void Install(const std::string& ini, const std::map<std::string, std::string>& profiles = {}) {
    sim::Reset();
    morvane::ResetCarProfiles();
    testfolders::GameFolder folder("lights");
    folder.Write("Morvane.ini", ini);
    folder.MakeDirectory("MorvaneCars");
    for (const auto& [name, text] : profiles) folder.Write("MorvaneCars\\" + name, text);
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    morvane::LoadCarProfiles(folder.path() + "MorvaneCars");
    morvane::InstallLightShaders();
}

// Runs a site with a host value on the x87 stack, which must stay as it is.
sim::Capture RunSite(uint32_t site, uint32_t resume, sim::Registers registers, std::vector<uint32_t> stack = {}) {
    const sim::Capture after = sim::RunHostCode({site, resume, registers, std::move(stack), {7.0f}, {}});
    EXPECT_EQ(after.x87, (std::vector<long double>{7.0L}));
    EXPECT_EQ(after.exit, resume ? sim::Exit::Resumed : sim::Exit::Returned);
    return after;
}

TEST(LightShadersTest, LightStateIntoEsi) {
    Install("");
    const struct {
        uint8_t override;
        bool textureThere;
        int32_t mode;
        uint32_t esi;
    } cases[] = {{1, false, 6, 1}, {0x80, false, 0, 1}, {0, false, 3, 0}, {0, true, 3, 1}, {0, true, 6, 0},
                 {0, true, 2, 0}, {0, true, 4, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.override) << " " << c.textureThere << " mode " << c.mode);
        uint8_t* render = sim::NewRenderRecord(&sim::NewRide(0));
        const uint32_t key = 0x4B00 + c.mode;
        sim::Field<uint32_t>(render, kLightTextureKey) = key;
        if (c.textureThere) AddTextureKey(key);
        LightStateOverride() = c.override;
        GameMode() = c.mode;
        const std::vector<uint32_t> lookups = TextureLookups();
        sim::Registers entry = kEntry;
        entry.ecx = sim::Address(render);
        const sim::Capture after = RunSite(kLightState, kLightStateResume, entry);
        EXPECT_EQ(after.esp, after.espAtSite);
        entry.esi = c.esi;
        EXPECT_EQ(Kept(after.registers), Kept(entry));
        // The override answers at once; otherwise the host is asked about the car's key.
        std::vector<uint32_t> asked = lookups;
        if (!c.override) asked.push_back(key);
        EXPECT_EQ(TextureLookups(), asked);
    }
    GameMode() = 0;
}

// Shaders by the car's profile and the game mode, then the host's own comparison of
// [ESP+0x14] with 0x2D, whose flags the host goes on with.
TEST(LightShadersTest, ShadersThenTheHostsComparison) {
    const uint32_t values[] = {0x2C, 0x2D, 0x2E, 0xFFFFFFD3};  // below, equal, above, sign only
    std::map<uint32_t, uint32_t> hostFlags;
    sim::Reset();
    for (uint32_t value : values) {  // unpatched
        hostFlags[value] = RunSite(kLightShader, kLightShaderResume, kEntry, {0, 0, 0, 0, 0, value}).registers.eflags;
    }
    Install("[GENERAL]\nReplaceHeadlightShader = 1\nReplaceBrakelightShader = 1\n",
            {{"BRAKES", "[GENERAL]\nReplaceBrakelightShader = 1\n"},
             {"HEADS", "[GENERAL]\nReplaceHeadlightShader = 1\n"},
             {"NEITHER", "[GENERAL]\nForceLodA = 1\n"}});
    const struct {
        const char* car;  // NOPROFILE: the global settings
        int32_t mode;
        std::vector<std::string> shaders;
    } cases[] = {
        {"BRAKES", 3, {"BRAKELIGHT=BRAKELIGHT"}},
        {"BRAKES", 6, {"BRAKELIGHT=BRAKELIGHT_GLOW"}},
        {"HEADS", 3, {"HEADLIGHTREFLECTOR=HEADLIGHTREFLECTOR"}},
        {"HEADS", 6, {"HEADLIGHTREFLECTOR=LIGHT_GLOW"}},
        {"NEITHER", 3, {}},
        {"NOPROFILE", 3, {"BRAKELIGHT=BRAKELIGHT", "HEADLIGHTREFLECTOR=HEADLIGHTREFLECTOR"}},
        {"NOPROFILE", 1, {"BRAKELIGHT=BRAKELIGHT_GLOW", "HEADLIGHTREFLECTOR=LIGHT_GLOW"}},
    };
    for (const auto& c : cases) {
        for (uint32_t value : values) {
            SCOPED_TRACE(testing::Message() << c.car << " mode " << c.mode << " " << std::hex << value);
            ShaderObject object{1};
            ShaderObject* holder = &object;
            GameMode() = c.mode;
            const size_t calls = ShaderSlotCalls().size(), finds = FindShaderCalls().size();
            sim::Registers entry = kEntry;
            entry.esi = sim::Address(sim::NewRenderRecord(&sim::NewRide(sim::AddCarType(c.car))));
            entry.edi = sim::Address(&holder);
            const std::vector<uint32_t> stack = {1, 2, 3, 4, 5, value, 7};
            const sim::Capture after = RunSite(kLightShader, kLightShaderResume, entry, stack);
            EXPECT_EQ(after.esp, after.espAtSite);
            EXPECT_EQ(after.stack, stack);
            entry.eflags = hostFlags[value];
            EXPECT_EQ(Kept(after.registers), Kept(entry));
            std::vector<std::string> set;
            for (size_t i = calls; i < ShaderSlotCalls().size(); ++i) {
                const ShaderSlotCall& call = ShaderSlotCalls()[i];
                EXPECT_EQ(call.object, &object);
                EXPECT_EQ(FindShaderCalls()[finds + i - calls].second, 1);
                set.push_back(NameOf(call.slotHash) + "=" + static_cast<const Shader*>(call.shader)->name);
            }
            EXPECT_EQ(set, c.shaders);
        }
    }
    GameMode() = 0;
}

// The host's four loads, or in game mode 6 the brake value for a first index of 0.
TEST(LightShadersTest, LightTableChoice) {
    const struct {
        int32_t mode;
        uint32_t brakeValue, eax, esi, edi;
        bool brakeRule;
    } cases[] = {{6, 0x77, 0, 1, 2, true}, {6, 0x77, 1, 0, 2, false}, {6, 0x77, 2, 2, 0, false},
                 {6, 0, 0, 1, 2, false},   {3, 0x77, 0, 2, 1, false}, {5, 0x77, 0, 1, 2, false},
                 {7, 0x77, 0, 1, 2, false}};
    auto select = [](const auto& c) {
        uint8_t* record = sim::NewBlock(0x4000);
        for (uint32_t i = 0; i < 3; ++i) {
            sim::Field<uint32_t>(record, kLightTable + 4 * i) = 0x100 + i;
            sim::Field<uint32_t>(record, kLightAltTable + 4 * i) = 0x200 + i;
        }
        sim::Field<uint32_t>(record, kLightBrakeValue) = c.brakeValue;
        const std::vector<uint8_t> before(record, record + 0x4000);
        GameMode() = c.mode;
        const sim::Registers entry = {c.eax, sim::Address(record), 0xD2, 0xB3, 0xE4, c.esi, c.edi, 0x202 | 0x8D5};
        sim::Capture after = RunSite(kLightTextureSelect, kLightTextureSelectEnd, entry);
        EXPECT_EQ(after.esp, after.espAtSite);
        EXPECT_EQ(std::vector<uint8_t>(record, record + 0x4000), before) << "memory changed";
        after.registers.ecx -= sim::Address(record);  // each run has its own record
        return after.registers;
    };
    std::vector<sim::Registers> host;
    sim::Reset();
    for (const auto& c : cases) host.push_back(select(c));  // unpatched
    Install("");
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " eax " << c.eax);
        if (c.brakeRule) host[i].edx = host[i].ebx = host[i].ebp = c.brakeValue, host[i].eax = 0x200;
        EXPECT_EQ(Kept(select(c)), Kept(host[i]));
    }
    GameMode() = 0;
}

// The "_ONF" key into the car's texture list, then the host routine's own epilogue.
TEST(LightShadersTest, OnfTextureThenTheHostsEpilogue) {
    const struct {
        const char* what;
        int brakeLight;  // 0 none, 1 naming "BRAKE_TX", 2 naming none
        bool hostHasTexture;
        int taken;        // entries taken (entry `free` is free unless all 100 are)
        const char* key;  // expected key ("": none)
        bool stored;
        int free = 1;
    } cases[] = {
        {"named texture the host has", 1, true, 3, "BRAKE_TX_ONF", true},
        {"named texture the host lacks", 1, false, 3, "BRAKE_TX_ONF", true},
        {"part naming no texture", 2, true, 3, "CAR_KIT00_BRAKELIGHT_ONF", true},
        {"no brake light", 0, false, 3, "", false},
        {"full list", 1, true, 100, "BRAKE_TX_ONF", false},
        {"only the 100th entry free", 1, true, 99, "BRAKE_TX_ONF", true, 99},
    };
    auto fill = [](uint8_t* list, sim::Ride* ride) {
        std::vector<uint32_t> stack(0x78 / 4, 0);
        stack[0] = 0x51, stack[1] = 0xB9, stack[2] = 0xB8;  // saved ESI, EBP, EBX
        stack[0x6C / 4] = sim::kReturnToSimulator;
        stack[0x74 / 4] = sim::Address(ride);
        sim::Registers entry = kEntry;
        entry.esi = sim::Address(list);
        const sim::Capture after = RunSite(kTextureListEpilogue, 0, entry, stack);
        EXPECT_EQ(after.esp, after.espAtSite + 0x70);
        return after.registers;
    };
    sim::Reset();
    const sim::Registers host = fill(NewTextureList(), &sim::NewRide(0));  // unpatched
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install("");
        const int32_t type = sim::AddCarType("CAR");
        sim::Ride& ride = sim::NewRide(type);
        if (c.brakeLight) {
            sim::Part& part = sim::AddPart("CAR_KIT00_LEFT_BRAKELIGHT", type, 30, true);
            if (c.brakeLight == 1) part.Set("TEXTURE_NAME", static_cast<int32_t>(sim::Hash("BRAKE_TX")));
            ride.parts[30] = &part;
        }
        if (c.hostHasTexture) AddTexture(c.key);
        uint8_t* list = NewTextureList();
        for (int i = 0; i <= c.taken && i < kTextureListCapacity; ++i) TextureListKeys(list)[i] = 0x900 + i;
        if (c.taken < kTextureListCapacity) TextureListKeys(list)[c.free] = 0;
        TextureListCount(list) = static_cast<uint32_t>(c.taken);
        TextureListBrakeLightOn(list) = 0xB0B0;
        std::vector<uint8_t> expected(list, list + 0x400);

        EXPECT_EQ(Kept(fill(list, &ride)), Kept(host));
        auto put = [&](uint32_t offset, uint32_t value) { std::memcpy(expected.data() + offset, &value, 4); };
        if (c.stored) put(4 * c.free, sim::Hash(c.key)), put(kTextureListCount, static_cast<uint32_t>(c.taken + 1));
        if (c.hostHasTexture) put(kTextureListBrakeLightOn, sim::Hash(c.key));
        EXPECT_EQ(std::vector<uint8_t>(list, list + 0x400), expected);
    }
}

}  // namespace
