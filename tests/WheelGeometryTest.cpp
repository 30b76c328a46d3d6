// Camber, track width and tire width, run from their patched sites in the simulated game;
// the steering animation step by step.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "HostLayout.h"
#include "Sim.h"
#include "SimWheels.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "startup/Installers.h"

namespace {

using namespace sim::wheels;
using sim::layout::kFrameTime;
using sim::layout::kGameMode;
using sim::layout::kSteeringAngle;

void LoadSettings(const std::string& mods) {
    testfolders::GameFolder folder("wheels");
    folder.Write("Morvane.ini", "[MODS]\n" + mods + "\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
}

// Leaves the steering animation idle.
void SettleSteering() {
    sim::Global<int32_t>(kGameMode) = 3;
    sim::Global<float>(kSteeringAngle) = 0.0f;
    morvane::SetSteerTarget(0.0f);
    morvane::StepSteerAnimation();
}

struct Fitted {
    int32_t slot;
    const char* attribute;
    float value;
};

sim::Ride& CarWith(std::initializer_list<Fitted> fitted) {
    const int32_t car = sim::AddCarType("WHEELCAR");
    sim::Ride& ride = sim::NewRide(car);
    for (const Fitted& f : fitted) {
        if (ride.parts[f.slot] == nullptr) ride.parts[f.slot] = &sim::AddPart("PART", car, f.slot);
        if (f.attribute) ride.parts[f.slot]->SetFloat(f.attribute, f.value);
    }
    return ride;
}

void ExpectUntouched(const sim::Capture& after, const sim::Run& run, bool exceptEax, bool exceptEbx) {
    const sim::Registers& a = after.registers;
    const sim::Registers& b = run.registers;
    if (!exceptEax) {
        EXPECT_EQ(a.eax, b.eax);
    }
    if (!exceptEbx) {
        EXPECT_EQ(a.ebx, b.ebx);
    }
    EXPECT_EQ(a.ecx, b.ecx);
    EXPECT_EQ(a.edx, b.edx);
    EXPECT_EQ(a.ebp, b.ebp);
    EXPECT_EQ(a.esi, b.esi);
    EXPECT_EQ(a.edi, b.edi);
    EXPECT_EQ(a.eflags & 0x8D5, b.eflags & 0x8D5);
    EXPECT_EQ(after.esp, after.espAtSite);
}

class WheelGeometryTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        LoadSettings("Camber = 1\nTrackWidth = 1\nTireWidth = 1");
        morvane::InstallWheelGeometry();
    }
};

TEST(WheelGeometryInstallTest, EachSiteIsWrittenOnlyWithItsSetting) {
    const struct {
        const char* mods;
        bool camber, track, tire;
    } cases[] = {{"", false, false, false},
                 {"Camber = 1", true, false, false},
                 {"TrackWidth = 1", false, true, false},
                 {"TireWidth = 1", false, false, true},
                 {"Camber = 1\nTrackWidth = 1\nTireWidth = 1\nNeon = 0", true, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mods);
        sim::Reset();
        LoadSettings(c.mods);
        morvane::InstallWheelGeometry();
        std::vector<uint32_t> expected;
        if (c.track) expected.push_back(kTrackWidthSite);
        if (c.tire) expected.push_back(kTireWidthSite);
        if (c.camber) expected.push_back(kCamberSite);
        std::vector<uint32_t> written;
        for (const sim::ByteRun& run : sim::ChangedRuns()) {
            if (run.address >= sim::layout::kDataBegin) continue;  // game data, not code
            written.push_back(run.address);
            EXPECT_LE(run.after.size(), 5u);
            EXPECT_EQ(run.after[0], 0xE9);
        }
        EXPECT_EQ(written, expected);
    }
}

