// The customization menus, run from their patched sites in the simulated game.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "Sim.h"
#include "SimMenus.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/SlotTable.h"
#include "config/Settings.h"
#include "feature/SteerAnimation.h"
#include "parts/CustomizationMenus.h"

namespace m = sim::menus;

namespace {

// The slot lists of the menus, in their order: normal mode's by category value, then autosculpt mode's.
const std::map<int32_t, std::vector<int32_t>> kSlotLists{{0, {23, 78, 77, 48, 84, 76, 29, 73, 75, 32, 30, 34}},
    {5, {56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67}}, {6, {86, 24, 25, 68, 69, 70, 71, 100, 101, 45, 46, 94}},
    {7, {82, 24, 25, 68, 69, 70, 71, 100, 101, 45, 46, 94}}, {-1, {84, 78, 72, 74, 79, 77, 48, 47, 76}}};
bool In(const std::vector<int32_t>& list, int32_t slot) { return std::count(list.begin(), list.end(), slot) != 0; }

// Every steering target the hooks set, caught by diverting SetSteerTarget here.
std::vector<float> steerTargets;
void RecordSteerTarget(float angle) { steerTargets.push_back(angle); }

sim::Run At(uint32_t site, uint32_t resume, std::vector<uint32_t> stack = {}) {
    sim::Run run;
    run.site = site;
    run.resume = resume;
    run.registers = {0xA0A0A0A0, 0xC1C1C1C1, 0xD2D2D2D2, 0xB3B3B3B3, 0xE4E4E4E4, 0x5E5E5E5E, 0xD1D1D1D1, 0x202 | 0x8D5};
    run.stack = std::move(stack);
    run.x87 = {1.5f, -2.5f};  // the host's values in flight
    return run;
}
// The x87 stack as the run started it.
void ExpectX87AsOnEntry(const sim::Capture& after) { EXPECT_EQ(after.x87, (std::vector<long double>{-2.5L, 1.5L})); }
// A routine the game calls, as any call is made: with an empty x87 stack.
sim::Run Called(uint32_t site, uint32_t resume, std::vector<uint32_t> stack) {
    sim::Run run = At(site, resume, std::move(stack));
    run.x87.clear();
    return run;
}
// The registers a routine keeps (thiscall), and all but EAX.
auto Kept(const sim::Registers& r) { return std::tuple(r.ebx, r.ebp, r.esi, r.edi); }
auto AllButEax(const sim::Registers& r) { return std::tuple(r.ecx, r.edx, r.ebx, r.ebp, r.esi, r.edi); }
auto All(const sim::Registers& r) { return std::tuple_cat(std::tuple(r.eax, r.eflags & 0x8D5), AllButEax(r)); }

class CustomizationMenusTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        steerTargets.clear();
        DWORD old;
        VirtualProtect(target_, 5, PAGE_EXECUTE_READWRITE, &old);
        std::memcpy(saved_, target_, 5);
        const uint32_t jump = sim::Address(reinterpret_cast<const void*>(&RecordSteerTarget)) - (sim::Address(target_) + 5);
        target_[0] = 0xE9;
        std::memcpy(target_ + 1, &jump, 4);
        Load("[GENERAL]\nFrontSteerAngle = 25\n", "");
        morvane::InstallCustomizationMenus();
    }
    void TearDown() override { std::memcpy(target_, saved_, 5); }

    // Global settings, then the profile of the car "CAR", made the current car.
    void Load(const std::string& global, const std::string& car) {
        testfolders::GameFolder folder("menus");
        folder.Write("Morvane.ini", global);
        folder.Write("MorvaneCars\\CAR", car);
        morvane::ResetCarProfiles();
        morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
        morvane::LoadCarProfiles(folder.path() + "MorvaneCars");
        sim::SetCurrentCarType(sim::AddCarType("CAR"));
    }

    // The player chooses a category: the host's category test sees it at ESP+0x60.
    sim::Capture ChooseCategory(int32_t value) {
        std::vector<uint32_t> stack(25, 0x5151);
        stack[24] = static_cast<uint32_t>(value);
        return sim::RunHostCode(At(m::kCategoryTestSite, m::kCategoryTestResume, stack));
    }

    uint8_t* target_ = reinterpret_cast<uint8_t*>(&morvane::SetSteerTarget);
    uint8_t saved_[5];
};

