// Neon underglow, run from its patched sites in the simulated game, also right after the
// plug-in's own start-up.
#include <gtest/gtest.h>

#include <tuple>

#include "HostLayout.h"
#include "SimNeon.h"
#include "SimWheels.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "feature/SteerAnimation.h"
#include "effects/Neon.h"
#include "effects/WheelGeometry.h"

namespace {

using namespace sim::neon;
using namespace sim::layout;

testfolders::GameFolder GameFolderWith(const std::string& mods) {
    testfolders::GameFolder folder("neon");
    folder.Write("Morvane.ini", "[MODS]\n" + mods + "\n");
    return folder;
}

void LoadSettings(const std::string& mods) { morvane::LoadGlobalSettings(GameFolderWith(mods).path() + "Morvane.ini"); }

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

// Runs a site with a host value in flight on the x87; the hook keeps every register but
// EAX, ESP and the x87 stack.
sim::Capture RunKeeping(sim::Run run) {
    run.x87 = {3.0f};
    const sim::Capture after = sim::RunHostCode(run);
    const sim::Registers &a = after.registers, &b = run.registers;
    EXPECT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(std::tie(a.ebx, a.ecx, a.edx, a.ebp, a.esi, a.edi), std::tie(b.ebx, b.ecx, b.edx, b.ebp, b.esi, b.edi));
    EXPECT_EQ(after.esp, after.espAtSite);
    EXPECT_EQ(after.x87, std::vector<long double>{3.0L});
    return after;
}

float& Intensity(uint8_t* record) { return sim::Field<float>(record, kPulseIntensity); }
float& Rate(uint8_t* record) { return sim::Field<float>(record, kPulseRate); }

class NeonTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        LoadSettings("Neon = 1\nCamber = 1\nTrackWidth = 1\nTireWidth = 1");
        morvane::InstallWheelGeometry();
        morvane::InstallNeon();
        sim::Global<int32_t>(kGameMode) = 6;
        sim::Global<float>(kFrameTime) = 0.1f;
    }
};

TEST_F(NeonTest, ColourWordFromTheNeonPart) {
    const NeonPart magenta{255, 0, 128, 0}, pulsing{255, 0, 128, 1}, hot{300, 0, 0, 0}, dim{0x0F, 1, 0, 0};
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
        EXPECT_EQ(RunKeeping(NeonColorRun(record, c.hostWord)).registers.eax, c.expected);
        EXPECT_EQ(std::tie(Intensity(record), Rate(record)), std::make_tuple(0.5f, 1.2f));  // not stepped
    }
}

TEST_F(NeonTest, PulseTurnsAtItsBoundsAndIsTakenOverInMode3) {
    const NeonPart part{200, 0, 0, 1};
    // A step landing exactly on a bound keeps its direction: the pulse turns only beyond it.
    sim::Global<float>(kFrameTime) = 0.25f;
    for (const auto& [from, rate, to] : {std::tuple{0.875f, 0.5f, 1.0f}, std::tuple{0.3f + 0.125f, -0.5f, 0.3f}}) {
        uint8_t* record = sim::NewRenderRecord(&CarWithNeon(&part));
        std::tie(Intensity(record), Rate(record)) = std::tuple(from, rate);
        RunKeeping(NeonColorRun(record, 0));
        EXPECT_EQ(std::tie(Intensity(record), Rate(record)), std::make_tuple(to, rate)) << from;
    }
    sim::Global<float>(kFrameTime) = 0.1f;
    const int pauseQueries = PauseQueries();
    uint8_t* record = sim::NewRenderRecord(&CarWithNeon(&part));
    Intensity(record) = 0.95f;
    Rate(record) = 1.2f;
    const std::pair<float, float> steps[] = {{1.0f, -1.2f}, {0.88f, -1.2f}, {0.76f, -1.2f}, {0.64f, -1.2f}, {0.52f, -1.2f},
                                             {0.40f, -1.2f}, {0.3f, 1.2f},   {0.42f, 1.2f},  {0.54f, 1.2f}};
    for (const auto& [intensity, rate] : steps) {
        const uint32_t colour = RunKeeping(NeonColorRun(record, 0)).registers.eax;
        EXPECT_NEAR(Intensity(record), intensity, 1e-5f);
        EXPECT_EQ(Rate(record), rate);
        EXPECT_EQ(colour, static_cast<uint32_t>(200.0f * Intensity(record)));  // red at that brightness
    }
    EXPECT_EQ(PauseQueries() - pauseQueries, 9);

    // The next car prepared in mode 3 continues where this one left off; in another mode
    // it draws afresh.
    uint8_t* next = sim::NewRenderRecord(&CarWithNeon(&part));
    sim::Global<int32_t>(kGameMode) = 3;
    RunKeeping(ShadowTextureRun(next));
    EXPECT_EQ(std::tie(Intensity(next), Rate(next)), std::tie(Intensity(record), Rate(record)));
    EXPECT_TRUE(RandomBounds().empty());
    sim::Global<int32_t>(kGameMode) = 4;
    QueueRandom({70});
    RunKeeping(ShadowTextureRun(next));
    EXPECT_EQ(std::tie(Intensity(next), Rate(next)), std::make_tuple(1.0f, 1.2f));
}