TEST_F(WheelGeometryTest, CamberHandsTheAngleBackOnTheX87Top) {
    const struct {
        const char* label;
        bool noRide;
        std::initializer_list<Fitted> fitted;
        float expected;
    } cases[] = {
        {"no part in slot 68", false, {{69, "TIRE_OFFSET", 4.0f}}, 0.0f},
        {"camber part", false, {{68, "ANGLE", -2.5f}}, -2.5f},
        {"camber part without ANGLE", false, {{68, "TIRE_OFFSET", 3.0f}}, 0.0f},
        {"no ride record", true, {}, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWith(c.fitted);
        sim::Run run = CamberRun(c.noRide ? nullptr : &ride);
        run.x87 = {1.5f, -2.75f};  // the host's values in flight
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        ASSERT_EQ(after.x87.size(), 3u);
        EXPECT_EQ(after.x87[0], static_cast<long double>(c.expected));
        EXPECT_EQ(after.x87[1], -2.75L);
        EXPECT_EQ(after.x87[2], 1.5L);
        ExpectUntouched(after, run, false, false);
    }
}

TEST_F(WheelGeometryTest, TrackOffsetSumsTheAxlesParts) {
    constexpr uint32_t kFront = 0, kRear = 1;
    const struct {
        const char* label;
        uint32_t axle;
        int32_t thousandths;
        std::initializer_list<Fitted> fitted;
        float expected;
    } cases[] = {
        {"front, no parts: the host's 1000/1000", kFront, 1000, {}, 1.0f},
        {"rear, every part; the host's value ignored", kRear, 4321,
         {{23, "REAR_TIRE_OFFSET", 0.75f}, {75, "TIRE_OFFSET", 0.125f}, {69, "TIRE_OFFSET", 0.0625f}, {68, "ANGLE", 7.5f}},
         1.1875f},
        {"rear, body with a front offset only", kRear, 500, {{23, "FRONT_TIRE_OFFSET", 0.9f}}, 0.5f},
        {"front, body and front badging; rear badging ignored", kFront, 500,
         {{23, "FRONT_TIRE_OFFSET", 0.5f}, {73, "TIRE_OFFSET", 0.25f}, {75, "TIRE_OFFSET", 9.0f}}, 0.75f},
        {"any nonzero EBP is the rear; front badging ignored", 0x80000000u, -250, {{73, "TIRE_OFFSET", 9.0f}}, -0.25f},
        {"body part without offsets", kFront, 2000, {{23, nullptr, 0.0f}}, 2.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWith(c.fitted);
        sim::Run run = TrackWidthRun(sim::NewRenderRecord(&ride), c.axle, c.thousandths);
        run.x87 = {1.5f, -2.75f};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        ASSERT_EQ(after.x87.size(), 3u);
        EXPECT_EQ(after.x87[0], static_cast<long double>(c.expected));
        EXPECT_EQ(after.x87[1], -2.75L);
        ExpectUntouched(after, run, false, false);
        EXPECT_EQ(after.stack, run.stack);
    }
    // A render record without a ride record (or none at all): the host's value alone.
    for (uint8_t* record : {sim::NewRenderRecord(nullptr), static_cast<uint8_t*>(nullptr)}) {
        const sim::Capture after = sim::RunHostCode(TrackWidthRun(record, kRear, 1000));
        ASSERT_EQ(after.x87.size(), 1u);
        EXPECT_EQ(after.x87[0], 1.0L);
    }
}

// 1 + 2^-24 is not a 32-bit float: the sum rounds to 1 before -1 is added, so the answer
// is 0. With 80-bit x87 intermediates it would be 2^-24 (about 6e-8).
TEST_F(WheelGeometryTest, TrackOffsetSumsRoundAsFloats) {
    sim::Ride& ride = CarWith({{23, "REAR_TIRE_OFFSET", std::ldexp(1.0f, -24)}, {75, "TIRE_OFFSET", 1.0f},
                               {69, "TIRE_OFFSET", -1.0f}});
    const sim::Capture after = sim::RunHostCode(TrackWidthRun(sim::NewRenderRecord(&ride), 1, 0));
    ASSERT_EQ(after.x87.size(), 1u);
    EXPECT_EQ(after.x87[0], 0.0L);
}

TEST_F(WheelGeometryTest, TireWidthHandsTheBitsBackInEaxAndLoadsEbx) {
    const std::initializer_list<Fitted> both = {{70, "FRONT_TIRE_WIDTH", 1.5f}, {70, "REAR_TIRE_WIDTH", 2.0f}};
    const struct {
        const char* label;
        int32_t wheel;
        std::initializer_list<Fitted> fitted;
        float expected;  // of a host width 0.25
    } cases[] = {
        {"wheel 0 front", 0, both, 0.375f},
        {"wheel 1 front", 1, both, 0.375f},
        {"wheel 2 rear", 2, both, 0.5f},
        {"wheel 3 rear", 3, both, 0.5f},
        {"rear wheel, front factor only", 2, {{70, "FRONT_TIRE_WIDTH", 1.5f}}, 0.25f},
        {"factor 0.0", 0, {{70, "FRONT_TIRE_WIDTH", 0.0f}}, 0.25f},
        {"factor -0.0", 1, {{70, "FRONT_TIRE_WIDTH", -0.0f}}, 0.25f},
        {"negative factor", 0, {{70, "FRONT_TIRE_WIDTH", -1.0f}}, -0.25f},
        {"no tire part", 3, {}, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWith(c.fitted);
        uint8_t* record = sim::NewRenderRecord(&ride);
        sim::Field<uint32_t>(record, kTireWidthWord) = 0x1234ABCD;
        const float width = 0.25f;
        sim::Run run = TireWidthRun(record, &width, c.wheel);
        run.registers.eflags = 0x202 | 0x8D5;
        run.x87 = {1.5f, -2.75f};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.registers.eax, std::bit_cast<uint32_t>(c.expected));
        EXPECT_EQ(after.registers.ebx, 0x1234ABCDu);
        ExpectUntouched(after, run, true, true);
        ASSERT_EQ(after.x87.size(), 2u);
        EXPECT_EQ(after.x87[0], -2.75L);
        EXPECT_EQ(after.x87[1], 1.5L);
    }
}

TEST(SteerAnimationTest, StepsTowardTheTargetAndStopsWithinOne) {
    SettleSteering();
    float& angle = sim::Global<float>(kSteeringAngle);
    sim::Global<float>(kFrameTime) = 0.02f;
    angle = 30.0f;
    morvane::SetSteerTarget(0.0f);
    int moves = 0;
    for (float before = angle; moves < 100; before = angle, ++moves) {
        morvane::StepSteerAnimation();
        if (angle == before) break;
        EXPECT_NEAR(angle - before, -0.7f, 1e-5f);
    }
    EXPECT_EQ(moves, 42);  // 30 - 42 * 0.7 = 0.6: within 1.0, not snapped
    EXPECT_NEAR(angle, 0.6f, 1e-4f);
    angle = 10.0f;  // finished: a later step leaves any angle alone
    morvane::StepSteerAnimation();
    EXPECT_EQ(angle, 10.0f);
    SettleSteering();
}

TEST(SteerAnimationTest, SequencesOfSteps) {
    struct Step {
        int32_t mode;
        float angleAfter;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* label;
        float frameTime, angle, target;
        std::vector<Step> steps;
        float movedAway;  // after the steps the angle is set here; one more step in mode 3
        float afterThat;
    } cases[] = {
        {"a difference of exactly 1.0 stops at once", 0.1f, 1.0f, 0.0f, {{3, 1.0f}}, 5.0f, 5.0f},
        {"paused outside mode 3, resumes in mode 3", 0.1f, 10.0f, 0.0f,
         {{2, 10.0f}, {0, 10.0f}, {3, 6.5f}, {6, 6.5f}, {3, 3.0f}, {3, -0.5f}, {3, -0.5f}}, 5.0f, 5.0f},
        {"passes the target, then moves back", 0.1f, 2.0f, 0.0f, {{3, -1.5f}, {3, 2.0f}, {3, -1.5f}}, 5.0f, 1.5f},
        {"up toward a higher target", 0.1f, -20.0f, 25.0f, {{3, -16.5f}, {3, -13.0f}}, 24.5f, 24.5f},
        {"no number as target stops", 0.1f, 5.0f, nan, {{3, 5.0f}}, 7.0f, 7.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        SettleSteering();
        float& angle = sim::Global<float>(kSteeringAngle);
        sim::Global<float>(kFrameTime) = c.frameTime;
        angle = c.angle;
        morvane::SetSteerTarget(c.target);
        for (const Step& s : c.steps) {
            sim::Global<int32_t>(kGameMode) = s.mode;
            morvane::StepSteerAnimation();
            EXPECT_EQ(angle, s.angleAfter);
        }
        sim::Global<int32_t>(kGameMode) = 3;
        angle = c.movedAway;
        morvane::StepSteerAnimation();
        EXPECT_EQ(angle, c.afterThat);
    }
    SettleSteering();
}

}  // namespace
