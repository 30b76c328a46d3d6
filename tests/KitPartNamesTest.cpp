// Kit companion parts, the chosen-part record and the pop-up headlight answer, run from
// their patched sites in the simulated game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "parts/KitPartNames.h"
#include "patch/Patch.h"
#include "startup/Installers.h"

using namespace morvane;
namespace cat = sim::catalogue;

namespace {

constexpr uint32_t kApplySite = 0x85EAEC;
constexpr uint32_t kRecordSite = 0x8420F0;
constexpr uint32_t kPopUpSite = 0x865278;
constexpr uint32_t kNone = 0xFFFFFFFFu;

using Events = std::vector<std::string>;

// A part of the car's catalogue; fitted ones are also in the ride before the call.
struct PartSpec {
    int32_t slot;
    std::string name;
    bool stock = false;
    int32_t kit = 0;
    const char* attribute = nullptr;
    int32_t value = 0;
};

void LoadSettings(const std::string& text) {
    testfolders::GameFolder folder("kit-parts");
    folder.Write("Morvane.ini", text);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
}

void AddProfile(const std::string& name, const std::vector<int32_t>& enabled, bool popUp = false) {
    auto* profile = new CarProfile;
    profile->name = name;
    profile->popUpHeadLights = popUp;
    for (int32_t slot : enabled) profile->slotOverrides.push_back({1, kNone, kNone, slot, ""});
    AddCarProfile(profile);
}

sim::Part& Add(int32_t car, const PartSpec& spec) {
    sim::Part& part = sim::AddPart(spec.name, car, spec.slot, spec.stock);
    if (spec.kit) part.Set("KITNUMBER", spec.kit);
    if (spec.attribute) part.Set(spec.attribute, spec.value);
    return part;
}

// The host's call at 0x85EAEC: host object in ECX, ride and customization record on the stack.
sim::Capture RunApply(uint32_t ride, uint32_t record) {
    sim::Run run;
    run.site = kApplySite;
    run.resume = kApplySite + 5;
    run.registers = {0xA0, 0xC1, 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
    run.stack = {ride, record, 0x5117};
    return sim::RunHostCode(run);
}

class KitPartNamesTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetCarProfiles();
        LoadSettings("");
        InstallKitPartNames();
    }
};

TEST_F(KitPartNamesTest, InstallerWritesItsSitesExactly) {
    const struct {
        uint32_t begin, end;
    } sites[] = {{kRecordSite, kRecordSite + 5}, {kApplySite, kApplySite + 5}, {kPopUpSite, kPopUpSite + 5},
                 {0x865280, 0x865280 + 60}};
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        bool inside = false;
        for (const auto& site : sites) inside |= run.address >= site.begin && run.address + run.after.size() <= site.end;
        EXPECT_TRUE(inside) << std::hex << run.address;
    }
    const auto* code = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(kPopUpSite));
    EXPECT_EQ(code[0], 0xE8);
    EXPECT_EQ(GetBranchTarget(kPopUpSite), CodeAddress(&PopUpHeadlightState));
    EXPECT_EQ(std::vector<uint8_t>(code + 8, code + 8 + 60), std::vector<uint8_t>(60, 0x90));
    EXPECT_EQ(code[8 + 60], 0x00);
    EXPECT_EQ(ReadHost8(kApplySite), 0xE8);
    EXPECT_EQ(GetBranchTarget(kApplySite), CodeAddress(&ApplyKitParts));
    EXPECT_EQ(ReadHost8(kRecordSite), 0xE9);
    EXPECT_EQ(GetBranchTarget(kRecordSite), CodeAddress(&RecordChosenPart));
}