TEST_F(NeonTest, ShadowTextureAndAFreshPulse) {
    const NeonPart textured{1, 2, 3, 1, "NEON_GREEN"}, plain{1, 2, 3, 1};
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
        {"no ride record", &textured, true, 0, "CARSHADOW", 0.3f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWithNeon(c.neon);
        uint8_t* record = sim::NewRenderRecord(c.noRide ? nullptr : &ride);
        QueueRandom({c.drawn});
        const size_t draws = RandomBounds().size();
        EXPECT_EQ(RunKeeping(ShadowTextureRun(record)).registers.eax, sim::Hash(c.texture));
        EXPECT_EQ(std::tie(Intensity(record), Rate(record)), std::make_tuple(c.intensity, 1.2f));
        EXPECT_EQ(RandomBounds().size(), draws + 1);
        EXPECT_EQ(RandomBounds().back(), 101);
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
    RunKeeping(NeonColorRun(record, 0));
    EXPECT_NEAR(angle, 29.3f, 1e-5f);
    RunKeeping(NeonColorRun(sim::NewRenderRecord(nullptr), 0));  // the step comes first, whatever the car
    EXPECT_NEAR(angle, 28.6f, 1e-5f);
    angle = 0.0f;
    morvane::StepSteerAnimation();  // within reach: the animation is over
    angle = 15.0f;                  // the game turns the wheels itself now
    RunKeeping(NeonColorRun(record, 0));
    EXPECT_EQ(angle, 15.0f);
}

// The plug-in itself, started by the game: the first car prepared in mode 3 after start-up
// has no pulse to take over, so it draws a fresh one (99 drawn: 1.29), clamped to 1.0 at
// its first step.
TEST(NeonStartupTest, TheFirstCarInMode3AfterStartUpDrawsAFreshPulse) {
    sim::Reset();
    ASSERT_NE(sim::LoadPlugin(GameFolderWith("Neon = 1\nCamber = 1\nTrackWidth = 0\nTireWidth = 1").CopyPlugin()), nullptr);
    sim::Global<int32_t>(kGameMode) = 3;
    sim::Global<float>(kFrameTime) = 0.1f;
    const NeonPart part{200, 0, 0, 1, "NEON_RED"};
    sim::Ride& ride = CarWithNeon(&part);
    uint8_t* record = sim::NewRenderRecord(&ride);
    QueueRandom({99});
    EXPECT_EQ(RunKeeping(ShadowTextureRun(record)).registers.eax, sim::Hash("NEON_RED"));
    EXPECT_EQ(std::tie(Intensity(record), Rate(record)), std::make_tuple(1.29f, 1.2f));
    EXPECT_EQ(RunKeeping(NeonColorRun(record, 0x80000000)).registers.eax, 0x800000C8u);
    EXPECT_EQ(std::tie(Intensity(record), Rate(record)), std::make_tuple(1.0f, -1.2f));
}

}  // namespace