// The plug-in started by the game has read the car's file by the time the menus are built.
TEST_F(CustomizationMenusTest, AfterStartUpTheMainMenuFollowsTheCarsFile) {
    sim::Reset();
    testfolders::GameFolder folder("menus-plugin");
    folder.Write("MorvaneCars\\SUPRA", "[PART_ATTACHMENT01]\nEnabled = 1\n");
    ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);
    sim::SetCurrentCarType(sim::AddCarType("SUPRA"));
    uint8_t* menu = m::NewMainMenu();
    sim::Run run = At(m::kAddCategoriesSite, m::kAddCategoriesResume);
    run.registers.esi = sim::Address(menu);
    ASSERT_EQ(sim::RunHostCode(run).exit, sim::Exit::Resumed);
    ASSERT_EQ(m::MenuItems(menu).size(), 1u);
    EXPECT_EQ(m::MenuItems(menu)[0].value, 5);
}

TEST_F(CustomizationMenusTest, MainMenuGetsTheCategoriesTheProfileCallsFor) {
    const uint32_t att = sim::Hash("CUST_MAINMENU_ATTACHMENTS"), spec = sim::Hash("CUST_MAINMENU_SPECIALTIES");
    const char* both = "[PART_ATTACHMENT11]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n";
    struct Case { std::string profile; int failedAllocations; std::vector<uint32_t> items; };
    std::vector<Case> cases = {
        {"[PART_ATTACHMENT00]\nEnabled = 0\n", 0, {}},        {"[PART_ATTACHMENT04]\nEnabled = 1\n", 0, {att}},
        {"[PART_GENERIC_VINYLS]\nEnabled = 1\n", 0, {spec}},  {"[PART_ATTACHMENT12]\nEnabled = 1\n", 0, {spec}},
        {both, 0, {att, spec}}, {both, 1, {spec}}, {both, 2, {}},
    };
    // Each slot of the table alone (the table only names the sections to write).
    for (const morvane::PartSlotRow& row : morvane::PartSlotTable()) {
        std::vector<uint32_t> items;
        if (In(kSlotLists.at(5), row.slot)) items.push_back(att);
        if (In(kSlotLists.at(6), row.slot)) items.push_back(spec);
        cases.push_back({"[" + row.section + "]\nEnabled = 1\n", 0, items});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile << c.failedAllocations << " failed allocations");
        Load("[GENERAL]\nFrontSteerAngle = 25\n", c.profile);
        steerTargets.clear();
        sim::FailNextAllocations(c.failedAllocations);
        uint8_t* menu = m::NewMainMenu();
        sim::Run run = At(m::kAddCategoriesSite, m::kAddCategoriesResume, {0x600D});
        run.registers.esi = sim::Address(menu);
        const sim::Capture after = sim::RunHostCode(run);
        ExpectX87AsOnEntry(after);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(All(after.registers), All(run.registers));
        EXPECT_EQ(after.espAtSite - after.esp, 4u);
        EXPECT_EQ(sim::Global<uint32_t>(after.esp), 0x98u) << "the replaced push";
        EXPECT_EQ(steerTargets, std::vector<float>{25.0f});
        std::vector<uint32_t> names;
        for (const m::MenuItem& item : m::MenuItems(menu)) {
            names.push_back(item.nameHash);
            EXPECT_EQ(std::tuple(item.value, item.firstFlag, item.secondFlag),
                      std::tuple(item.nameHash == att ? 5 : 6, uint8_t{1}, uint8_t{0}));
        }
        EXPECT_EQ(names, c.items);
    }
}

