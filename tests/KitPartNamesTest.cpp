// Kit companion parts, the chosen-part record and the pop-up headlight answer, run from
// their patched sites in the simulated game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GameSites.h"
#include "SimCatalogue.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "parts/KitPartNames.h"

using namespace morvane;
namespace cat = sim::catalogue;

namespace {

const uint32_t kApplySite = sim::AddressOf("call that fits the dependent parts");
const uint32_t kRecordSite = sim::AddressOf("routine that records the chosen part");
const uint32_t kPopUpSite = sim::AddressOf("pop-up headlight query");
using cat::AddParts;
using cat::Split;

void Start(const std::string& settings) {
    sim::Reset();
    ResetCarProfiles();
    testfolders::GameFolder folder("kit-parts");
    folder.Write("Morvane.ini", settings);
    LoadGlobalSettings(folder.path() + "Morvane.ini");
    InstallKitPartNames();
}

void AddProfile(const std::string& name, const std::string& enabledSlots, bool popUp, bool sunRoof = false) {
    auto profile = std::make_unique<CarProfile>();
    profile->name = name;
    profile->popUpHeadLights = popUp;
    profile->sunRoof = sunRoof;
    for (const std::string& slot : Split(enabledSlots, ' ')) {
        profile->slotOverrides.push_back({1, host::kNoName, host::kNoName, std::stoi(slot), ""});
    }
    AddCarProfile(std::move(profile));
}

sim::Capture RunSite(uint32_t site, uint32_t ecx, std::vector<uint32_t> stack, uint32_t resume) {
    const sim::Capture after = cat::RunAt(site, resume, ecx, std::move(stack));
    EXPECT_EQ(after.exit, resume ? sim::Exit::Resumed : sim::Exit::Returned);
    EXPECT_TRUE(cat::KeptRegisters(after));
    return after;
}

// Every rule, run from the patched call with a customization record: fits by name, puts
// and clears in order. Slot 32 switched on with no headlight fitted keeps rule 3 quiet.
TEST(KitPartNames, RulesFitTheCompanionsInOrder) {
    const std::string noBody = "fit 23 RX8_BODY_KIT00, fit 87 RX8_KIT00_DOORLINE, ";
    const std::string plainLights = "fit 32 RX8_LEFT_HEADLIGHT, fit 42 RX8_RIGHT_HEADLIGHT, "
                                    "fit 43 RX8_RIGHT_HEADLIGHT_GLASS, fit 33 RX8_LEFT_HEADLIGHT_GLASS, ";
    const std::string L(90, 'L');
    struct Row {
        const char* what;
        std::string enabled, fitted, catalogue, models, expected;
        bool popUp = false;
        int32_t bodyKind = 0;
        std::string base = "RX8";
        bool sunRoof = false;
    };
    std::vector<Row> rows = {
        {"no body, plain body kind", "32", "", "", "", "fit 23 RX8_BODY, fit 87 RX8_KIT00_DOORLINE", false, 2},
        {"stock body without bumpers: later rules see the KIT00 parts", "32", "23 RX8_BODY_KIT00 stock",
         "72 RX8_KIT00_FRONT_BUMPER stock, 74 RX8_KIT00_REAR_BUMPER stock, 79 RX8_KIT00_SKIRT stock", "",
         "fit 72 RX8_KIT00_FRONT_BUMPER, fit 74 RX8_KIT00_REAR_BUMPER, fit 79 RX8_KIT00_SKIRT, fit 87 RX8_KIT00_DOORLINE, "
         "fit 73 RX8_KIT00_FRONT_BUMPER_BADGING_SET, fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET, fit 47 RX8_KIT00_EXHAUST, "
         "fit 82 RX8_DOOR_LEFT, fit 83 RX8_DOOR_RIGHT"},
        {"body kit 3: no door line, no badging, KITW doors", "32", "23 B kit=3", "", "",
         "clear 87, clear 73, clear 75, clear 73, clear 75, fit 82 RX8_KITW03_DOOR_LEFT, fit 83 RX8_KITW03_DOOR_RIGHT"},
        {"pop-up headlights whatever the bumper", "32", "72 F kit=5", "", "RX8_KIT05_LEFT_HEADLIGHT_OFF_A",
         noBody + "fit 32 RX8_LEFT_HEADLIGHT_OFF, fit 42 RX8_RIGHT_HEADLIGHT_OFF, fit 43 RX8_RIGHT_HEADLIGHT_GLASS_OFF, "
                  "fit 33 RX8_LEFT_HEADLIGHT_GLASS_OFF, fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET", true},
        {"bumper kit 5 and its headlight model: parts by model hash, glass untouched", "", "72 F kit=5",
         "32 RX8_KIT04_LEFT_HEADLIGHT_OFF, 32 RX8_KIT05_LEFT_HEADLIGHT_OFF", "RX8_KIT05_LEFT_HEADLIGHT_OFF_A",
         noBody + "put 32 RX8_KIT05_LEFT_HEADLIGHT_OFF, put 42 -, fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET"},
        {"bumper kit 123: its number in full, as the game writes it", "", "72 F kit=123",
         "32 RX8_KIT123_LEFT_HEADLIGHT_OFF", "RX8_KIT123_LEFT_HEADLIGHT_OFF_A",
         noBody + "put 32 RX8_KIT123_LEFT_HEADLIGHT_OFF, put 42 -, fit 73 RX8_KIT123_FRONT_BUMPER_BADGING_SET"},
        {"bumper kit 5 without the model: plain headlights", "", "72 F kit=5", "", "",
         noBody + plainLights + "fit 73 RX8_KIT05_FRONT_BUMPER_BADGING_SET"},
        {"a headlight name too long for its buffer is refused", "", "72 F kit=5", "", L + "_KIT05_LEFT_HEADLIGHT_OFF_A",
         "fit 23 " + L + "_BODY_KIT00, fit 87 " + L + "_KIT00_DOORLINE, fit 73 " + L + "_KIT05_FRONT_BUMPER_BADGING_SET",
         false, 0, L},
        {"left headlight slot on: kit 4", "32", "32 H kit=4", "", "",
         noBody + "fit 42 RX8_KIT04_RIGHT_HEADLIGHT, fit 43 RX8_KIT04_RIGHT_HEADLIGHT_GLASS, "
                  "fit 33 RX8_KIT04_LEFT_HEADLIGHT_GLASS"},
        {"left headlight slot on: kit 0", "32", "32 H", "", "", noBody + plainLights},
        {"mirror and brake lights of a kit", "32", "34 M kit=2, 30 B kit=3", "", "",
         noBody + "fit 44 RX8_KIT02_RIGHT_SIDE_MIRROR, fit 40 RX8_KIT03_RIGHT_BRAKELIGHT, "
                  "fit 31 RX8_KIT03_LEFT_BRAKELIGHT_GLASS, fit 41 RX8_KIT03_RIGHT_BRAKELIGHT_GLASS"},
        {"kitless mirror and brake lights", "32", "34 M, 30 B", "", "",
         noBody + "fit 44 RX8_RIGHT_SIDE_MIRROR, fit 40 RX8_RIGHT_BRAKELIGHT, fit 31 RX8_LEFT_BRAKELIGHT_GLASS, "
                  "fit 41 RX8_RIGHT_BRAKELIGHT_GLASS"},
        {"badging slots on: an empty one gets KIT00, a filled one is kept", "32 73 75", "72 F kit=5, 75 RB", "", "",
         noBody + "fit 73 RX8_KIT00_FRONT_BUMPER_BADGING_SET"},
        {"front brake kit 3 without rotor: kit 01 rotor, rear parts follow", "32", "24 FB kit=3",
         "25 BRAKES_KIT01_FRONT_ROTOR kit=1", "",
         noBody + "fit 25 BRAKES_KIT01_FRONT_ROTOR, fit 35 BRAKES_KIT03_REAR_BRAKE, fit 36 BRAKES_KIT01_REAR_ROTOR"},
        {"kitless rotor without brake", "32", "25 FR", "", "", noBody + "fit 24 RX8_FRONT_BRAKE, fit 36 RX8_REAR_ROTOR"},
        {"kit rotor without brake: kit 01 brake", "32", "25 FR kit=2", "24 BRAKES_KIT01_FRONT_BRAKE kit=1", "",
         noBody + "fit 24 BRAKES_KIT01_FRONT_BRAKE, fit 35 BRAKES_KIT01_REAR_BRAKE, fit 36 BRAKES_KIT02_REAR_ROTOR"},
        {"kitless brake without rotor", "32", "24 FB", "25 RX8_FRONT_ROTOR", "",
         noBody + "fit 25 RX8_FRONT_ROTOR, fit 35 RX8_REAR_BRAKE, fit 36 RX8_REAR_ROTOR"},
        {"brake and rotor both fitted", "32", "24 FB kit=3, 25 FR", "", "",
         noBody + "fit 35 BRAKES_KIT03_REAR_BRAKE, fit 36 RX8_REAR_ROTOR"},
        {"stock rear bumper using the exhaust marker", "32", "74 R stock USE_EXHAUST_MARKER=1", "", "",
         noBody + "fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET"},
        {"stock exhaust without marker behind a kit bumper", "32", "74 R kit=2, 47 E stock EXHAUST_MARKER=0", "", "",
         noBody + "fit 75 RX8_KIT02_REAR_BUMPER_BADGING_SET, fit 47 EXHAUST_STYLE17_LEVEL1"},
        {"capped skirt: stock skirt, kit rear bumper", "32", "74 R kit=2, 79 S stock", "", "RX8_KIT00_SKIRT_CAPPED_A",
         noBody + "fit 75 RX8_KIT02_REAR_BUMPER_BADGING_SET, fit 79 RX8_KIT00_SKIRT_CAPPED, fit 47 EXHAUST_STYLE17_LEVEL1"},
        {"capped skirt: kit skirt, stock rear bumper empties the exhaust", "32", "74 R stock, 79 S kit=1", "",
         "RX8_KIT00_SKIRT_CAPPED_A", noBody + "fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET, fit 47 RX8_KIT00_EXHAUST, clear 47"},
        {"capped skirt: both stock", "32", "74 R stock, 79 S stock", "", "RX8_KIT00_SKIRT_CAPPED_A",
         noBody + "fit 75 RX8_KIT00_REAR_BUMPER_BADGING_SET, fit 47 RX8_KIT00_EXHAUST, fit 79 RX8_KIT00_SKIRT, "
                  "fit 47 RX8_KIT00_EXHAUST"},
        {"capped skirt: neither stock", "32", "74 R kit=2, 79 S kit=1", "", "RX8_KIT00_SKIRT_CAPPED_A",
         noBody + "fit 75 RX8_KIT02_REAR_BUMPER_BADGING_SET, fit 47 EXHAUST_STYLE17_LEVEL1"},
        {"left door slot on: right door of kit 2", "32 82", "82 D kit=2", "", "", noBody + "fit 83 RX8_KIT02_DOOR_RIGHT"},
        {"left door slot on: kitless door", "32 82", "82 D", "", "", noBody + "fit 83 RX8_DOOR_RIGHT"},
        {"stock generic vinyl is emptied", "32", "94 V stock", "", "", noBody + "clear 94"},
        {"sun roof under a style-00 scoop", "32", "77 SC style=ROOF_STYLE00", "", "", noBody + "fit 76 RX8_ROOF_SUN",
         false, 0, "RX8", true},
        {"sun roof: another scoop style", "32", "77 SC style=ROOF_STYLE01", "", "", noBody + "fit 76 RX8_ROOF", false, 0,
         "RX8", true},
    };
    // Base names of 71 and 72 letters: the right headlight's name fills 99 and 100 bytes of its 100-byte buffer.
    for (const size_t length : {71u, 72u}) {
        const std::string b(length, 'B'), left = b + "_KIT05_LEFT_HEADLIGHT_OFF";
        const std::string right = b + "_KIT05_RIGHT_HEADLIGHT_OFF";
        rows.push_back({"a headlight name at its buffer's size", "", "72 F kit=5", "32 " + left + ", 42 " + right,
                        left + "_A",
                        "fit 23 " + b + "_BODY_KIT00, fit 87 " + b + "_KIT00_DOORLINE, " +
                            (length == 71 ? "put 32 " + left + ", put 42 " + right + ", " : "") + "fit 73 " + b +
                            "_KIT05_FRONT_BUMPER_BADGING_SET",
                        false, 0, b});
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Start("");
        const int32_t car = sim::AddCarType(row.base);
        sim::Field<int32_t>(sim::CarTypeRecord(car), 0x94) = row.bodyKind;
        AddProfile(row.base, row.enabled, row.popUp, row.sunRoof);
        sim::Ride& ride = sim::NewRide(car);
        for (sim::Part* part : AddParts(car, row.fitted)) ride.parts[part->slot] = part;
        AddParts(car, row.catalogue);
        for (const std::string& model : Split(row.models, ',')) cat::AddModel(model);
        cat::Customization& record = cat::NewCustomization(car);

        const sim::Capture after =
            RunSite(kApplySite, 0x0B7EC7, {sim::Address(&ride), sim::Address(&record), 0x5117}, kApplySite + 5);
        EXPECT_EQ(after.esp, after.espAtSite + 8);
        EXPECT_EQ(cat::Events(), Split(row.expected, ','));
        // Whatever the record was told, the ride was told too.
        for (const std::string& event : cat::Events()) {
            const int32_t slot = std::stoi(event.substr(event.find(' ') + 1));
            if (event.rfind("fit", 0) != 0) {
                EXPECT_EQ(ride.parts[slot], record.parts[slot]) << event;
            }
        }
    }
}

TEST(KitPartNames, WithoutRecordsOnlyTheRideChangesAndWithoutRideNothing) {
    Start("");
    const int32_t car = sim::AddCarType("RX8");
    AddProfile("RX8", "32", false);
    sim::Ride& ride = sim::NewRide(car);
    ride.parts[94] = AddParts(car, "94 V stock")[0];
    RunSite(kApplySite, 0, {sim::Address(&ride), 0}, kApplySite + 5);
    EXPECT_EQ(ride.parts[94], nullptr);
    EXPECT_EQ(cat::Events(), Split("fit 23 RX8_BODY_KIT00, fit 87 RX8_KIT00_DOORLINE", ','));
    cat::ClearEvents();
    const sim::Capture after = RunSite(kApplySite, 0, {0, sim::Address(&cat::NewCustomization(car))}, kApplySite + 5);
    EXPECT_EQ(after.esp, after.espAtSite + 8);
    EXPECT_TRUE(cat::Events().empty());
    // A car type the host has no name for: the names are built on an empty base name.
    RunSite(kApplySite, 0, {sim::Address(&sim::NewRide(car + 7)), 0}, kApplySite + 5);
    EXPECT_EQ(cat::Events(), Split("fit 23 _BODY_KIT00, fit 87 _KIT00_DOORLINE, fit 32 _LEFT_HEADLIGHT, fit 42 "
                                   "_RIGHT_HEADLIGHT, fit 43 _RIGHT_HEADLIGHT_GLASS, fit 33 _LEFT_HEADLIGHT_GLASS",
                                   ','));
}

// The chosen menu entry, recorded through the jump at the host routine's entry.
TEST(KitPartNames, ChosenPartsKeepBodiesBrakesAndRotorsConsistent) {
    Start("");
    const int32_t car = sim::AddCarType("RX8");
    const auto parts =
        AddParts(car, "23 BODY3 kit=3, 23 BODY0 stock, 24 BRAKE2 kit=2, 24 BRAKE0, 25 ROTOR1 kit=1, 25 ROTOR0");
    const struct {
        const char* what;
        int chosen, held;  // indexes into parts (chosen -1: no menu entry); held: already in the record, -1 none
        bool globalRecord;
        const char* expected;
        uint32_t result;
    } rows[] = {
        {"body kit clears bumpers and skirt", 0, -1, false, "clear 72, clear 74, clear 79, put 23 BODY3 flag 1", 1},
        {"stock body", 1, -1, true, "put 23 BODY0 flag 1", 1},
        {"plain brake against kit rotor", 3, 4, false, "clear 25, put 24 BRAKE0 flag 1", 1},
        {"kit brake keeps kit rotor", 2, 4, true, "put 24 BRAKE2 flag 1", 1},
        {"kit rotor against plain brake", 4, 3, true, "clear 24, put 25 ROTOR1 flag 1", 1},
        {"plain rotor keeps plain brake", 5, 3, false, "put 25 ROTOR0 flag 1", 1},
        {"the same part again", 5, 5, false, "put 25 ROTOR0 flag 1", 0},
        {"no menu entry", -1, -1, false, "", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Part* chosen = row.chosen < 0 ? nullptr : parts[row.chosen];
        cat::Customization& record = row.globalRecord ? cat::GlobalCustomization(car) : cat::NewCustomization(car);
        if (row.held >= 0) record.parts[parts[row.held]->slot] = parts[row.held];
        cat::ClearEvents();
        // The flag is a byte: the rest of its stack slot is whatever the host left there.
        const uint32_t entry = chosen ? sim::Address(cat::NewMenuEntry(chosen, chosen->slot)) : 0;
        const uint32_t recordArgument = row.globalRecord ? 0 : sim::Address(&record);
        const sim::Capture after = RunSite(kRecordSite, entry, {sim::kReturnToSimulator, recordArgument, 0xABCDEF01}, 0);
        EXPECT_EQ(after.esp, after.espAtSite + 12);
        EXPECT_EQ(after.registers.eax, row.result);
        EXPECT_EQ(cat::Events(), Split(row.expected, ','));
        if (chosen) {
            EXPECT_EQ(record.parts[chosen->slot], chosen);
        }
    }
}

TEST(KitPartNames, PopUpAnswerComesFromTheProfile) {
    const struct {
        const char* settings;
        bool profile, popUp;
        uint32_t expected;
    } rows[] = {{"", true, true, 5}, {"[GENERAL]\nPopUpHeadLights = 1\n", true, false, 0}, {"", false, false, 0},
                {"[GENERAL]\nPopUpHeadLights = 1\n", false, false, 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.settings << " profile " << row.profile << " " << row.popUp);
        Start(row.settings);
        const int32_t car = sim::AddCarType("RX8");
        if (row.profile) AddProfile("RX8", "", row.popUp);
        const sim::Capture after = RunSite(kPopUpSite, sim::Address(cat::NewCarObject(car)), {}, kPopUpSite + 5);
        EXPECT_EQ(after.registers.eax, row.expected);
        EXPECT_EQ(after.esp, after.espAtSite);
    }
}

}  // namespace
