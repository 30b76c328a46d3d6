// The customization menus a player sees for the sample cars, driven through the patched
// sites.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "SimMenus.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::menus;

const char* SlotName(int32_t slot) {
    static const std::map<int32_t, const char*> names = {
        {23, "body"}, {24, "front brake"}, {25, "front rotor"}, {29, "interior"}, {30, "left brake light"},
        {32, "left headlight"}, {34, "left side mirror"}, {45, "driver"}, {46, "steering wheel"},
        {47, "exhaust"}, {48, "spoiler"}, {72, "front bumper"}, {73, "front bumper badging"},
        {74, "rear bumper"}, {75, "rear bumper badging"}, {76, "roof"}, {77, "roof scoop"}, {78, "hood"},
        {79, "skirt"}, {82, "left door"}, {84, "front wheel"}, {86, "licence plate"}, {94, "generic vinyls"},
        {100, "front decal"}, {101, "rear decal"}};
    static char attachment[32];
    const auto found = names.find(slot);
    if (found != names.end()) return found->second;
    std::snprintf(attachment, sizeof attachment, "attachment %02d", slot - 56);
    return attachment;
}

// A title hash as text: the game text the settings named, or the game's own title.
std::string TitleText(uint32_t hash, int32_t slot) {
    if (hash == HostOwnTitle(slot)) return "the game's own";
    for (const std::string& text : HashedTexts()) {
        if (Hash(text) == hash) return "\"" + text + "\"";
    }
    char unknown[16];
    std::snprintf(unknown, sizeof unknown, "0x%08X", hash);
    return unknown;
}

struct CategoryView {
    bool hostSeesZero;
    std::vector<SlotState> slots;
};

// Chooses a category through the category test, then opens the slot menu.
CategoryView ChooseCategory(int32_t category, bool autosculpt) {
    Run test;
    test.site = kCategoryTestSite;
    test.resume = kCategoryTestResume;
    test.stack.assign(0x64 / 4, 0);
    test.stack[0x60 / 4] = static_cast<uint32_t>(category);
    const Capture seen = RunHostCode(test);

    uint8_t* screen = NewScreen();
    screen[0x2D4] = autosculpt ? 1 : 0;
    const size_t before = SlotStates().size();
    Run fill;
    fill.site = kFillSlotMenuSite;
    fill.resume = kFillSlotMenuResume;
    fill.registers.esi = Address(screen);
    RunHostCode(fill);
    return {(seen.registers.eflags & 0x40) != 0,
            {SlotStates().begin() + static_cast<long>(before), SlotStates().end()}};
}

uint32_t ShownTitle(int32_t slot) {
    Run run;
    run.site = Global<uint32_t>(kSlotTitleEntry);
    run.registers.ecx = Address(NewSlotEntry(slot));
    run.stack = {kReturnToSimulator};
    return RunHostCode(run).registers.eax;
}

std::string ShownCamera(int32_t slot) {
    char* buffer = reinterpret_cast<char*>(NewBlock(64));
    Run run;
    run.site = kCameraNameSite;
    run.resume = kCameraNameSite + 5;
    run.registers.ecx = Address(NewScreen(slot));
    run.stack = {Address(buffer), 64};
    RunHostCode(run);
    return buffer[0] ? std::string("\"") + buffer + "\"" : "the game's own";
}

bool Blocked(int32_t slot) {
    Run run;
    run.site = kSlotChosenSite;
    run.resume = kSlotChosenResume;
    run.registers.eax = static_cast<uint32_t>(slot);
    run.stack = {0, 0, 0, kReturnToSimulator, 0, 0, 0, 0, 0};
    return RunHostCode(run).exit == Exit::Returned;
}

void PrintList(const char* heading, const std::vector<SlotState>& slots) {
    std::printf("    %s:%s\n", heading, slots.empty() ? " no slots" : "");
    for (const SlotState& s : slots) {
        std::printf("      %3d %-22s title %s, camera %s%s", s.slot, SlotName(s.slot),
                    TitleText(ShownTitle(s.slot), s.slot).c_str(), ShownCamera(s.slot).c_str(),
                    Blocked(s.slot) ? ", blocked (hint shown)" : "");
        if (s.extra != 0) std::printf(", value %d", s.extra);
        std::printf("\n");
    }
}

// The main menu built through the patched site: the categories it gets.
std::vector<MenuItem> BuildMainMenu(const char* car) {
    std::printf("  %s (stock body chosen):\n    main menu gets:", car);
    const std::vector<MenuItem> items = MainMenuItems();
    if (items.empty()) std::printf(" no extra category");
    for (const MenuItem& item : items) std::printf(" %s (category %d)", TitleText(item.nameHash, -1).c_str(), item.value);
    std::printf("\n");
    return items;
}

// The slots of the game's own categories, of each one the plug-in added, and of autosculpt.
void ReportCategories(const std::vector<MenuItem>& items) {
    PrintList("category 0, the game's parts", ChooseCategory(0, false).slots);
    for (const MenuItem& item : items) {
        const CategoryView view = ChooseCategory(item.value, false);
        char heading[96];
        std::snprintf(heading, sizeof heading, "category %d %s (the game's test sees %s)", item.value,
                      TitleText(item.nameHash, -1).c_str(), view.hostSeesZero ? "0" : "it");
        PrintList(heading, view.slots);
    }
    PrintList("category 7, handed over by the game", ChooseCategory(7, false).slots);
    SetCareerState(2);
    PrintList("autosculpt (career record 2)", ChooseCategory(0, true).slots);
    SetCareerState(std::nullopt);
}

// With a kit body and no exhaust markers, the slots a player may no longer choose.
void ReportBlockedSlots(const char* car) {
    const std::string kitBody = std::string(car) + "_BODY_KIT01";
    ChooseBody(kitBody);
    std::printf("    choosing a slot with body %s and no exhaust markers:", kitBody.c_str());
    for (int32_t slot : {72, 73, 74, 75, 79, 47, 23}) {
        const size_t hintsBefore = Hints().size();
        const bool blocked = Blocked(slot);
        std::printf(" %d %s%s", slot, blocked ? "blocked" : "open",
                    blocked && Hints().size() > hintsBefore ? " (hint)" : "");
    }
    std::printf("\n");
}

}  // namespace

std::vector<MenuItem> MainMenuItems() {
    uint8_t* menu = NewMainMenu();
    Run add;
    add.site = kAddCategoriesSite;
    add.resume = kAddCategoriesResume;
    add.registers.esi = Address(menu);
    RunHostCode(add);
    return MenuItems(menu);
}

void ReportMenus() {
    std::printf("\nCustomization menus, driven through the patched sites:\n");
    if (GameByte(kAddCategoriesSite) != 0xE9) {
        std::printf("  not installed\n");
        return;
    }
    for (const char* car : {"SUPRA", "FAIRLADY"}) {
        SetCurrentCarType(AddCarType(car));
        ChooseBody("PART_BODY_00");
        ReportCategories(BuildMainMenu(car));
        ReportBlockedSlots(car);
    }
}

}  // namespace tour