TEST_F(CustomizationMenusTest, CategoryTestSeesOursAsZero) {
    for (const int32_t value : {0, 3, 4, 5, 6, 7, -2, 100}) {
        const sim::Capture after = ChooseCategory(value);
        ExpectX87AsOnEntry(after);
        const int32_t seen = value < 5 ? value : 0;
        EXPECT_EQ(after.registers.eax, static_cast<uint32_t>(value));
        EXPECT_EQ(after.registers.eflags & 0xC0, (seen == 0 ? 0x40u : 0u) | (seen < 0 ? 0x80u : 0u)) << value;
        EXPECT_EQ(AllButEax(after.registers), AllButEax(At(0, 0).registers));
        EXPECT_EQ(after.esp, after.espAtSite);
    }
}

TEST_F(CustomizationMenusTest, SlotListsFollowCategoryModeAndProfile) {
    const uint32_t none = 0xFFFFFFFFu, body = sim::Hash("BODY_T"), rearAS = sim::Hash("REAR_AS");
    const std::string some = ("[PART_BODY]\nEnabled = 1\nHeader = BODY_T\n[PART_FRONT_WHEEL]\nEnabled = 1\n"
             "[PART_LEFT_SIDE_MIRROR]\nEnabled = 1\n"
             "[PART_REAR_BUMPER]\nEnabled = 1\nHeaderAS = REAR_AS\n[PART_EXHAUST]\nEnabled = 1\n"
             "[PART_ATTACHMENT00]\nEnabled = 1\n[PART_ATTACHMENT04]\nEnabled = 1\n[PART_ATTACHMENT11]\nEnabled = 1\n"
             "[PART_LICENSE_PLATE]\nEnabled = 1\n[PART_ATTACHMENT14]\nEnabled = 1\n[PART_GENERIC_VINYLS]\nEnabled = 1\n"
             "[PART_DOOR_LEFT]\nEnabled = 1\n[PART_FRONT_BRAKE]\nEnabled = 1\n");
    std::string every;
    for (const morvane::PartSlotRow& row : morvane::PartSlotTable()) every += "[" + row.section + "]\nEnabled = 1\n";
    using Row = std::tuple<int32_t, uint32_t, int32_t, int32_t>;  // slot, header, autosculpt, extra
    const Row wheel{84, none, 1, 17}, rear{74, rearAS, 1, 0}, exhaust{47, none, 1, 0};
    struct Case {  // every: every slot switched on
        int32_t category; bool autosculpt; std::optional<int32_t> career; std::vector<Row> rows; bool every = false;
    };
    std::vector<Case> cases = {
        {0, false, 2, {{23, body, 0, 0}, {84, none, 0, -3}, {34, none, 0, 0}}},
        {5, false, {}, {{56, none, 0, 0}, {60, none, 0, 0}, {67, none, 0, 0}}},
        {6, false, {}, {{86, none, 0, 0}, {24, none, 0, 0}, {70, none, 0, 0}, {94, none, 0, 0}}},
        {7, false, {}, {{82, none, 0, 0}, {24, none, 0, 0}, {70, none, 0, 0}, {94, none, 0, 0}}},
        {3, false, {}, {}},
        {5, true, 2, {wheel, rear, exhaust, {76, none, 1, 0}}},
        {0, true, 1, {wheel, rear, exhaust}},
        {0, true, 3, {wheel, rear, exhaust}},
        {0, true, {}, {wheel, rear, exhaust}},
    };
    // Every slot switched on: each category's list whole, in its order.
    for (const bool autosculpt : {false, true}) {
        for (const int32_t category : {0, 1, 4, 5, 6, 7, 8}) {
            const int32_t list = autosculpt ? -1 : category;
            std::vector<Row> rows;
            for (const int32_t slot : kSlotLists.count(list) ? kSlotLists.at(list) : std::vector<int32_t>{})
                rows.push_back({slot, none, autosculpt, slot != 84 ? 0 : autosculpt ? 17 : -3});
            cases.push_back({category, autosculpt, {}, rows, true});
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "category " << c.category << (c.autosculpt ? " autosculpt" : "")
                                        << (c.every ? " every slot" : ""));
        Load("", c.every ? every : some);
        m::SetCareerState(c.career);
        const size_t lookups = m::CareerLookups(), listed = m::SlotStates().size();
        ChooseCategory(c.category);
        uint8_t* screen = m::NewScreen();
        screen[0x2D4] = c.autosculpt ? 2 : 0;
        screen[0x2D5] = static_cast<uint8_t>(-3);
        sim::Run run = At(m::kFillSlotMenuSite, m::kFillSlotMenuResume);
        run.registers.esi = sim::Address(screen);
        const sim::Capture after = sim::RunHostCode(run);
        ExpectX87AsOnEntry(after);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(All(after.registers), All(run.registers));
        EXPECT_EQ(after.esp, after.espAtSite);
        EXPECT_EQ(m::PreparedMenus().back().screenValue, sim::Field<uint32_t>(screen, 0x2C8));
        EXPECT_EQ(m::PreparedMenus().back().key, c.autosculpt ? 0x663D2A11u : 0xAC258B54u);
        std::vector<Row> rows;
        for (size_t i = listed; i < m::SlotStates().size(); ++i) {
            const m::SlotState& s = m::SlotStates()[i];
            rows.push_back({s.slot, s.screen == sim::Address(screen) ? s.headerHash : 0, s.autosculpt, s.extra});
        }
        EXPECT_EQ(rows, c.rows);
        if (!c.every) {
            EXPECT_EQ(m::CareerLookups() - lookups, c.autosculpt ? 1u : 0u);
        }
    }
}

