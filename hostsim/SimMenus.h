#pragma once
// The game's customization screens as far as the menus touch them: the main menu and its
// items, the customization screen object, the slot-menu routines, the hint box, the chosen
// body, the career record, the host's own slot titles and the exhaust-marker holder.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::menus {

// Sites the menus are reached through, and where the host goes on from them.
constexpr uint32_t kAddCategoriesSite = 0x83FBF1, kAddCategoriesResume = 0x83FBF6;
constexpr uint32_t kCategoryTestSite = 0x8683C9, kCategoryTestResume = 0x8683CF;
constexpr uint32_t kFillSlotMenuSite = 0x866074, kFillSlotMenuResume = 0x866235;
constexpr uint32_t kSlotChosenSite = 0x85F74C, kSlotChosenResume = 0x85F7BD;
constexpr uint32_t kItemChosenSite = 0x8665DA, kItemBlockedResume = 0x8665FC, kItemAllowedResume = 0x866638;
constexpr uint32_t kHintArgumentSite = 0x85F90E;
constexpr uint32_t kSlotTitleEntry = 0x9F9D14;   // virtual-table entry of the slot entries
constexpr uint32_t kCameraNameSite = 0x84EB1F;

// Host routines and objects.
constexpr uint32_t kMenuItemInit = 0x5869C0;
constexpr uint32_t kMenuAddItem = 0x5B2320;
constexpr uint32_t kPrepareSlotMenu = 0x583A90;
constexpr uint32_t kSetMenuSlotState = 0x85FE30;
constexpr uint32_t kMenuDefaultSlotHandler = 0x842670;
constexpr uint32_t kShowMenuHint = 0x85F8F0;
constexpr uint32_t kCustomizationGetPartName = 0x85EE80;
constexpr uint32_t kGetCareerRecord = 0x463A80;
constexpr uint32_t kCustomizationObject = 0xBBABA8;
constexpr uint32_t kCareerObject = 0xBBABB0;

// An item as HostMenuItemInit built it and HostMenuAddItem appended it.
struct MenuItem {
    uint32_t address;
    uint32_t nameHash;
    int32_t value;
    uint8_t firstFlag, secondFlag;  // the bytes the two flag pointers pointed to
};

// A main menu being built (an opaque host object); its items in the order appended.
uint8_t* NewMainMenu();
std::vector<MenuItem> MenuItems(const uint8_t* menu);

// A customization screen: +0x2C8 its menu value, +0x2D4 autosculpt byte, +0x2D5 the
// wheel value, +0x2E0 and +0x2C4 the camera state, +0x34 the shown entry (slot at +0x30).
// Made in the state in which the camera of `shownSlot` is asked for.
uint8_t* NewScreen(int32_t shownSlot = 0);

// A slot entry of the parts menu: slot at +0x18.
uint8_t* NewSlotEntry(int32_t slot);
// A menu item of the slot menu: header hash at +0x2C.
uint8_t* NewSlotMenuItem(uint32_t headerHash);

struct PreparedMenu {
    uint32_t screenValue, key;
};
struct SlotState {
    uint32_t screen, headerHash;
    int32_t slot, autosculpt, extra;
};
struct Hint {
    uint32_t ecx, key, hostValue;
};
const std::vector<PreparedMenu>& PreparedMenus();
const std::vector<SlotState>& SlotStates();
const std::vector<Hint>& Hints();
void SetHintResult(uint32_t result);

// The body chosen in the customization screens (slot 23 of the customization object).
void ChooseBody(const std::string& partName);
// The career record's first field; none: the host has no such record.
void SetCareerState(std::optional<int32_t> state);
size_t CareerLookups();

// The title the host gives a slot entry itself.
uint32_t HostOwnTitle(int32_t slot);
size_t HostOwnTitleCalls();

// The current car's exhaust markers, through the front-end object's marker holder.
void SetExhaustMarkers(uint32_t centre, uint32_t left, uint32_t right);

}  // namespace sim::menus
