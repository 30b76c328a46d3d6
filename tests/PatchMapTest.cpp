// The complete patch map: for each configuration, the real plug-in started in a fresh
// simulated game changes exactly the game bytes its settings call for, with the exact
// bytes, leading where each kind of patch must lead, and no others. The sites are the
// game's side's own list (GameSites.h), kept apart from the plug-in's tables.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "GameSites.h"
#include "HostLayout.h"
#include "Sim.h"
#include "TestFolders.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace {

using sim::GameSite;
using sim::Patch;
using testfolders::GameFolder;

// Every key that may change a game site: the switch tables' keys and the steering angle.
std::vector<std::string> Switches() {
    std::vector<std::string> keys;
    for (const morvane::GlobalSwitchKey& entry : morvane::kGlobalSwitches) keys.push_back(entry.key);
    for (const morvane::ProfileSwitchKey& entry : morvane::kProfileSwitches) keys.push_back(entry.key);
    keys.push_back("FrontSteerAngle");
    return keys;
}

bool IsModsKey(const std::string& key) {
    for (const morvane::GlobalSwitchKey& entry : morvane::kGlobalSwitches) {
        if (key == entry.key) return std::string(entry.section) == morvane::kModsSection;
    }
    return false;
}

// Morvane.ini setting each switch given to `value` (FrontSteerAngle to 20 for "1").
std::string Ini(const std::vector<std::string>& keys, const std::string& value = "1") {
    std::string general, mods;
    for (const std::string& key : keys) {
        const std::string written = key == "FrontSteerAngle" && value == "1" ? "20" : value;
        (IsModsKey(key) ? mods : general) += key + " = " + written + "\n";
    }
    return (general.empty() ? "" : "[GENERAL]\n" + general) + (mods.empty() ? "" : "[MODS]\n" + mods);
}

const uint8_t* At(uint32_t address) { return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address)); }

HMODULE ModuleAt(uint32_t address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(At(address)), &module);
    return module;
}

DWORD Protection(uint32_t address) {
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(At(address), &info, sizeof info) || info.State != MEM_COMMIT) return 0;
    return info.Protect;
}