TEST_F(CustomizationMenusTest, BodyAndMarkersBlockSlotsAndItems) {
    sim::PlantHostBytes(m::kItemAllowedResume, {0xC3});  // the allowed item returns to the test
    Load("[PART_FRONT_BUMPER]\nHeader = FB\n[PART_FRONT_BUMPER_BADGING]\nHeader = FBB\n[PART_REAR_BUMPER_BADGING]\n"
         "Header = RBB\n[PART_SKIRT]\nHeader = SK\n[PART_EXHAUST]\nHeader = EX\n[PART_BODY]\nHeader = BO\n"
         "[PART_REAR_BUMPER]\nHeader = RB\n", "");
    struct Case { const char* body; bool markers; int32_t slot; const char* header; bool blocked; int marker = 2; };
    std::vector<Case> cases = {
        {"PART_BODY_00", false, 72, "FB", false},   {"PART_BODYKIT_00", false, 79, "SK", false},
        {"CAR_BODY_KIT03", true, 72, "FB", true},   {"CAR_BODY_KIT03", true, 73, "FBB", true},
        {"CAR_BODY_KIT03", true, 75, "RBB", true},  {"CAR_BODY_KIT03", true, 79, "SK", true},
        {"CAR_BODY_KIT03", false, 23, "BO", false}, {"PART_BODY_00", true, 47, "EX", false},
        {"PART_BODY_00", false, 47, "EX", true},
    };
    // Each blockable slot and one that never is, under each body and each one marker.
    const std::map<int32_t, const char*> headers{{72, "FB"}, {73, "FBB"}, {74, "RB"}, {75, "RBB"},
                                                 {79, "SK"}, {47, "EX"}, {23, "BO"}};
    for (const char* body : {"PART_BODY_00", "PART_BODYKIT_00", "CAR_BODY_KIT03"}) {
        for (const auto& [slot, header] : headers) {
            for (int marker = -1; marker < 3; ++marker) {  // none, then the one at +0x434, +0x438 or +0x43C
                const bool blocked = slot == 47 ? marker < 0 : slot != 23 && body[0] != 'P';
                cases.push_back({body, marker >= 0, slot, header, blocked, std::max(marker, 0)});
            }
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.body << " slot " << c.slot);
        m::ChooseBody(c.body);
        const uint32_t marker = c.markers ? 0x1234 : 0;
        m::SetExhaustMarkers(c.marker == 0 ? marker : 0, c.marker == 1 ? marker : 0, c.marker == 2 ? marker : 0);
        const size_t hints = m::Hints().size();
        sim::Run run = At(m::kSlotChosenSite, m::kSlotChosenResume,
                          {0xED1, 0xE51, 0xEB1, sim::kReturnToSimulator, 1, 2, 3, 4, 5});
        run.registers.eax = static_cast<uint32_t>(c.slot);
        const sim::Capture after = sim::RunHostCode(run);
        ExpectX87AsOnEntry(after);
        EXPECT_EQ(after.registers.eax, run.registers.eax);
        EXPECT_EQ(after.exit, c.blocked ? sim::Exit::Returned : sim::Exit::Resumed);
        if (c.blocked) {
            EXPECT_EQ(after.esp - after.espAtSite, 0x24u);
            EXPECT_EQ(std::tuple(after.registers.edi, after.registers.esi, after.registers.ebx),
                      std::tuple(0xED1u, 0xE51u, 0xEB1u));
            ASSERT_EQ(m::Hints().size(), hints + 1);
            EXPECT_EQ(std::tuple(m::Hints().back().ecx, m::Hints().back().key, m::Hints().back().hostValue),
                      std::tuple(1u, 0x22105094u, run.registers.ebx));
        } else {
            EXPECT_EQ(All(after.registers), All(run.registers));
            EXPECT_EQ(after.esp, after.espAtSite);
            EXPECT_EQ(m::Hints().size(), hints);
        }
        sim::Run item = At(m::kItemChosenSite, m::kItemBlockedResume, {sim::kReturnToSimulator});
        item.registers.ecx = sim::Address(m::NewSlotMenuItem(sim::Hash(c.header)));
        const sim::Capture chosen = sim::RunHostCode(item);
        ExpectX87AsOnEntry(chosen);
        EXPECT_EQ(chosen.exit, c.blocked ? sim::Exit::Resumed : sim::Exit::Returned) << "resumed where the item is blocked";
        EXPECT_EQ(All(chosen.registers), All(item.registers));
    }
    // A blocked slot whose hint answers 0 goes on as an open one.
    m::SetHintResult(0);
    sim::Run run = At(m::kSlotChosenSite, m::kSlotChosenResume, {0, 0, 0, sim::kReturnToSimulator});
    run.registers.eax = 47;
    EXPECT_EQ(sim::RunHostCode(run).exit, sim::Exit::Resumed);
}

