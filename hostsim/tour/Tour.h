#pragma once
// The tour: the simulated game run as a program with the plug-ins of its folder, printing
// what happened. Each part prints one section of the run report.
#include <cstdint>
#include <string>

#include <vector>

#include "Sim.h"
#include "SimMenus.h"

namespace tour {

// ---- Start-up (TourStartup.cpp) ----
// The folder of the running game (UTF-8), ending in a backslash.
std::string GameFolder();
// An integer setting of an INI file (UTF-8 path), as Windows reads one; 0 when not set.
int IniSetting(const std::string& path, const char* section, const char* key);
// The game's own lines: its name, folder, image base and entry point.
void ReportGame(const std::string& folder);
// Loads every plug-in (*.asi) of the folder as the game's loader does and reports each.
struct Plugins {
    bool any;     // the folder holds a plug-in
    bool active;  // Morvane.asi is among them and active
};
Plugins LoadPlugins(const std::string& folder);

// ---- The game bytes the plug-ins changed, by the part of the game (TourRuns.cpp) ----
void ReportRuns();

// ---- The settings, as MorvaneCheck reads them (TourSettings.cpp) ----
void ReportSettings(const std::string& folder);

// ---- Each feature at work on sample cars, driven through the patched game code ----
void ReportMenus();      // TourMenus.cpp
void ReportCatalogue();  // TourCatalogue.cpp
void ReportExhaust();    // TourExhaust.cpp
void ReportNeon();       // TourNeon.cpp
void ReportTextures();   // TourTextures.cpp
void ReportWheels();     // TourWheels.cpp
void ReportLiveProfiles(const std::string& folder);  // TourLive.cpp
// The game builds its main menu through the patched site: the items it gets (TourMenus.cpp).
std::vector<sim::menus::MenuItem> MainMenuItems();

// ---- Shared by the parts (TourRuns.cpp) ----
// True when a plug-in changed the game's byte at `site`.
bool Changed(uint32_t site);
// The game's byte at `address`.
uint8_t GameByte(uint32_t address);

}  // namespace tour
