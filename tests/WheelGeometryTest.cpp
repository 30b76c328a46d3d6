// Camber, track width and tire width, run from their patched sites in the simulated game;
// the steering animation step by step.
#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <tuple>

#include "HostLayout.h"
#include "SimWheels.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "feature/SteerAnimation.h"
#include "effects/WheelGeometry.h"

namespace {

using namespace sim::wheels;
using namespace sim::layout;

void LoadSettings(const std::string& mods) {
    testfolders::GameFolder folder("wheels");
    folder.Write("Morvane.ini", "[MODS]\n" + mods + "\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
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

// Runs a site with two host values in flight on the x87 and checks every register the
// hook must keep (all but EAX and EBX where the hook hands those back), ESP and the flags.
sim::Capture RunKeeping(sim::Run run, bool keepEaxEbx = true) {
    run.registers.eflags = 0x202 | 0x8D5;
    run.x87 = {1.5f, -2.75f};
    const sim::Capture after = sim::RunHostCode(run);
    const sim::Registers &a = after.registers, &b = run.registers;
    EXPECT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(std::tie(a.ecx, a.edx, a.ebp, a.esi, a.edi, a.eflags), std::tie(b.ecx, b.edx, b.ebp, b.esi, b.edi, b.eflags));
    if (keepEaxEbx) {
        EXPECT_EQ(std::tie(a.eax, a.ebx), std::tie(b.eax, b.ebx));
    }
    EXPECT_EQ(after.esp, after.espAtSite);
    return after;
}

// The x87 stack after a hook that pushed `result` above the host's two values.
std::vector<long double> Pushed(float result) { return {result, -2.75L, 1.5L}; }

class WheelGeometryTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        LoadSettings("Camber = 1\nTrackWidth = 1\nTireWidth = 1");
        morvane::InstallWheelGeometry();
    }
};

TEST_F(WheelGeometryTest, CamberGoesOnTheX87TopAboveTheHostsValues) {
    const struct {
        const char* label;
        bool noRide;
        std::initializer_list<Fitted> fitted;
        float expected;
    } cases[] = {{"no part in slot 68", false, {{69, "TIRE_OFFSET", 4.0f}}, 0.0f},
                 {"camber part", false, {{68, "ANGLE", -2.5f}}, -2.5f},
                 {"camber part without ANGLE", false, {{68, "TIRE_OFFSET", 3.0f}}, 0.0f},
                 {"no ride record", true, {}, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWith(c.fitted);
        EXPECT_EQ(RunKeeping(CamberRun(c.noRide ? nullptr : &ride)).x87, Pushed(c.expected));
    }
}

TEST_F(WheelGeometryTest, TrackOffsetSumsTheAxlesParts) {
    const struct {
        const char* label;
        uint32_t axle;  // EBP
        int32_t thousandths;
        std::initializer_list<Fitted> fitted;
        float expected;
    } cases[] = {
        {"front, no parts: the host's 1000/1000", 0, 1000, {}, 1.0f},
        {"rear, every part; the host's value ignored", 1, 4321,
         {{23, "REAR_TIRE_OFFSET", 0.75f}, {75, "TIRE_OFFSET", 0.125f}, {69, "TIRE_OFFSET", 0.0625f}, {68, "ANGLE", 7.5f}},
         1.1875f},
        {"rear, body with a front offset only", 1, 500, {{23, "FRONT_TIRE_OFFSET", 0.9f}}, 0.5f},
        {"front: body and front badging, not the rear's", 0, 500,
         {{23, "FRONT_TIRE_OFFSET", 0.5f}, {73, "TIRE_OFFSET", 0.25f}, {75, "TIRE_OFFSET", 9.0f}}, 0.75f},
        {"any nonzero EBP is the rear", 0x80000000u, -250, {{73, "TIRE_OFFSET", 9.0f}}, -0.25f},
        {"body part without offsets", 0, 2000, {{23, nullptr, 0.0f}}, 2.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Ride& ride = CarWith(c.fitted);
        EXPECT_EQ(RunKeeping(TrackWidthRun(sim::NewRenderRecord(&ride), c.axle, c.thousandths)).x87, Pushed(c.expected));
    }
    // A render record without a ride record, or none at all: the host's value alone.
    for (uint8_t* record : {sim::NewRenderRecord(nullptr), static_cast<uint8_t*>(nullptr)})
        EXPECT_EQ(RunKeeping(TrackWidthRun(record, 1, 1000)).x87, Pushed(1.0f));
}

// The camber's share, 1.25 / 30, is rounded to a 32-bit float before the spacer's 0.0625
// is added: 0x3DD55556. Kept in an 80-bit x87 register the quotient would give 0x3DD55555.
TEST_F(WheelGeometryTest, TrackOffsetSumsRoundAsFloats) {
    sim::Ride& ride = CarWith({{68, "ANGLE", 1.25f}, {69, "TIRE_OFFSET", 0.0625f}});
    const sim::Capture after = RunKeeping(TrackWidthRun(sim::NewRenderRecord(&ride), 0, 0));
    EXPECT_EQ(after.x87, Pushed(std::bit_cast<float>(0x3DD55556u)));
}

TEST_F(WheelGeometryTest, TireWidthBitsInEaxThenTheHostsLoadOfEbx) {
    const std::initializer_list<Fitted> both = {{70, "FRONT_TIRE_WIDTH", 1.5f}, {70, "REAR_TIRE_WIDTH", 2.0f}};
    const struct {
        const char* label;
        int32_t wheel;
        std::initializer_list<Fitted> fitted;
        float expected;  // of the host's width 0.25
    } cases[] = {{"wheel 0 front", 0, both, 0.375f},
                 {"wheel 1 front", 1, both, 0.375f},
                 {"wheel 2 rear", 2, both, 0.5f},
                 {"wheel 3 rear", 3, both, 0.5f},
                 {"wheel -1: below 2, compared signed", -1, both, 0.375f},
                 {"rear wheel, front factor only", 2, {{70, "FRONT_TIRE_WIDTH", 1.5f}}, 0.25f},
                 {"factor 0.0", 0, {{70, "FRONT_TIRE_WIDTH", 0.0f}}, 0.25f},
                 {"factor -0.0", 1, {{70, "FRONT_TIRE_WIDTH", -0.0f}}, 0.25f},
                 {"negative factor", 0, {{70, "FRONT_TIRE_WIDTH", -1.0f}}, -0.25f},
                 {"no tire part", 3, {}, 0.25f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        uint8_t* record = sim::NewRenderRecord(&CarWith(c.fitted));
        sim::Field<uint32_t>(record, kTireWidthWord) = 0x1234ABCD;
        const float width = 0.25f;
        const sim::Capture after = RunKeeping(TireWidthRun(record, &width, c.wheel), false);
        EXPECT_EQ(after.registers.eax, std::bit_cast<uint32_t>(c.expected));
        EXPECT_EQ(after.registers.ebx, 0x1234ABCDu);
        EXPECT_EQ(after.x87, std::vector<long double>({-2.75L, 1.5L}));
    }
}

TEST(SteerAnimationTest, SequencesOfSteps) {
    struct Steps {
        int32_t mode, count;
        float angleAfter;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* label;
        float frameTime, angle, target;
        std::vector<Steps> steps;
        float movedAway, afterThat;  // then the angle is moved here and stepped once more
    } cases[] = {
        {"30 to 0 by 0.7 a step, stopping within 1.0", 0.02f, 30.0f, 0.0f, {{3, 1, 29.3f}, {3, 41, 0.6f}, {3, 5, 0.6f}},
         10.0f, 10.0f},
        {"a difference of exactly 1.0 stops at once", 0.1f, 1.0f, 0.0f, {{3, 1, 1.0f}}, 5.0f, 5.0f},
        {"so does one of exactly 1.0 below the target", 0.1f, 19.0f, 20.0f, {{3, 1, 19.0f}}, 5.0f, 5.0f},
        {"paused outside mode 3, resumes in mode 3", 0.1f, 10.0f, 0.0f,
         {{2, 1, 10.0f}, {0, 1, 10.0f}, {3, 1, 6.5f}, {6, 3, 6.5f}, {3, 2, -0.5f}, {3, 1, -0.5f}}, 5.0f, 5.0f},
        {"passes the target, then moves back", 0.1f, 2.0f, 0.0f, {{3, 1, -1.5f}, {3, 1, 2.0f}}, 5.0f, 1.5f},
        {"up toward a higher target", 0.1f, -20.0f, 25.0f, {{3, 2, -13.0f}}, 24.5f, 24.5f},
        {"no number as target stops", 0.1f, 5.0f, nan, {{3, 1, 5.0f}}, 7.0f, 7.0f},
    };
    float& angle = sim::Global<float>(kSteeringAngle);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Global<float>(kFrameTime) = c.frameTime;
        angle = c.angle;
        morvane::SetSteerTarget(c.target);
        for (const Steps& s : c.steps) {
            sim::Global<int32_t>(kGameMode) = s.mode;
            for (int i = 0; i < s.count; ++i) morvane::StepSteerAnimation();
            EXPECT_NEAR(angle, s.angleAfter, 1e-4f);
        }
        sim::Global<int32_t>(kGameMode) = 3;
        angle = c.movedAway;
        morvane::StepSteerAnimation();
        EXPECT_EQ(angle, c.afterThat);
    }
}

}  // namespace
