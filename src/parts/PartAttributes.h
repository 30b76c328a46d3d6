#pragma once
// Part lists filtered by part attributes, and the forced level of detail.

namespace morvane {

// Writes the part-list site; the customization menus installer calls it last.
void InstallSlotPartListHook();

}  // namespace morvane