// Every rule, run from the patched call with a customization record: the fits by name,
// puts and clears in order.
TEST_F(KitPartNamesTest, RulesFitTheCompanionsInOrder) {
    const std::string longName(90, 'L');
    struct Row {
        const char* what;
        std::vector<int32_t> enabled;  // slots switched on for the car (32: rule 3 then does nothing)
        std::vector<PartSpec> fitted;
        std::vector<PartSpec> catalogue;
        std::vector<std::string> models;
        Events expected;
        bool popUp = false;
        std::string base = "RX8";
        int32_t bodyKind = 0;
    };
    const Events plainHeadlights = {"fit 32 RX8_LEFT_HEADLIGHT", "fit 42 RX8_RIGHT_HEADLIGHT",
                                    "fit 43 RX8_RIGHT_HEADLIGHT_GLASS", "fit 33 RX8_LEFT_HEADLIGHT_GLASS"};
    auto with = [](Events a, const Events& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Events noBody = {"fit 23 RX8_BODY_KIT00", "fit 87 RX8_KIT00_DOORLINE"};
    const PartSpec stockBody{23, "RX8_BODY_KIT00", true};
    const PartSpec kitBumper{72, "RX8_KIT05_FRONT_BUMPER", false, 5};
    const std::vector<Row> rows = {
        {"no body, plain body kind", {32}, {}, {}, {}, {"fit 23 RX8_BODY", "fit 87 RX8_KIT00_DOORLINE"}, false, "RX8", 2},
        {"stock body without bumpers: later rules see the KIT00 parts", {32}, {stockBody},
         {{72, "RX8_KIT00_FRONT_BUMPER", true}, {74, "RX8_KIT00_REAR_BUMPER", true}, {79, "RX8_KIT00_SKIRT", true}}, {},
         {"fit 72 RX8_KIT00_FRONT_BUMPER", "fit 74 RX8_KIT00_REAR_BUMPER", "fit 79 RX8_KIT00_SKIRT",
          "fit 87 RX8_KIT00_DOORLINE", "fit 73 RX8_KIT00_FRONT_BUMPER_BADGING_SET",
          "fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET", "fit 47 RX8_KIT00_EXHAUST", "fit 82 RX8_DOOR_LEFT",
          "fit 83 RX8_DOOR_RIGHT"}},
        {"body kit 3: no door line, no badging, KITW doors", {32}, {{23, "RX8_BODY_KIT03", false, 3}}, {}, {},
         {"clear 87", "clear 73", "clear 75", "clear 73", "clear 75", "fit 82 RX8_KITW03_DOOR_LEFT",
          "fit 83 RX8_KITW03_DOOR_RIGHT"}},
        {"pop-up headlights whatever the bumper", {32}, {kitBumper}, {}, {"RX8_KIT05_LEFT_HEADLIGHT_OFF_A"},
         with(noBody, {"fit 32 RX8_LEFT_HEADLIGHT_OFF", "fit 42 RX8_RIGHT_HEADLIGHT_OFF",
                       "fit 43 RX8_RIGHT_HEADLIGHT_GLASS_OFF", "fit 33 RX8_LEFT_HEADLIGHT_GLASS_OFF",
                       "fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET"}),
         true},
        {"bumper kit 5 with its headlight model: parts found by model hash, glass untouched", {}, {kitBumper},
         {{32, "RX8_KIT04_LEFT_HEADLIGHT_OFF"}, {32, "RX8_KIT05_LEFT_HEADLIGHT_OFF"}}, {"RX8_KIT05_LEFT_HEADLIGHT_OFF_A"},
         with(noBody, {"put 32 RX8_KIT05_LEFT_HEADLIGHT_OFF", "put 42 -", "fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET"})},
        {"bumper kit 5 without the model: plain headlights", {}, {kitBumper}, {}, {},
         with(with(noBody, plainHeadlights), {"fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET"})},
        {"a headlight name too long for its buffer is refused", {}, {{72, longName + "_KIT05_FRONT_BUMPER", false, 5}}, {},
         {longName + "_KIT05_LEFT_HEADLIGHT_OFF_A"},
         {"fit 23 " + longName + "_BODY_KIT00", "fit 87 " + longName + "_KIT00_DOORLINE",
          "fit 73 " + longName + "_KIT05_FRONT_BUMPER_BADGING_SET"}, false, longName},
        {"left headlight slot on: kit 4", {32}, {{32, "L", false, 4}}, {}, {},
         with(noBody, {"fit 42 RX8_KIT04_RIGHT_HEADLIGHT", "fit 43 RX8_KIT04_RIGHT_HEADLIGHT_GLASS",
                       "fit 33 RX8_KIT04_LEFT_HEADLIGHT_GLASS"})},
        {"left headlight slot on: kit 0", {32}, {{32, "L"}}, {}, {}, with(noBody, plainHeadlights)},
        {"mirror and brake lights of a kit", {32}, {{34, "M", false, 2}, {30, "B", false, 3}}, {}, {},
         with(noBody, {"fit 44 RX8_KIT02_RIGHT_SIDE_MIRROR", "fit 40 RX8_KIT03_RIGHT_BRAKELIGHT",
                       "fit 31 RX8_KIT03_LEFT_BRAKELIGHT_GLASS", "fit 41 RX8_KIT03_RIGHT_BRAKELIGHT_GLASS"})},
        {"kitless mirror and brake lights", {32}, {{34, "M"}, {30, "B"}}, {}, {},
         with(noBody, {"fit 44 RX8_RIGHT_SIDE_MIRROR", "fit 40 RX8_RIGHT_BRAKELIGHT", "fit 31 RX8_LEFT_BRAKELIGHT_GLASS",
                       "fit 41 RX8_RIGHT_BRAKELIGHT_GLASS"})},
        {"badging slots on: an empty one gets KIT00, a filled one is kept", {32, 73, 75},
         {{72, "F", false, 5}, {75, "RB"}}, {}, {}, with(noBody, {"fit 73 RX8_KIT00_FRONT_BUMPER_BADGING_SET"})},
        {"front brake kit 3 without rotor: kit 01 rotor, rear parts follow", {32}, {{24, "FB", false, 3}},
         {{25, "BRAKES_KIT01_FRONT_ROTOR", false, 1}}, {},
         with(noBody, {"fit 25 BRAKES_KIT01_FRONT_ROTOR", "fit 35 BRAKES_KIT03_REAR_BRAKE", "fit 36 BRAKES_KIT01_REAR_ROTOR"})},
        {"kitless rotor without brake", {32}, {{25, "FR"}}, {}, {},
         with(noBody, {"fit 24 RX8_FRONT_BRAKE", "fit 36 RX8_REAR_ROTOR"})},
        {"stock rear bumper using the exhaust marker", {32}, {{74, "R", true, 0, "USE_EXHAUST_MARKER", 1}}, {}, {},
         with(noBody, {"fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET"})},
        {"stock exhaust without marker behind a kit bumper", {32},
         {{74, "R", false, 2}, {47, "E", true, 0, "EXHAUST_MARKER", 0}}, {}, {},
         with(noBody, {"fit 75 RX8_KIT02_REAR_BUMPER_BADGING_SET", "fit 47 EXHAUST_STYLE17_LEVEL1"})},
        {"capped skirt: stock skirt, kit rear bumper", {32}, {{74, "R", false, 2}, {79, "S", true}}, {},
         {"RX8_KIT00_SKIRT_CAPPED_A"},
         with(noBody, {"fit 75 RX8_KIT02_REAR_BUMPER_BADGING_SET", "fit 79 RX8_KIT00_SKIRT_CAPPED",
                       "fit 47 EXHAUST_STYLE17_LEVEL1"})},
        {"capped skirt: kit skirt, stock rear bumper empties the exhaust", {32}, {{74, "R", true}, {79, "S", false, 1}},
         {}, {"RX8_KIT00_SKIRT_CAPPED_A"},
         with(noBody, {"fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET", "fit 47 RX8_KIT00_EXHAUST", "clear 47"})},
        {"left door slot on: right door of kit 2", {32, 82}, {{82, "D", false, 2}}, {}, {},
         with(noBody, {"fit 83 RX8_KIT02_DOOR_RIGHT"})},
        {"stock generic vinyl is emptied", {32}, {{94, "V", true}}, {}, {}, with(noBody, {"clear 94"})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        ResetCarProfiles();
        InstallKitPartNames();
        const int32_t car = sim::AddCarType(row.base);
        sim::Field<int32_t>(sim::CarTypeRecord(car), 0x94) = row.bodyKind;
        AddProfile(row.base, row.enabled, row.popUp);
        sim::Ride& ride = sim::NewRide(car);
        for (const PartSpec& spec : row.fitted) ride.parts[spec.slot] = &Add(car, spec);
        for (const PartSpec& spec : row.catalogue) Add(car, spec);
        for (const std::string& model : row.models) cat::AddModel(model);
        cat::Customization& record = cat::NewCustomization(car);

        const sim::Capture after = RunApply(sim::Address(&ride), sim::Address(&record));
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.esp, after.espAtSite + 8);
        EXPECT_EQ(after.registers.ebx, 0xB3u);
        EXPECT_EQ(after.registers.esi, 0x5Eu);
        EXPECT_EQ(after.registers.edi, 0xD1u);
        EXPECT_EQ(after.registers.ebp, 0xE4u);
        EXPECT_EQ(cat::Events(), row.expected);
        // Whatever the record was told, the ride was told too.
        for (const std::string& event : row.expected) {
            if (event.rfind("fit", 0) == 0) continue;
            const int32_t slot = std::stoi(event.substr(event.find(' ') + 1));
            EXPECT_EQ(ride.parts[slot], record.parts[slot]) << event;
        }
    }
}

TEST_F(KitPartNamesTest, WithoutRecordsOnlyTheRideChangesAndWithoutRideNothing) {
    const int32_t car = sim::AddCarType("RX8");
    AddProfile("RX8", {32});
    sim::Ride& ride = sim::NewRide(car);
    ride.parts[94] = &sim::AddPart("V", car, 94, true);
    EXPECT_EQ(RunApply(sim::Address(&ride), 0).esp % 4, 0u);
    EXPECT_EQ(ride.parts[94], nullptr);
    EXPECT_EQ(cat::Events(), (Events{"fit 23 RX8_BODY_KIT00", "fit 87 RX8_KIT00_DOORLINE"}));

    cat::ClearEvents();
    const sim::Capture after = RunApply(0, sim::Address(&cat::NewCustomization(car)));
    EXPECT_EQ(after.esp, after.espAtSite + 8);
    EXPECT_TRUE(cat::Events().empty());
}

// The chosen menu entry, recorded through the jump at the host routine's entry.
TEST_F(KitPartNamesTest, ChosenPartsKeepBodiesBrakesAndRotorsConsistent) {
    const int32_t car = sim::AddCarType("RX8");
    sim::Part& kitBody = Add(car, {23, "BODY3", false, 3});
    sim::Part& stockBody = Add(car, {23, "BODY0", true});
    sim::Part& kitBrake = Add(car, {24, "BRAKE2", false, 2});
    sim::Part& plainBrake = Add(car, {24, "BRAKE0"});
    sim::Part& kitRotor = Add(car, {25, "ROTOR1", false, 1});
    sim::Part& plainRotor = Add(car, {25, "ROTOR0"});
    const struct {
        const char* what;
        sim::Part* chosen;
        sim::Part* held;  // already in the record (slot 24 or 25)
        bool globalRecord;
        Events expected;
        uint32_t result;
    } rows[] = {
        {"body kit clears bumpers and skirt", &kitBody, nullptr, false,
         {"clear 72", "clear 74", "clear 79", "put 23 BODY3 flag 1"}, 1},
        {"stock body", &stockBody, nullptr, true, {"put 23 BODY0 flag 1"}, 1},
        {"plain brake against kit rotor", &plainBrake, &kitRotor, false, {"clear 25", "put 24 BRAKE0 flag 1"}, 1},
        {"kit brake keeps kit rotor", &kitBrake, &kitRotor, true, {"put 24 BRAKE2 flag 1"}, 1},
        {"kit rotor against plain brake", &kitRotor, &plainBrake, true, {"clear 24", "put 25 ROTOR1 flag 1"}, 1},
        {"plain rotor keeps plain brake", &plainRotor, &plainBrake, false, {"put 25 ROTOR0 flag 1"}, 1},
        {"the same part again", &plainRotor, &plainRotor, false, {"put 25 ROTOR0 flag 1"}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        cat::Customization& record = row.globalRecord ? cat::GlobalCustomization(car) : cat::NewCustomization(car);
        if (row.held) record.parts[row.held->slot] = row.held;
        uint8_t* entry = cat::NewMenuEntry(row.chosen, row.chosen->slot);
        sim::Run run;
        run.site = kRecordSite;
        run.registers.ecx = sim::Address(entry);
        run.registers.eax = 0xEEEE;
        // The flag is a byte: the rest of its stack slot is whatever the host left there.
        run.stack = {sim::kReturnToSimulator, row.globalRecord ? 0 : sim::Address(&record), 0xABCDEF01};
        cat::ClearEvents();
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.esp, after.espAtSite + 12);
        EXPECT_EQ(after.registers.eax, row.result);
        EXPECT_EQ(cat::Events(), row.expected);
        EXPECT_EQ(record.parts[row.chosen->slot], row.chosen);
    }
}

TEST_F(KitPartNamesTest, PopUpAnswerComesFromTheProfile) {
    const struct {
        const char* what;
        const char* settings;
        bool profile, popUp;
        uint32_t expected;
    } rows[] = {
        {"profile sets it", "", true, true, 5},
        {"profile leaves it, global sets it", "[GENERAL]\nPopUpHeadLights = 1\n", true, false, 0},
        {"no profile, global unset", "", false, false, 0},
        {"no profile, global set", "[GENERAL]\nPopUpHeadLights = 1\n", false, false, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        ResetCarProfiles();
        LoadSettings(row.settings);
        InstallKitPartNames();
        const int32_t car = sim::AddCarType("RX8");
        if (row.profile) AddProfile("RX8", {}, row.popUp);
        sim::Run run;
        run.site = kPopUpSite;
        run.resume = kPopUpSite + 5;
        run.registers = {0xA0, sim::Address(cat::NewCarObject(car)), 0xD2, 0xB3, 0xE4, 0x5E, 0xD1};
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.registers.eax, row.expected);
        EXPECT_EQ(after.esp, after.espAtSite);
        EXPECT_EQ(after.registers.ebx, 0xB3u);
    }
}

}  // namespace
