// Live car profiles at work: a sample car's main menu, its profile changed on disk while
// the game runs, the menu built again.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "SimMenus.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::menus;

// The extra categories the main menu gets, built through the patched site.
std::string MainMenuCategories() {
    std::string categories;
    for (const MenuItem& item : MainMenuItems()) categories += " " + std::to_string(item.value);
    return categories.empty() ? " none" : categories;
}

// Writes the profile and builds the menu until it changes (at most 2 s): what it shows,
// and after how long.
void EditAndWatch(const std::string& path, const std::string& content, const char* what) {
    const std::string before = MainMenuCategories();
    std::ofstream(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc) << content;
    const auto start = std::chrono::steady_clock::now();
    std::string after = before;
    while (after == before && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        Sleep(50);
        after = MainMenuCategories();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("  %s: the main menu gets categories%s (%s)\n", what, after.c_str(),
                after == before ? "unchanged after 2 s" : ("within " + std::to_string(ms.count() / 100 * 100 + 100) + " ms").c_str());
}

}  // namespace

void ReportLiveProfiles(const std::string& folder) {
    std::printf("\nLive car profiles:\n");
    if (IniSetting(folder + "Morvane.ini", "GENERAL", "LiveProfiles") != 1) {
        std::printf("  off (LiveProfiles = 0 in Morvane.ini): car profiles are read when the game starts\n");
        return;
    }
    const std::string path = folder + "MorvaneCars\\SUPRA";
    std::stringstream original;
    original << std::ifstream(std::filesystem::path(Wide(path)), std::ios::binary).rdbuf();
    SetCurrentCarType(AddCarType("SUPRA"));
    std::printf("  SUPRA as the game started: the main menu gets categories%s\n", MainMenuCategories().c_str());
    EditAndWatch(path, "[GENERAL]\nForceLodA = 1\n", "its file saved without part slots");
    EditAndWatch(path, original.str(), "its file saved back");
}

}  // namespace tour
