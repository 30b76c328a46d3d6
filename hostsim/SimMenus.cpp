#include "SimMenus.h"

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

void __thiscall HostMenuAddItem(const uint8_t* menu, uint8_t* item) {
    const HostCall call;
    menuItems[menu].push_back(item);
}

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

ModelRegistration registration({"menus", 10, &Place, &ResetModel});

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