bool Executable(uint32_t address) {
    return (Protection(address) & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Where a written jump, call or pointer leads, by the kind of patch: into the plug-in's
// own routines or constants, or into an entry it made at run time; never into the game.
void ExpectLeadsWhereItShould(const GameSite& site, HMODULE plugin) {
    const bool pointer = site.patch == Patch::Routine || site.patch == Patch::Constant;
    uint32_t value;
    std::memcpy(&value, At(site.address) + (pointer ? 0 : 1), 4);
    const uint32_t target = pointer ? value : site.address + 5 + value;
    EXPECT_FALSE(target >= sim::layout::kHostBegin && target < sim::layout::kHostEnd) << std::hex << site.address;
    switch (site.patch) {
    case Patch::Hook:
        EXPECT_EQ(ModuleAt(target), nullptr) << std::hex << site.address;
        EXPECT_TRUE(Executable(target)) << std::hex << site.address;
        break;
    case Patch::Jump:
    case Patch::Call:
    case Patch::Routine:
        EXPECT_EQ(ModuleAt(target), plugin) << std::hex << site.address;
        EXPECT_TRUE(Executable(target)) << std::hex << site.address;
        break;
    case Patch::Constant:
        ASSERT_EQ(ModuleAt(target), plugin) << std::hex << site.address;
        EXPECT_EQ(Protection(target), static_cast<DWORD>(PAGE_READONLY)) << std::hex << site.address;
        EXPECT_EQ(std::vector<uint8_t>(At(target), At(target) + 4), site.bytes) << std::hex << site.address;
        break;
    default:
        break;
    }
}

// Fixed code written at the site, run as the game runs it.
void ExpectRun(const GameSite& site) {
    if (site.runs == sim::Runs::Unchecked) return;
    sim::Run run;
    run.site = site.address;
    run.resume = site.runs == sim::Runs::Pushes ? site.address + site.size : 0;
    run.registers.eax = sim::kRunEax;
    run.stack = {sim::kReturnToSimulator};
    for (uint32_t i = 1; i < 8; ++i) run.stack.push_back(sim::kRunSlot + i);
    const sim::Capture after = sim::RunHostCode(run);
    if (site.runs == sim::Runs::Returns) {
        EXPECT_EQ(after.exit, sim::Exit::Returned) << std::hex << site.address;
        EXPECT_EQ(after.registers.eax, site.result) << std::hex << site.address;
    } else {
        ASSERT_EQ(after.exit, sim::Exit::Resumed) << std::hex << site.address;
        ASSERT_EQ(after.espAtSite - after.esp, 4u) << std::hex << site.address;
        EXPECT_EQ(sim::Global<uint32_t>(after.esp), site.result) << std::hex << site.address;
    }
}

void ExpectSite(const GameSite& site, HMODULE plugin) {
    const uint8_t* at = At(site.address);
    switch (site.patch) {
    case Patch::Hook:
    case Patch::Jump:
        EXPECT_EQ(at[0], 0xE9) << std::hex << site.address;
        break;
    case Patch::Call:
        EXPECT_EQ(at[0], 0xE8) << std::hex << site.address;
        break;
    case Patch::Bytes: {
        const std::vector<uint8_t> written(at, at + site.size);
        EXPECT_EQ(written, site.bytes) << std::hex << site.address;
        if (written == site.bytes) ExpectRun(site);
        return;
    }
    default:
        break;
    }
    ExpectLeadsWhereItShould(site, plugin);
}

// The plug-in's log names every site it wrote or left alone as the game's side names it,
// and names no other: "    0x007E5A6A the shadow's texture[: why]".
void ExpectLogNamesSites(const GameFolder& folder) {
    std::set<std::pair<uint32_t, std::string>> listed, logged;
    for (const GameSite& site : sim::GameSites()) {
        if (site.patch != Patch::Read && std::string(site.area) != "game data") listed.emplace(site.address, site.what);
    }
    std::ifstream log(folder.path() + "Morvane.log");
    std::string line;
    while (std::getline(log, line)) {
        if (!line.starts_with("    0x") || line.size() < 15) continue;
        const size_t end = line.find_first_of(":\r", 15);
        logged.emplace(std::stoul(line.substr(6, 8), nullptr, 16), line.substr(15, end - 15));
    }
    std::string missing, extra;
    for (const auto& [address, name] : listed) {
        if (!logged.count({address, name})) missing += " " + std::to_string(address) + " '" + name + "'";
    }
    for (const auto& [address, name] : logged) {
        if (!listed.count({address, name})) extra += " " + std::to_string(address) + " '" + name + "'";
    }
    EXPECT_EQ(missing, "") << "sites the log does not name";
    EXPECT_EQ(extra, "") << "sites the log names that the game's side does not list";
}

void ExpectMap(const std::string& what, const std::string& ini, const std::set<std::string>& on,
               const std::string& profile = "") {
    SCOPED_TRACE(what);
    sim::Reset();
    // The game's own code where only part of it is rewritten, so that a write past the
    // patch shows as a change.
    for (const GameSite& site : sim::GameSites()) {
        if (!site.gameCode.empty()) sim::PlantHostBytes(site.address, site.gameCode);
    }
    GameFolder folder("patch-map");
    if (!ini.empty()) folder.Write("Morvane.ini", ini);
    if (!profile.empty()) folder.Write("MorvaneCars\\SUPRA", profile);
    HMODULE plugin = sim::LoadPlugin(folder.CopyPlugin());
    ASSERT_NE(plugin, nullptr);
    ExpectLogNamesSites(folder);

    std::vector<std::pair<uint32_t, size_t>> called;
    for (const GameSite& site : sim::GameSites()) {
        if (!sim::Written(site, on)) continue;
        called.emplace_back(site.address, site.size);
        ExpectSite(site, plugin);
    }
    // Nothing else changed.
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        for (size_t i = 0; i < run.after.size(); ++i) {
            if (run.after[i] == run.before[i]) continue;
            const uint32_t address = run.address + static_cast<uint32_t>(i);
            bool expected = false;
            for (const auto& [site, length] : called) expected |= address >= site && address < site + length;
            EXPECT_TRUE(expected) << "unexpected change at 0x" << std::hex << address;
        }
    }
}

TEST(PatchMap, EachConfigurationChangesExactlyItsSites) {
    ExpectMap("no settings files", "", {});
    std::vector<std::string> all;
    for (const std::string& key : Switches()) {
        ExpectMap(key + " alone", Ini({key}), {key});
        all.push_back(key);
    }
    ExpectMap("every switch on", Ini(all), {all.begin(), all.end()});
    ExpectMap("every switch written as 0", Ini(all, "0"), {});
    const struct {
        const char* what;
        std::string ini;
        std::set<std::string> on;
    } rows[] = {
        {"vinyls without stock rim paint", Ini({"AllVinylsMirrorable", "ExhaustFX"}), {"AllVinylsMirrorable", "ExhaustFX"}},
        {"textures and lights without the wheel mirror", Ini({"ReplaceBrakelightShader", "Tires", "LicensePlate"}),
         {"ReplaceBrakelightShader", "Tires", "LicensePlate"}},
        {"neon and wheels, track width written as 0", "[MODS]\nNeon = 1\nCamber = 1\nTrackWidth = 0\nTireWidth = 1\n",
         {"Neon", "Camber", "TireWidth"}},
    };
    for (const auto& row : rows) ExpectMap(row.what, row.ini, row.on);
    // A car's own file decides per car, at the moment its car is drawn: it patches nothing,
    // and switches only Morvane.ini sets are ignored there.
    ExpectMap("profile-only settings", "", {},
              "[GENERAL]\nForceLodA = 1\nExhaustFX = 1\nFrontSteerAngle = 20\n[MODS]\nNeon = 1\n");
    ExpectMap("a car's file switching a part slot on", "", {}, "[PART_ATTACHMENT01]\nEnabled = 1\n");
}

}  // namespace
