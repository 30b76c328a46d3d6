// The customization menus, run from their patched sites in the simulated game.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "Sim.h"
#include "SimMenus.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "startup/Installers.h"

namespace m = sim::menus;
using testfolders::GameFolder;

namespace {

constexpr uint32_t kZeroFlag = 0x40, kSignFlag = 0x80;

// Every steering target the hooks set, caught by diverting SetSteerTarget here.
std::vector<float> steerTargets;
void RecordSteerTarget(float angle) { steerTargets.push_back(angle); }

sim::Registers Distinct() {
    sim::Registers r;
    r.eax = 0xA0A0A0A0, r.ecx = 0xC1C1C1C1, r.edx = 0xD2D2D2D2, r.ebx = 0xB3B3B3B3;
    r.ebp = 0xE4E4E4E4, r.esi = 0x5E5E5E5E, r.edi = 0xD1D1D1D1;
    return r;
}

// A run from `site` with distinct registers; the host goes on at `resume`.
sim::Run At(uint32_t site, uint32_t resume, std::vector<uint32_t> stack = {}) {
    sim::Run run;
    run.site = site;
    run.resume = resume;
    run.registers = Distinct();
    run.stack = std::move(stack);
    return run;
}

void ExpectSame(const sim::Registers& a, const sim::Registers& b, bool exceptEax = false) {
    if (!exceptEax) {
        EXPECT_EQ(a.eax, b.eax);
    }
    EXPECT_EQ(a.ecx, b.ecx);
    EXPECT_EQ(a.edx, b.edx);
    EXPECT_EQ(a.ebx, b.ebx);
    EXPECT_EQ(a.ebp, b.ebp);
    EXPECT_EQ(a.esi, b.esi);
    EXPECT_EQ(a.edi, b.edi);
}

class CustomizationMenusTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        steerTargets.clear();
        auto* target = reinterpret_cast<uint8_t*>(&morvane::SetSteerTarget);
        DWORD old;
        VirtualProtect(target, 5, PAGE_EXECUTE_READWRITE, &old);
        std::memcpy(saved_, target, 5);
        target[0] = 0xE9;
        const uint32_t jump = sim::Address(reinterpret_cast<const void*>(&RecordSteerTarget)) - (sim::Address(target) + 5);
        std::memcpy(target + 1, &jump, 4);
        Load("[GENERAL]\nFrontSteerAngle = 25\n", "");
        morvane::InstallCustomizationMenus();
    }
    void TearDown() override {
        auto* target = reinterpret_cast<uint8_t*>(&morvane::SetSteerTarget);
        std::memcpy(target, saved_, 5);
    }

    // Global settings, then the profile of the car "CAR" made the current car.
    void Load(const std::string& global, const std::string& car) {
        GameFolder folder("menus");
        folder.Write("Morvane.ini", global);
        folder.Write("MorvaneCars\\CAR", car);
        morvane::ResetCarProfiles();
        morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
        morvane::LoadCarProfiles(folder.path() + "MorvaneCars");
        sim::SetCurrentCarType(sim::AddCarType("CAR"));
    }

    // The category the player chose, through the host's category test.
    sim::Capture ChooseCategory(int32_t value) {
        sim::Run run = At(m::kCategoryTestSite, m::kCategoryTestResume);
        run.stack.assign(25, 0x5151);
        run.stack[24] = static_cast<uint32_t>(value);
        return sim::RunHostCode(run);
    }

    std::vector<m::SlotState> FillSlotMenu(int32_t category, bool autosculpt, int8_t wheelValue = 0) {
        ChooseCategory(category);
        uint8_t* screen = m::NewScreen();
        screen[0x2D4] = autosculpt ? 2 : 0;
        screen[0x2D5] = static_cast<uint8_t>(wheelValue);
        sim::Run run = At(m::kFillSlotMenuSite, m::kFillSlotMenuResume);
        run.registers.esi = sim::Address(screen);
        const sim::Capture after = sim::RunHostCode(run);
        EXPECT_EQ(after.exit, sim::Exit::Resumed);
        ExpectSame(after.registers, run.registers);
        EXPECT_EQ(after.esp, after.espAtSite);
        EXPECT_EQ(m::PreparedMenus().back().screenValue, sim::Field<uint32_t>(screen, 0x2C8));
        EXPECT_EQ(m::PreparedMenus().back().key, autosculpt ? 0x663D2A11u : 0xAC258B54u);
        return m::SlotStates();
    }

    uint8_t saved_[5];
};

