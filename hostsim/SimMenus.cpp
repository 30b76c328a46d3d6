#include "SimMenus.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "Sim.h"

namespace sim::menus {

namespace {

constexpr uint32_t kCareerKey = 0x247E0956;

std::map<const uint8_t*, std::vector<uint8_t*>> menuItems;
std::vector<PreparedMenu> prepared;
std::vector<SlotState> slotStates;
std::vector<Hint> hints;
uint32_t hintResult = 1;
uint32_t chosenBody = 0xFFFFFFFFu;
std::optional<int32_t> careerState;
int32_t careerRecord[4];
size_t careerLookups;
size_t ownTitleCalls;
uint32_t screenCount;

// ---- Host routines, with the game's calling conventions ----

void __thiscall HostMenuItemInit(uint8_t* item, uint32_t nameHash, int32_t value, const uint8_t* first,
                                 const uint8_t* second) {
    Field<uint32_t>(item, 0x2C) = nameHash;
    Field<int32_t>(item, 0x30) = value;
    item[0x34] = *first;
    item[0x35] = *second;
}

void __thiscall HostMenuAddItem(const uint8_t* menu, uint8_t* item) { menuItems[menu].push_back(item); }

void __cdecl HostPrepareSlotMenu(uint32_t screenValue, uint32_t key) { prepared.push_back({screenValue, key}); }

void __thiscall HostSetMenuSlotState(uint8_t* screen, uint32_t headerHash, int32_t slot, int32_t autosculpt,
                                     int32_t extra) {
    slotStates.push_back({Address(screen), headerHash, slot, autosculpt, extra});
}

uint32_t __thiscall HostMenuDefaultSlotHandler(uint8_t* entry) {
    ++ownTitleCalls;
    return HostOwnTitle(Field<int32_t>(entry, 0x18));
}

uint32_t __thiscall HostShowMenuHint(void* ecx, uint32_t key, uint32_t hostValue) {
    hints.push_back({Address(ecx), key, hostValue});
    return hintResult;
}

// Answers only for the customization object, the body slot and the flag 1.
uint32_t __thiscall HostCustomizationGetPartName(void* customization, int32_t slot, int32_t one) {
    if (Address(customization) != kCustomizationObject || one != 1) return 0;
    return slot == 23 ? chosenBody : 0xFFFFFFFFu;
}

int32_t* __thiscall HostGetCareerRecord(void* career, uint32_t key, int32_t zero) {
    ++careerLookups;
    if (Address(career) != kCareerObject || key != kCareerKey || zero != 0 || !careerState) return nullptr;
    careerRecord[0] = *careerState;
    return careerRecord;
}

void Place() {
    PlaceRoutine(kMenuItemInit, reinterpret_cast<const void*>(&HostMenuItemInit));
    PlaceRoutine(kMenuAddItem, reinterpret_cast<const void*>(&HostMenuAddItem));
    PlaceRoutine(kPrepareSlotMenu, reinterpret_cast<const void*>(&HostPrepareSlotMenu));
    PlaceRoutine(kSetMenuSlotState, reinterpret_cast<const void*>(&HostSetMenuSlotState));
    PlaceRoutine(kMenuDefaultSlotHandler, reinterpret_cast<const void*>(&HostMenuDefaultSlotHandler));
    PlaceRoutine(kShowMenuHint, reinterpret_cast<const void*>(&HostShowMenuHint));
    PlaceRoutine(kCustomizationGetPartName, reinterpret_cast<const void*>(&HostCustomizationGetPartName));
    PlaceRoutine(kGetCareerRecord, reinterpret_cast<const void*>(&HostGetCareerRecord));
    // The slot entries' virtual table holds the host's own title routine.
    Global<uint32_t>(kSlotTitleEntry) = kMenuDefaultSlotHandler;
}

void ResetModel() {
    menuItems.clear();
    prepared.clear();
    slotStates.clear();
    hints.clear();
    hintResult = 1;
    chosenBody = 0xFFFFFFFFu;
    careerState.reset();
    careerLookups = 0;
    ownTitleCalls = 0;
    screenCount = 0;
}

// ---- The report: the menus a player sees for the sample cars ----

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
    const size_t before = slotStates.size();
    Run fill;
    fill.site = kFillSlotMenuSite;
    fill.resume = kFillSlotMenuResume;
    fill.registers.esi = Address(screen);
    RunHostCode(fill);
    return {(seen.registers.eflags & 0x40) != 0, {slotStates.begin() + static_cast<long>(before), slotStates.end()}};
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

void ReportCar(const char* car) {
    SetCurrentCarType(AddCarType(car));
    ChooseBody("PART_BODY_00");
    uint8_t* menu = NewMainMenu();
    Run add;
    add.site = kAddCategoriesSite;
    add.resume = kAddCategoriesResume;
    add.registers.esi = Address(menu);
    RunHostCode(add);

    std::printf("  %s (stock body chosen):\n    main menu gets:", car);
    const std::vector<MenuItem> items = MenuItems(menu);
    if (items.empty()) std::printf(" no extra category");
    for (const MenuItem& item : items) std::printf(" %s (category %d)", TitleText(item.nameHash, -1).c_str(), item.value);
    std::printf("\n");

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

    const std::string kitBody = std::string(car) + "_BODY_KIT01";
    ChooseBody(kitBody);
    std::printf("    choosing a slot with body %s and no exhaust markers:", kitBody.c_str());
    for (int32_t slot : {72, 73, 74, 75, 79, 47, 23}) {
        const size_t hintsBefore = hints.size();
        const bool blocked = Blocked(slot);
        std::printf(" %d %s%s", slot, blocked ? "blocked" : "open",
                    blocked && hints.size() > hintsBefore ? " (hint)" : "");
    }
    std::printf("\n");
}

void Report() {
    std::printf("\nCustomization menus, driven through the patched sites:\n");
    if (*reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(kAddCategoriesSite)) != 0xE9) {
        std::printf("  not installed\n");
        return;
    }
    for (const char* car : {"SUPRA", "FAIRLADY"}) ReportCar(car);
}

ModelRegistration registration({"menus", 10, &Place, &ResetModel, &Report});

}  // namespace

