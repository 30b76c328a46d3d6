#pragma once
// Decal upgrade groups, stock rim paint and vinyl mirroring.

namespace morvane {

// Gives the front and rear decal slots (100 and 101) upgrade groups of their own: the
// catalogue's group-0x60 records of both become groups 0x68 and 0x69, and so do the two
// slots' entries of the game's group table.
void FixDecalUpgradeGroups();

// Writes the decal ("FixFrontRearDecals"), stock rim paint ("AllowStockRimsPaint") and
// vinyl ("AllVinylsMirrorable", unless stock rim paint) sites, and two short jumps always.
void InstallPartSlotFixes();

}  // namespace morvane