TEST_F(CustomizationMenusTest, SlotTitlesFromTheProfileElseTheHosts) {
    Load("[PART_HOOD]\nHeader = HOOD_T\n", "[PART_ROOF]\nHeader = ROOF_T\n");
    for (const auto& [slot, title] : std::vector<std::pair<int32_t, uint32_t>>{
             {78, sim::Hash("HOOD_T")}, {76, sim::Hash("ROOF_T")}, {48, m::HostOwnTitle(48)}}) {
        const size_t ownCalls = m::HostOwnTitleCalls();
        sim::Run run = Called(sim::Global<uint32_t>(m::kSlotTitleEntry), 0, {sim::kReturnToSimulator, 0x600D});
        run.registers.ecx = sim::Address(m::NewSlotEntry(slot));
        const sim::Capture after = sim::RunHostCode(run);
        EXPECT_TRUE(after.x87.empty());
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.registers.eax, title) << slot;
        EXPECT_EQ(m::HostOwnTitleCalls() - ownCalls, title == m::HostOwnTitle(slot) ? 1u : 0u);
        EXPECT_EQ(after.esp - after.espAtSite, 4u);
        EXPECT_EQ(Kept(after.registers), Kept(run.registers));
    }
}

TEST_F(CustomizationMenusTest, CameraNamesAndSteeringTargets) {
    const std::string settings = "[GENERAL]\nFrontSteerAngle = 25\n[PART_ATTACHMENT14]\nCamera = CAM_TIRES\n"
                                 "[PART_ATTACHMENT12]\nCamera = CAM_CAMBER\n[MODS]\n";
    // Slot -1: the screen shows no entry. State: the screen's +0x2E0 and +0x2C4. Name "X": untouched.
    struct Case {
        const char* mods;
        int32_t slot, size;
        uint32_t state, value;
        const char* name;
        std::vector<float> targets;
    };
    std::vector<Case> cases = {
        {"Tires = 1\n", 70, 32, 1, 0xA99C5F, "CAM_TIRES", {25.0f, -20.0f}},
        {"Tires = 0\n", 70, 32, 1, 0xA99C5F, "CAM_TIRES", {25.0f}},
        {"Camber = 1\n", 68, 11, 1, 0, "CAM_CAMBER", {25.0f, 0.0f}},
        {"Camber = 1\n", 68, 10, 1, 0, "", {25.0f, 0.0f}},
        {"Camber = 0\nTrackWidth = 1\n", 68, 32, 1, 0, "CAM_CAMBER", {25.0f}},
        {"TrackWidth = 1\n", 69, 32, 1, 0, "", {25.0f, 0.0f}},
        {"Tires = 1\n", 70, 32, 0, 0, "", {}},
        {"Tires = 1\n", 70, 32, 1, 0xA99C60, "", {}},
        {"Tires = 1\n", 70, 32, 1, 0xFFFFFFFF, "CAM_TIRES", {25.0f, -20.0f}},  // -1: below, compared signed
        {"Tires = 1\n", -1, 32, 1, 0, "", {}},
        {"Tires = 1\n", 70, 0, 1, 0, "X", {}},
        {"Tires = 1\n", 70, -1, 1, 0, "X", {}},
    };
    // Each switch with each of the three slots: only its own slot aims the wheels.
    const std::tuple<const char*, float, const char*> aims[] = {  // of slots 68, 69, 70: switch, target, camera
        {"Camber = 1\n", 0.0f, "CAM_CAMBER"}, {"TrackWidth = 1\n", 0.0f, ""}, {"Tires = 1\n", -20.0f, "CAM_TIRES"}};
    for (int shown = 0; shown < 3; ++shown) {
        for (int on = 0; on < 3; ++on) {
            std::vector<float> targets{25.0f};
            if (shown == on) targets.push_back(std::get<1>(aims[on]));
            cases.push_back({std::get<0>(aims[on]), 68 + shown, 32, 1, 0, std::get<2>(aims[shown]), targets});
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mods << " slot " << c.slot << " size " << c.size);
        Load(settings + c.mods, "");
        steerTargets.clear();
        uint8_t* screen = m::NewScreen(c.slot);
        sim::Field<uint32_t>(screen, 0x2E0) = c.state;
        sim::Field<uint32_t>(screen, 0x2C4) = c.value;
        if (c.slot < 0) sim::Field<uint32_t>(screen, 0x34) = 0;
        char* buffer = reinterpret_cast<char*>(sim::NewBlock(40));
        std::memset(buffer, 'X', 39);
        sim::Run run = Called(m::kCameraNameSite, m::kCameraNameSite + 5,
                              {sim::Address(buffer), static_cast<uint32_t>(c.size), 0x600D});
        run.registers.ecx = sim::Address(screen);
        const sim::Capture after = sim::RunHostCode(run);
        EXPECT_TRUE(after.x87.empty());
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.esp - after.espAtSite, 8u);
        EXPECT_EQ(Kept(after.registers), Kept(run.registers));
        const std::string expected = std::strcmp(c.name, "X") == 0 ? "XX" : std::string(c.name) + '\0';
        EXPECT_EQ(std::string(buffer, expected.size()), expected);
        EXPECT_EQ(steerTargets, c.targets);
    }
}

}  // namespace
