#pragma once
// Extra customization categories, slot lists, titles, cameras and blocked slots.
#include <cstdint>

#include "host/Records.h"

namespace morvane {

// Adds the attachments and specialties categories to the main menu being built, when the
// car's profile switches on one of their slots.
void AddMenuCategories(host::Menu* menu);
// Keeps the category the game's category test saw; answers the value the game may know
// (0 for the plug-in's own categories).
int32_t RememberMenuCategory(int32_t value);
// Fills the customization screen's slot menu for the current category.
void FillSlotMenu(void* screen);
// Nonzero (the game's hint answer) when the slot may not be chosen now, else 0.
uint32_t CheckSlotBlocked(int32_t slot, uint32_t hostValue);
// Nonzero when the menu item with that title may not be chosen now.
uint32_t CheckMenuItemBlocked(uint32_t headerHash);
// Virtual-table entry of the game's slot entries: the slot's title.
uint32_t __thiscall SlotHeaderHash(host::MenuEntry* entry);
// Called in place of the game's camera-name routine: the camera the slot is shown with.
void __thiscall SlotCameraName(void* screen, char* buffer, int32_t size);

// Writes the menu sites, then the part-list call (InstallPartLists).
void InstallCustomizationMenus();

}  // namespace morvane