TEST_F(CustomizationMenusTest, InstallerWritesExactlyItsSites) {
    // Each changed run of code lies within one site's five bytes (or the table entry's four).
    const std::vector<std::pair<uint32_t, uint8_t>> sites = {
        {0x83FBF1, 0xE9}, {0x84EB1F, 0xE8}, {0x85F74C, 0xE9}, {0x85F90E, 0xFF},
        {0x866074, 0xE9}, {0x8665DA, 0xE9}, {0x8683C9, 0xE9}, {0x9F9D14, 0}};
    std::vector<uint32_t> touched;
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        if (run.address >= 0xA00000) continue;  // the settings' and the test's data
        uint32_t site = 0;
        for (const auto& s : sites) {
            if (run.address >= s.first && run.address + run.after.size() <= s.first + 5) site = s.first;
        }
        EXPECT_NE(site, 0u) << std::hex << run.address;
        touched.push_back(site);
    }
    EXPECT_EQ(touched.size(), sites.size());
    for (const auto& [site, opcode] : sites) {
        if (opcode != 0) {
            EXPECT_EQ(sim::Global<uint8_t>(site), opcode) << std::hex << site;
        }
    }
    EXPECT_NE(sim::Global<uint32_t>(m::kSlotTitleEntry), m::kMenuDefaultSlotHandler);
    // The hint argument: push dword [esp+0x18]; nop, run as the host runs it.
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(m::kHintArgumentSite), "\xFF\x74\x24\x18\x90", 5), 0);
    const sim::Capture pushed = sim::RunHostCode(At(m::kHintArgumentSite, m::kHintArgumentSite + 5, {0, 1, 2, 3, 4, 5, 0xFEED}));
    EXPECT_EQ(pushed.espAtSite - pushed.esp, 4u);
    EXPECT_EQ(sim::Global<uint32_t>(pushed.esp), 0xFEEDu);
}

