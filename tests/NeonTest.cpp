// Neon underglow, run from its patched sites in the simulated game; and the plug-in's
// start-up writing the neon and wheel sites its settings switch on.
#include <gtest/gtest.h>

#include <bit>

#include "HostLayout.h"
#include "Sim.h"
#include "SimNeon.h"
#include "SimWheels.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "startup/Installers.h"

namespace {

using namespace sim::neon;
using sim::layout::kFrameTime;
using sim::layout::kGameMode;
using sim::layout::kSteeringAngle;

struct Constant {
    uint32_t site;
    uint32_t bits;
};
constexpr Constant kConstants[] = {{0x7BE4F4, 0x40000000}, {0x7BE50D, 0x40000000}, {0x7BE501, 0x3F000000},
                                   {0x7BEA36, 0x428C0000}, {0x7BE5B9, 0x3F99999A}, {0x7BE5AB, 0x3F99999A},
                                   {0x7BE59B, 0x3F866666}, {0x7BE58B, 0x3F866666}};
constexpr uint32_t kRemoved = 0x7BEA3A;

const std::string kAllOn = "Neon = 1\nCamber = 1\nTrackWidth = 1\nTireWidth = 1";

void LoadSettings(const std::string& mods) {
    testfolders::GameFolder folder("neon");
    folder.Write("Morvane.ini", "[MODS]\n" + mods + "\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
}

void SettleSteering() {
    sim::Global<int32_t>(kGameMode) = 3;
    sim::Global<float>(kSteeringAngle) = 0.0f;
    morvane::SetSteerTarget(0.0f);
    morvane::StepSteerAnimation();
}

uint32_t Read32(uint32_t address) { return sim::Global<uint32_t>(address); }

// The code bytes changed, as (address, size) of each run.
std::vector<std::pair<uint32_t, size_t>> CodeRuns() {
    std::vector<std::pair<uint32_t, size_t>> runs;
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        if (run.address < sim::layout::kDataBegin) runs.emplace_back(run.address, run.after.size());
    }
    return runs;
}

// Every changed code byte lies in one of the writes the neon installer makes.
void ExpectNothingButNeonWrites() {
    std::vector<std::pair<uint32_t, uint32_t>> writes = {
        {kShadowTextureSite, 5}, {kNeonColorSite, 5}, {kRemoved, 6}};
    for (const Constant& c : kConstants) writes.emplace_back(c.site, 4);
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        if (run.address >= sim::layout::kDataBegin) continue;
        for (uint32_t i = 0; i < run.after.size(); ++i) {
            if (run.before[i] == run.after[i]) continue;
            const uint32_t at = run.address + i;
            bool inside = false;
            for (const auto& [site, size] : writes) inside |= at >= site && at < site + size;
            EXPECT_TRUE(inside) << std::hex << at;
        }
    }
}

// Every write of the neon installer is in place: the two jumps, the constants'
// addresses, the removed instruction.
void ExpectNeonSitesWritten() {
    EXPECT_EQ(sim::Global<uint8_t>(kShadowTextureSite), 0xE9);
    EXPECT_EQ(sim::Global<uint8_t>(kNeonColorSite), 0xE9);
    for (const Constant& c : kConstants) {
        const uint32_t constant = Read32(c.site);
        EXPECT_EQ(Read32(constant), c.bits) << std::hex << c.site;
        // In a module's read-only image: there for as long as the process runs.
        HMODULE owner = nullptr;
        EXPECT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                       reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(constant)), &owner));
        EXPECT_EQ(sim::ProtectionAt(constant), static_cast<DWORD>(PAGE_READONLY));
    }
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(sim::Global<uint8_t>(kRemoved + i), 0x90);
}

struct NeonPart {
    int32_t red = 0, green = 0, blue = 0, pulse = 0;
    const char* texture = nullptr;
};

sim::Ride& CarWithNeon(const NeonPart* neon) {
    const int32_t car = sim::AddCarType("NEONCAR");
    sim::Ride& ride = sim::NewRide(car);
    if (neon) {
        sim::Part& part = sim::AddPart("NEON", car, 71).Set("RED", neon->red).Set("GREEN", neon->green);
        part.Set("BLUE", neon->blue).Set("PULSE", neon->pulse);
        if (neon->texture) part.Set("TEXTURE_NAME", static_cast<int32_t>(sim::Hash(neon->texture)));
        ride.parts[71] = &part;
    }
    return ride;
}

void ExpectKept(const sim::Capture& after, const sim::Run& run) {
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    const sim::Registers& a = after.registers;
    const sim::Registers& b = run.registers;
    EXPECT_EQ(a.ebx, b.ebx);
    EXPECT_EQ(a.ecx, b.ecx);
    EXPECT_EQ(a.edx, b.edx);
    EXPECT_EQ(a.ebp, b.ebp);
    EXPECT_EQ(a.esi, b.esi);
    EXPECT_EQ(a.edi, b.edi);
    EXPECT_EQ(after.esp, after.espAtSite);
    ASSERT_EQ(after.x87.size(), run.x87.size());
    for (size_t i = 0; i < run.x87.size(); ++i) EXPECT_EQ(after.x87[i], run.x87[run.x87.size() - 1 - i]);
}