uint8_t* NewMainMenu() { return NewBlock(0x100); }

std::vector<MenuItem> MenuItems(const uint8_t* menu) {
    std::vector<MenuItem> items;
    const auto found = menuItems.find(menu);
    if (found == menuItems.end()) return items;
    for (uint8_t* item : found->second) {
        items.push_back({Address(item), Field<uint32_t>(item, 0x2C), Field<int32_t>(item, 0x30), item[0x34], item[0x35]});
    }
    return items;
}

uint8_t* NewScreen(int32_t shownSlot) {
    uint8_t* screen = NewBlock(0x400);
    uint8_t* shown = NewBlock(0x40);
    Field<int32_t>(shown, 0x30) = shownSlot;
    Field<uint8_t*>(screen, 0x34) = shown;
    Field<uint32_t>(screen, 0x2C8) = 0x5C400000 + ++screenCount;
    Field<uint32_t>(screen, 0x2E0) = 1;
    Field<int32_t>(screen, 0x2C4) = 0xA99C5F;
    return screen;
}

uint8_t* NewSlotEntry(int32_t slot) {
    uint8_t* entry = NewBlock(0x40);
    Field<int32_t>(entry, 0x18) = slot;
    return entry;
}

uint8_t* NewSlotMenuItem(uint32_t headerHash) {
    uint8_t* item = NewBlock(0x98);
    Field<uint32_t>(item, 0x2C) = headerHash;
    return item;
}

const std::vector<PreparedMenu>& PreparedMenus() { return prepared; }
const std::vector<SlotState>& SlotStates() { return slotStates; }
const std::vector<Hint>& Hints() { return hints; }
void SetHintResult(uint32_t result) { hintResult = result; }

void ChooseBody(const std::string& partName) { chosenBody = Hash(partName); }
void SetCareerState(std::optional<int32_t> state) { careerState = state; }
size_t CareerLookups() { return careerLookups; }

uint32_t HostOwnTitle(int32_t slot) { return 0x71710000u + static_cast<uint32_t>(slot); }
size_t HostOwnTitleCalls() { return ownTitleCalls; }

void SetExhaustMarkers(uint32_t centre, uint32_t left, uint32_t right) {
    uint8_t* holder = NewBlock(0x440);
    Field<uint32_t>(holder, 0x434) = centre;
    Field<uint32_t>(holder, 0x438) = left;
    Field<uint32_t>(holder, 0x43C) = right;
    Field<uint8_t*>(FrontEndObject(), 0xBF8) = holder;
}

}  // namespace sim::menus