TEST_F(CustomizationMenusTest, MainMenuGetsTheCategoriesTheProfileCallsFor) {
    const uint32_t attachments = sim::Hash("CUST_MAINMENU_ATTACHMENTS"), specialties = sim::Hash("CUST_MAINMENU_SPECIALTIES");
    const struct {
        const char* profile;
        int failedAllocations;
        std::vector<uint32_t> items;
    } cases[] = {
        {"[PART_ATTACHMENT00]\nEnabled = 0\n", 0, {}},
        {"[PART_ATTACHMENT04]\nEnabled = 1\n", 0, {attachments}},
        {"[PART_GENERIC_VINYLS]\nEnabled = 1\n", 0, {specialties}},
        {"[PART_ATTACHMENT12]\nEnabled = 1\n", 0, {specialties}},
        {"[PART_ATTACHMENT11]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n", 0, {attachments, specialties}},
        {"[PART_ATTACHMENT11]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n", 1, {specialties}},
        {"[PART_ATTACHMENT11]\nEnabled = 1\n[PART_LICENSE_PLATE]\nEnabled = 1\n", 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        steerTargets.clear();
        Load("[GENERAL]\nFrontSteerAngle = 25\n", c.profile);
        sim::FailNextAllocations(c.failedAllocations);
        uint8_t* menu = m::NewMainMenu();
        sim::Run run = At(m::kAddCategoriesSite, m::kAddCategoriesResume, {0x600D});
        run.registers.esi = sim::Address(menu);
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        ExpectSame(after.registers, run.registers);
        EXPECT_EQ(after.espAtSite - after.esp, 4u);
        EXPECT_EQ(sim::Global<uint32_t>(after.esp), 0x98u) << "the replaced push";
        EXPECT_EQ(steerTargets, std::vector<float>{25.0f});
        std::vector<uint32_t> names;
        for (const m::MenuItem& item : m::MenuItems(menu)) {
            names.push_back(item.nameHash);
            EXPECT_EQ(item.value, item.nameHash == attachments ? 5 : 6);
            EXPECT_EQ(item.firstFlag, 1);
            EXPECT_EQ(item.secondFlag, 0);
        }
        EXPECT_EQ(names, c.items);
    }
}

TEST_F(CustomizationMenusTest, CategoryTestSeesOursAsZero) {
    for (const int32_t value : {0, 3, 4, 5, 6, 7, -2, 100}) {
        SCOPED_TRACE(value);
        const sim::Capture after = ChooseCategory(value);
        const int32_t seen = value < 5 ? value : 0;
        EXPECT_EQ(after.registers.eax, static_cast<uint32_t>(value));
        EXPECT_EQ((after.registers.eflags & kZeroFlag) != 0, seen == 0);
        EXPECT_EQ((after.registers.eflags & kSignFlag) != 0, seen < 0);
        ExpectSame(after.registers, Distinct(), /*exceptEax=*/true);
        EXPECT_EQ(after.esp, after.espAtSite);
    }
}

TEST_F(CustomizationMenusTest, SlotListsFollowCategoryModeAndProfile) {
    const uint32_t none = 0xFFFFFFFFu, body = sim::Hash("BODY_T"), rearAS = sim::Hash("REAR_AS");
    const char* profile =
        "[PART_BODY]\nEnabled = 1\nHeader = BODY_T\n[PART_FRONT_WHEEL]\nEnabled = 1\n[PART_LEFT_SIDE_MIRROR]\nEnabled = 1\n"
        "[PART_REAR_BUMPER]\nEnabled = 1\nHeaderAS = REAR_AS\n[PART_EXHAUST]\nEnabled = 1\n"
        "[PART_ATTACHMENT00]\nEnabled = 1\n[PART_ATTACHMENT04]\nEnabled = 1\n[PART_ATTACHMENT11]\nEnabled = 1\n"
        "[PART_LICENSE_PLATE]\nEnabled = 1\n[PART_ATTACHMENT14]\nEnabled = 1\n[PART_GENERIC_VINYLS]\nEnabled = 1\n"
        "[PART_DOOR_LEFT]\nEnabled = 1\n[PART_FRONT_BRAKE]\nEnabled = 1\n";
    struct Row {
        uint32_t header;
        int32_t slot, autosculpt, extra;
    };
    const struct {
        int32_t category;
        bool autosculpt;
        std::optional<int32_t> career;
        std::vector<Row> rows;
    } cases[] = {
        {0, false, 2, {{body, 23, 0, 0}, {none, 84, 0, -3}, {none, 34, 0, 0}}},
        {5, false, {}, {{none, 56, 0, 0}, {none, 60, 0, 0}, {none, 67, 0, 0}}},
        {6, false, {}, {{none, 86, 0, 0}, {none, 24, 0, 0}, {none, 70, 0, 0}, {none, 94, 0, 0}}},
        {7, false, {}, {{none, 82, 0, 0}, {none, 24, 0, 0}, {none, 70, 0, 0}, {none, 94, 0, 0}}},
        {3, false, {}, {}},
        {5, true, 2, {{none, 84, 1, 17}, {rearAS, 74, 1, 0}, {none, 47, 1, 0}, {none, 76, 1, 0}}},
        {0, true, 1, {{none, 84, 1, 17}, {rearAS, 74, 1, 0}, {none, 47, 1, 0}}},
        {0, true, {}, {{none, 84, 1, 17}, {rearAS, 74, 1, 0}, {none, 47, 1, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "category " << c.category << (c.autosculpt ? " autosculpt" : ""));
        sim::Reset();
        morvane::InstallCustomizationMenus();
        Load("", profile);
        m::SetCareerState(c.career);
        std::vector<Row> rows;
        for (const m::SlotState& s : FillSlotMenu(c.category, c.autosculpt, -3)) {
            rows.push_back({s.headerHash, s.slot, s.autosculpt, s.extra});
        }
        ASSERT_EQ(rows.size(), c.rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].slot, c.rows[i].slot);
            EXPECT_EQ(rows[i].header, c.rows[i].header) << rows[i].slot;
            EXPECT_EQ(rows[i].autosculpt, c.rows[i].autosculpt);
            EXPECT_EQ(rows[i].extra, c.rows[i].extra) << rows[i].slot;
        }
        EXPECT_EQ(m::CareerLookups(), c.autosculpt ? 1u : 0u);
    }
}

TEST_F(CustomizationMenusTest, BodyAndMarkersBlockSlotsAndItems) {
    sim::PlantHostBytes(m::kItemAllowedResume, {0xC3});  // the allowed path returns to the test
    Load("[PART_FRONT_BUMPER]\nHeader = FB\n[PART_FRONT_BUMPER_BADGING]\nHeader = FBB\n[PART_REAR_BUMPER_BADGING]\nHeader = RBB\n"
         "[PART_SKIRT]\nHeader = SK\n[PART_EXHAUST]\nHeader = EX\n[PART_BODY]\nHeader = BO\n", "");
    const struct {
        const char* body;
        bool markers;
        int32_t slot;
        const char* header;
        bool blocked;
    } cases[] = {
        {"PART_BODY_00", false, 72, "FB", false},      {"PART_BODYKIT_00", false, 79, "SK", false},
        {"CAR_BODY_KIT03", true, 72, "FB", true},      {"CAR_BODY_KIT03", true, 73, "FBB", true},
        {"CAR_BODY_KIT03", true, 75, "RBB", true},     {"CAR_BODY_KIT03", true, 79, "SK", true},
        {"CAR_BODY_KIT03", false, 23, "BO", false},    {"PART_BODY_00", true, 47, "EX", false},
        {"PART_BODY_00", false, 47, "EX", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.body << " slot " << c.slot);
        m::ChooseBody(c.body);
        m::SetExhaustMarkers(0, 0, c.markers ? 0x1234 : 0);
        const size_t hints = m::Hints().size();
        sim::Run run = At(m::kSlotChosenSite, m::kSlotChosenResume, {0xED1, 0xE51, 0xEB1, sim::kReturnToSimulator, 1, 2, 3, 4, 5, 0x600D});
        run.registers.eax = static_cast<uint32_t>(c.slot);
        const sim::Capture after = sim::RunHostCode(run);
        EXPECT_EQ(after.registers.eax, static_cast<uint32_t>(c.slot));
        if (c.blocked) {
            ASSERT_EQ(after.exit, sim::Exit::Returned);
            EXPECT_EQ(after.esp - after.espAtSite, 0x24u);
            EXPECT_EQ(after.registers.edi, 0xED1u);
            EXPECT_EQ(after.registers.esi, 0xE51u);
            EXPECT_EQ(after.registers.ebx, 0xEB1u);
            ASSERT_EQ(m::Hints().size(), hints + 1);
            EXPECT_EQ(m::Hints().back().ecx, 1u);
            EXPECT_EQ(m::Hints().back().key, 0x22105094u);
            EXPECT_EQ(m::Hints().back().hostValue, run.registers.ebx);
        } else {
            ASSERT_EQ(after.exit, sim::Exit::Resumed);
            ExpectSame(after.registers, run.registers);
            EXPECT_EQ(m::Hints().size(), hints);
        }
        sim::Run item = At(m::kItemChosenSite, m::kItemBlockedResume, {sim::kReturnToSimulator});
        item.registers.ecx = sim::Address(m::NewSlotMenuItem(sim::Hash(c.header)));
        const sim::Capture chosen = sim::RunHostCode(item);
        EXPECT_EQ(chosen.exit == sim::Exit::Resumed, c.blocked) << "resumed at the blocked address";
        ExpectSame(chosen.registers, item.registers);
    }
    // A blocked slot whose hint answers 0 goes on as the host would.
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
        sim::Run run = At(sim::Global<uint32_t>(m::kSlotTitleEntry), 0, {sim::kReturnToSimulator, 0x600D});
        run.registers.ecx = sim::Address(m::NewSlotEntry(slot));
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Returned);
        EXPECT_EQ(after.registers.eax, title) << slot;
        EXPECT_EQ(m::HostOwnTitleCalls() - ownCalls, title == m::HostOwnTitle(slot) ? 1u : 0u);
        EXPECT_EQ(after.esp - after.espAtSite, 4u);
        EXPECT_EQ(after.registers.ebx, run.registers.ebx);
        EXPECT_EQ(after.registers.esi, run.registers.esi);
        EXPECT_EQ(after.registers.edi, run.registers.edi);
        EXPECT_EQ(after.registers.ebp, run.registers.ebp);
    }
}