float& Intensity(uint8_t* record) { return sim::Field<float>(record, kPulseIntensity); }
float& Rate(uint8_t* record) { return sim::Field<float>(record, kPulseRate); }

class NeonTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        LoadSettings(kAllOn);
        morvane::InstallWheelGeometry();
        morvane::InstallNeon();
        SettleSteering();
        sim::Global<int32_t>(kGameMode) = 6;
        sim::Global<float>(kFrameTime) = 0.1f;
    }

    // Runs the colour site with the host's values in flight on the x87.
    sim::Capture Colour(uint8_t* record, uint32_t hostWord) {
        sim::Run run = NeonColorRun(record, hostWord);
        run.x87 = {3.0f};
        const sim::Capture after = sim::RunHostCode(run);
        ExpectKept(after, run);
        return after;
    }
};

TEST(NeonInstallTest, WritesItsSitesOnlyWithNeonOn) {
    sim::Reset();
    LoadSettings("Neon = 0\nCamber = 1");
    morvane::InstallNeon();
    EXPECT_TRUE(CodeRuns().empty());

    sim::Reset();
    LoadSettings("Neon = 1");
    morvane::InstallNeon();
    ExpectNothingButNeonWrites();
    ExpectNeonSitesWritten();
}

TEST_F(NeonTest, ColourWordFromTheNeonPart) {
    const NeonPart magenta{255, 0, 128, 0};
    const NeonPart pulsing{255, 0, 128, 1};
    const NeonPart hot{300, 0, 0, 0};
    const NeonPart dim{0x0F, 1, 0, 0};
    const struct {
        const char* label;
        const NeonPart* neon;
        bool noRide, paused;
        uint32_t hostWord, expected;
    } cases[] = {
        {"RED 255 BLUE 128 over 0x80000000", &magenta, false, false, 0x80000000, 0x808000FF},
        {"pulsing, paused at 0.5: 127.5 and 64 truncated", &pulsing, false, true, 0x80000000, 0x8040007F},
        {"RED 300 carries into green", &hot, false, false, 0x80000000, 0x8000012C},
        {"OR-ed into the host's own bits", &dim, false, false, 0x000000F1, 0x000001FF},
        {"no neon part: the host's word", nullptr, false, false, 0x80000000, 0x80000000},
        {"no ride record: 0", &magenta, true, false, 0x80000000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWithNeon(c.neon);
        uint8_t* record = sim::NewRenderRecord(c.noRide ? nullptr : &ride);
        Intensity(record) = 0.5f;
        Rate(record) = 1.2f;
        SetPaused(c.paused);
        EXPECT_EQ(Colour(record, c.hostWord).registers.eax, c.expected);
        EXPECT_EQ(Intensity(record), 0.5f);  // stepped only while pulsing and not paused
        EXPECT_EQ(Rate(record), 1.2f);
    }
}

TEST_F(NeonTest, PulseTurnsAtItsBoundsAndIsTakenOverInMode3) {
    const NeonPart part{200, 0, 0, 1};
    uint8_t* record = sim::NewRenderRecord(&CarWithNeon(&part));
    Intensity(record) = 0.95f;
    Rate(record) = 1.2f;
    const struct {
        float intensity, rate;
    } steps[] = {{1.0f, -1.2f}, {0.88f, -1.2f}, {0.76f, -1.2f}, {0.64f, -1.2f}, {0.52f, -1.2f},
                 {0.40f, -1.2f}, {0.3f, 1.2f},   {0.42f, 1.2f},  {0.54f, 1.2f}};
    for (const auto& s : steps) {
        const uint32_t colour = Colour(record, 0).registers.eax;
        EXPECT_NEAR(Intensity(record), s.intensity, 1e-5f);
        EXPECT_EQ(Rate(record), s.rate);
        EXPECT_EQ(colour, static_cast<uint32_t>(200.0f * Intensity(record)));  // red at that brightness
    }
    EXPECT_EQ(PauseQueries(), 9);
    const float last = Intensity(record);

    // The next car prepared in mode 3 continues where this one left off; in any other
    // mode it starts afresh.
    sim::Global<int32_t>(kGameMode) = 3;
    uint8_t* next = sim::NewRenderRecord(&CarWithNeon(&part));
    sim::RunHostCode(ShadowTextureRun(next));
    EXPECT_EQ(Intensity(next), last);
    EXPECT_EQ(Rate(next), 1.2f);
    EXPECT_TRUE(RandomBounds().empty());
    sim::Global<int32_t>(kGameMode) = 4;
    QueueRandom({70});
    sim::RunHostCode(ShadowTextureRun(next));
    EXPECT_EQ(Intensity(next), 1.0f);
    EXPECT_EQ(RandomBounds(), std::vector<int32_t>{101});
}

TEST_F(NeonTest, ShadowTextureAndAFreshPulse) {
    const NeonPart textured{1, 2, 3, 1, "NEON_GREEN"};
    const NeonPart plain{1, 2, 3, 1};
    const struct {
        const char* label;
        const NeonPart* neon;
        bool noRide;
        int32_t drawn;
        const char* texture;
        float intensity;
    } cases[] = {
        {"neon part with its texture", &textured, false, 57, "NEON_GREEN", 0.87f},
        {"neon part without TEXTURE_NAME", &plain, false, 199, "CARSHADOW", 1.29f},
        {"no neon part; a negative draw keeps its sign", nullptr, false, -150, "CARSHADOW", -0.2f},
        {"no ride record", nullptr, true, 0, "CARSHADOW", 0.3f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        LoadSettings(kAllOn);
        morvane::InstallNeon();
        sim::Global<int32_t>(kGameMode) = 6;
        sim::Ride& ride = CarWithNeon(c.neon);
        uint8_t* record = sim::NewRenderRecord(c.noRide ? nullptr : &ride);
        QueueRandom({c.drawn});
        sim::Run run = ShadowTextureRun(record);
        run.x87 = {3.0f, 4.0f};
        const sim::Capture after = sim::RunHostCode(run);
        ExpectKept(after, run);
        EXPECT_EQ(after.registers.eax, sim::Hash(c.texture));
        EXPECT_EQ(Intensity(record), c.intensity);
        EXPECT_EQ(Rate(record), 1.2f);
        EXPECT_EQ(RandomBounds(), std::vector<int32_t>{101});
    }
}

TEST_F(NeonTest, SteeringAdvancesOnlyThroughTheColourSite) {
    sim::Global<int32_t>(kGameMode) = 3;
    sim::Global<float>(kFrameTime) = 0.02f;
    float& angle = sim::Global<float>(kSteeringAngle);
    angle = 30.0f;
    morvane::SetSteerTarget(0.0f);
    sim::Ride& ride = CarWithNeon(nullptr);
    uint8_t* record = sim::NewRenderRecord(&ride);
    const float width = 1.0f;
    for (const sim::Run& run : {sim::wheels::CamberRun(&ride), sim::wheels::TrackWidthRun(record, 0, 1000),
                                sim::wheels::TireWidthRun(record, &width, 0), ShadowTextureRun(record)}) {
        sim::RunHostCode(run);
        EXPECT_EQ(angle, 30.0f) << std::hex << run.site;
    }
    Colour(record, 0);
    EXPECT_NEAR(angle, 29.3f, 1e-5f);
    Colour(sim::NewRenderRecord(nullptr), 0);  // the step comes first, whatever the car
    EXPECT_NEAR(angle, 28.6f, 1e-5f);
    SettleSteering();
}

// The plug-in itself, started by the game: its installers write what the settings ask for.
TEST(NeonStartupTest, ThePluginWritesTheSitesItsSettingsSwitchOn) {
    using namespace sim::wheels;
    {
        sim::Reset();
        testfolders::GameFolder folder("neon-off");
        folder.Write("Morvane.ini", "[MODS]\nNeon = 0\nCamber = 0\nTrackWidth = 0\nTireWidth = 0\n");
        ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);
        for (uint32_t site : {kShadowTextureSite, kNeonColorSite, kRemoved, kConstants[0].site, kCamberSite,
                              kTrackWidthSite, kTireWidthSite})
            EXPECT_FALSE(Patched(site)) << std::hex << site;
    }
    sim::Reset();
    testfolders::GameFolder folder("neon-on");
    folder.Write("Morvane.ini", "[MODS]\nNeon = 1\nCamber = 1\nTrackWidth = 0\nTireWidth = 1\n");
    ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);
    ExpectNeonSitesWritten();
    EXPECT_TRUE(Patched(kCamberSite));
    EXPECT_FALSE(Patched(kTrackWidthSite));
    EXPECT_TRUE(Patched(kTireWidthSite));

    // The first car prepared in mode 3 after start-up: nothing saved, so a fresh pulse
    // (99 drawn: 1.29), clamped to 1.0 at its first step.
    sim::Global<int32_t>(kGameMode) = 3;
    sim::Global<float>(kFrameTime) = 0.1f;
    const NeonPart part{200, 0, 0, 1, "NEON_RED"};
    sim::Ride& ride = CarWithNeon(&part);
    uint8_t* record = sim::NewRenderRecord(&ride);
    QueueRandom({99});
    EXPECT_EQ(sim::RunHostCode(ShadowTextureRun(record)).registers.eax, sim::Hash("NEON_RED"));
    EXPECT_EQ(Intensity(record), 1.29f);
    EXPECT_EQ(Rate(record), 1.2f);
    EXPECT_EQ(sim::RunHostCode(NeonColorRun(record, 0x80000000)).registers.eax, 0x800000C8u);
    EXPECT_EQ(Intensity(record), 1.0f);
    EXPECT_EQ(Rate(record), -1.2f);

    ride.parts[68] = &sim::AddPart("CAMBER", ride.carType, 68).SetFloat("ANGLE", 1.75f);
    const sim::Capture camber = sim::RunHostCode(CamberRun(&ride));
    ASSERT_EQ(camber.x87.size(), 1u);
    EXPECT_EQ(camber.x87[0], 1.75L);
}

}  // namespace
