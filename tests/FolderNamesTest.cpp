// Game folders named in any language, or with paths past 260 characters, on a Western
// Windows (ANSI code page 1252): start-up reads the settings and a car's file, writes its
// sites and its log beside the plug-in, the log and MorvaneCheck name the folder as it is
// named, and live profiles follow the car's file.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "GameSites.h"
#include "Sim.h"
#include "SimMenus.h"
#include "TestFolders.h"
#include "Version.h"
#include "config/IniFile.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kSteeringAngle = 0xA7B668;

// What the ANSI API makes of the plug-in's path there.
enum class Ansi {
    Exact,  // the path, in code page 1252
    Lossy,  // '?' for what code page 1252 lacks
    Cut,    // cut to MAX_PATH
};

struct Name {
    const char* test;    // the test's own name
    std::string folder;  // UTF-8; a '\' makes folders within folders
    std::string car;     // a car's file beside SUPRA in MorvaneCars
    Ansi ansi;
};

const Name kNames[] = {
    {"Ascii", "Kavra", "KAVRA", Ansi::Exact},
    {"Latin1", "Jeux vidéo à Noël", "CAFÉ", Ansi::Exact},
    {"Cyrillic", "Игры", "МАШИНА", Ansi::Lossy},
    {"Japanese", "unicode ゲーム Игры", "ゲーム", Ansi::Lossy},
    {"SpaceAndAmpersand", "Kavra & Co", "A & B", Ansi::Exact},
    {"LongerThan260", "long-" + std::string(120, 'x') + "\\" + std::string(120, 'y'), std::string(200, 'Z'), Ansi::Cut},
};

// The game builds its main menu: how many categories the hook added for the current car.
size_t CategoriesAdded() {
    uint8_t* menu;
    {
        const sim::HostCall call;
        menu = sim::menus::NewMainMenu();
    }
    sim::Registers r;
    r.esi = sim::Address(menu);
    sim::CallHostCode(sim::menus::kAddCategoriesSite, r);
    const sim::HostCall call;
    return sim::menus::MenuItems(menu).size();
}

// The log tells the site as written ("    0x007DA131 choosing the part that carries the
// exhaust", perhaps with why), not as left alone.
bool NamedAsWritten(const std::string& log, const sim::GameSite& site) {
    char address[11];
    std::snprintf(address, sizeof address, "0x%08X", site.address);
    const std::string named = "\n    " + std::string(address) + " " + site.what;
    const size_t at = log.find(named);
    if (at == std::string::npos) return false;
    const std::string rest = log.substr(at + named.size(), log.find('\n', at + 1) - at - named.size());
    return rest.empty() || (rest.starts_with(": ") && !rest.starts_with(": left alone"));
}

class FolderNames : public testing::TestWithParam<Name> {};

TEST_P(FolderNames, StartUpAndMorvaneCheckReadTheFolderAsNamed) {
    const Name& n = GetParam();
    ASSERT_EQ(GetACP(), 1252u) << "a Western Windows: scripts/wine.sh sets the locale Wine takes it from";
    sim::Reset();
    // Where the game goes on after its main menu is built: it drops the value the hook's
    // entry pushed for it, and returns to the caller.
    sim::PlantHostBytes(sim::menus::kAddCategoriesResume, {0x83, 0xC4, 0x04, 0xC3});  // add esp, 4; ret
    GameFolder folder(n.folder);
    folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 25\nLiveProfiles = 1\n");
    folder.Write("MorvaneCars\\SUPRA", "[PART_ATTACHMENT01]\nEnabled = 1\n");
    folder.Write("MorvaneCars\\" + n.car, "[GENERAL]\nForceLodA = 1\n");
    const std::string path = folder.CopyPlugin();
    HMODULE plugin = sim::LoadPlugin(path);
    ASSERT_NE(plugin, nullptr);

    char ansi[MAX_PATH];
    const DWORD length = GetModuleFileNameA(plugin, ansi, MAX_PATH);
    const std::string seen(ansi, length < MAX_PATH ? length : MAX_PATH - 1);
    switch (n.ansi) {
    case Ansi::Exact: EXPECT_EQ(morvane::WideName(seen, CP_ACP), sim::Wide(path)) << seen; break;
    case Ansi::Lossy: EXPECT_NE(seen.find('?'), std::string::npos) << seen; break;
    case Ansi::Cut: EXPECT_EQ(length, DWORD{MAX_PATH}) << seen; break;
    }

    // Morvane.ini was read, and the car's file applies.
    EXPECT_EQ(sim::Global<float>(kSteeringAngle), 25.0f);
    sim::SetCurrentCarType(sim::AddCarType("SUPRA"));
    EXPECT_EQ(CategoriesAdded(), 1u);

    const std::string log = folder.Read("Morvane.log");
    const std::string version = kMorvaneVersion;
    EXPECT_TRUE(log.starts_with("Morvane " + version + ", " + path + "\n")) << log;
    for (const std::string& file : std::vector<std::string>{"Morvane.ini", "MorvaneCars\\SUPRA", "MorvaneCars\\" + n.car}) {
        EXPECT_NE(log.find("settings file " + folder.path() + file + ": read\n"), std::string::npos) << file << "\n" << log;
    }
    const size_t profiles = log.find("\nprofiles: 2 from MorvaneCars:");
    ASSERT_NE(profiles, std::string::npos) << log;
    const std::string named = log.substr(profiles, log.find(';', profiles) - profiles) + " ";
    for (const std::string& car : {std::string("SUPRA"), n.car}) EXPECT_NE(named.find(" " + car + " "), std::string::npos) << named;
    size_t written = 0;
    for (const sim::GameSite& site : sim::GameSites()) {
        if (site.patch == sim::Patch::Read || *site.gate != '\0' || std::string(site.area) == "game data") continue;
        ++written;
        EXPECT_TRUE(NamedAsWritten(log, site)) << site.what << "\n" << log;
    }
    EXPECT_NE(log.find("state: active, " + std::to_string(written) + " game sites written\n"), std::string::npos) << log;

    // MorvaneCheck, given the folder on its command line.
    const std::string where = folder.path().substr(0, folder.path().size() - 1);
    std::string report;
    EXPECT_EQ(testfolders::RunProgram("MorvaneCheck.exe", "\"" + where + "\"", folder.path() + "check.txt", report, 30000),
              0u)
        << report;
    EXPECT_TRUE(report.starts_with("MorvaneCheck " + version + ": " + where + "\n")) << report;
    for (const std::string& line : std::vector<std::string>{
             "FrontSteerAngle         25    Morvane.ini:2", "  SUPRA  (file MorvaneCars\\SUPRA)",
             "  " + n.car + "  (file MorvaneCars\\" + n.car + ")",
             "Part slots switched on: PART_ATTACHMENT01 (MorvaneCars\\SUPRA:2)"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    }

    // The car's file saved anew while the game runs: the menu follows it.
    folder.Write("MorvaneCars\\SUPRA", "[PART_ATTACHMENT01]\nEnabled = 0\n");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (CategoriesAdded() != 0 && std::chrono::steady_clock::now() < end) Sleep(50);
    EXPECT_EQ(CategoriesAdded(), 0u);
    EXPECT_NE(folder.Read("Morvane.log").find("live profiles: read again: 9 car profiles in force"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EachName, FolderNames, testing::ValuesIn(kNames),
                         [](const testing::TestParamInfo<Name>& info) { return std::string(info.param.test); });

}  // namespace