TEST_F(CustomizationMenusTest, CameraNamesAndSteeringTargets) {
    constexpr char kMods[] = "[GENERAL]\nFrontSteerAngle = 25\n[PART_ATTACHMENT14]\nCamera = CAM_TIRES\n"
                             "[PART_ATTACHMENT12]\nCamera = CAM_CAMBER\n[MODS]\n";
    const struct {
        const char* mods;
        int32_t slot, size;
        uint32_t cameraState, screenValue;  // screen +0x2E0 and +0x2C4
        const char* buffer;                 // "X": untouched
        std::vector<float> targets;
    } cases[] = {
        {"Tires = 1\n", 70, 32, 1, 0xA99C5F, "CAM_TIRES", {25.0f, -20.0f}},
        {"Tires = 0\n", 70, 32, 1, 0xA99C5F, "CAM_TIRES", {25.0f}},
        {"Camber = 1\n", 68, 11, 1, 0, "CAM_CAMBER", {25.0f, 0.0f}},
        {"Camber = 1\n", 68, 10, 1, 0, "", {25.0f, 0.0f}},
        {"Camber = 0\nTrackWidth = 1\n", 68, 32, 1, 0, "CAM_CAMBER", {25.0f}},
        {"TrackWidth = 1\n", 69, 32, 1, 0, "", {25.0f, 0.0f}},
        {"Tires = 1\n", 70, 32, 0, 0, "", {}},
        {"Tires = 1\n", 70, 32, 1, 0xA99C60, "", {}},
        {"Tires = 1\n", 70, 0, 1, 0, "X", {}},
        {"Tires = 1\n", 70, -1, 1, 0, "X", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mods << " slot " << c.slot << " size " << c.size);
        Load(std::string(kMods) + c.mods, "");
        steerTargets.clear();
        uint8_t* screen = m::NewScreen(c.slot);
        sim::Field<uint32_t>(screen, 0x2E0) = c.cameraState;
        sim::Field<uint32_t>(screen, 0x2C4) = c.screenValue;
        char* buffer = reinterpret_cast<char*>(sim::NewBlock(40));
        std::memset(buffer, 'X', 39);
        sim::Run run = At(m::kCameraNameSite, m::kCameraNameSite + 5, {sim::Address(buffer), static_cast<uint32_t>(c.size), 0x600D});
        run.registers.ecx = sim::Address(screen);
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.esp - after.espAtSite, 8u);
        EXPECT_EQ(after.registers.ebx, run.registers.ebx);
        EXPECT_EQ(after.registers.esi, run.registers.esi);
        EXPECT_EQ(after.registers.edi, run.registers.edi);
        EXPECT_EQ(std::string(buffer, std::strlen(c.buffer)), c.buffer);
        EXPECT_EQ(buffer[std::strlen(c.buffer)], std::strcmp(c.buffer, "X") == 0 ? 'X' : '\0');
        EXPECT_EQ(steerTargets, c.targets);
    }
    // No shown entry: an empty name.
    uint8_t* screen = m::NewScreen(70);
    sim::Field<uint32_t>(screen, 0x34) = 0;
    char buffer[4] = "XXX";
    sim::Run run = At(m::kCameraNameSite, m::kCameraNameSite + 5, {sim::Address(buffer), 4});
    run.registers.ecx = sim::Address(screen);
    sim::RunHostCode(run);
    EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
