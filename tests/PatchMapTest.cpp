// The complete patch map: for each configuration, the real plug-in started in a fresh
// simulated game changes exactly the game bytes its settings call for, with the exact
// bytes, and no others.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "Sim.h"
#include "TestFolders.h"

namespace {

using testfolders::GameFolder;

enum class Kind { Jump, Call, Pointer, Bytes };

struct Site {
    uint32_t address;
    const char* gate;  // the switch that calls for it ("" always; "!X" only while X is off)
    Kind kind;
    std::vector<uint8_t> bytes;  // Bytes: exactly these
};

// Every site the installers may write, with the switch that decides it.
const std::vector<Site>& AllSites() {
    static const std::vector<Site> sites = {
        // Exhaust effects.
        {0x7CC6BD, "ExhaustFX", Kind::Bytes, {0xB8, 0x01, 0x00, 0x00, 0x00}},
        {0x7BEBFB, "ExhaustFX", Kind::Jump, {}},
        {0x7DA131, "", Kind::Jump, {}},
        {0x7DF2EE, "", Kind::Jump, {}},
        {0x7DEFC8, "", Kind::Jump, {}},
        // Kit part names.
        {0x85EAEC, "", Kind::Call, {}},
        {0x8420F0, "", Kind::Jump, {}},
        {0x865278, "", Kind::Call, {}},
        {0x865280, "", Kind::Bytes, std::vector<uint8_t>(60, 0x90)},
        // Customization menus, then the part list.
        {0x83FBF1, "", Kind::Jump, {}},
        {0x8683C9, "", Kind::Jump, {}},
        {0x866074, "", Kind::Jump, {}},
        {0x85F74C, "", Kind::Jump, {}},
        {0x8665DA, "", Kind::Jump, {}},
        {0x85F90E, "", Kind::Bytes, {0xFF, 0x74, 0x24, 0x18, 0x90}},
        {0x9F9D14, "", Kind::Pointer, {}},
        {0x84EB1F, "", Kind::Call, {}},
        {0x85FA37, "", Kind::Call, {}},
        // Level of detail.
        {0x7CDC85, "", Kind::Jump, {}},
        // Textures, then lights.
        {0x7E585D, "FixWheelMirror", Kind::Bytes, {0xB0, 0x00, 0x90}},
        {0x7D9E14, "", Kind::Jump, {}},
        {0x7ADCA8, "", Kind::Jump, {}},
        {0x7DEF18, "", Kind::Jump, {}},
        {0x7ADE83, "", Kind::Jump, {}},
        {0x7CECC7, "", Kind::Bytes, {0xD4, 0x00, 0x00, 0x00}},
        {0x7CECCD, "", Kind::Bytes, {0xCC, 0x00, 0x00, 0x00}},
        {0x7CF764, "", Kind::Jump, {}},
        // Wheel geometry.
        {0x7DF765, "Camber", Kind::Jump, {}},
        {0x7CB85F, "TrackWidth", Kind::Jump, {}},
        {0x7CB8C8, "TireWidth", Kind::Jump, {}},
        // Part-slot fixes: stock rim paint wins the routine at 0x83F749 over vinyls.
        {0x6B7887, "FixFrontRearDecals", Kind::Jump, {}},
        {0x83F749, "AllowStockRimsPaint", Kind::Bytes, {0x32, 0xC0, 0xC3, 0x90, 0x90, 0x90}},
        {0x7E5FB2, "AllowStockRimsPaint", Kind::Bytes, {0x90, 0x90}},
        {0x83F749, "AllVinylsMirrorable!AllowStockRimsPaint", Kind::Bytes, {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3}},
        {0x7E0472, "", Kind::Bytes, {0xEB}},
        {0x7E0216, "", Kind::Bytes, {0xEB}},
        // Neon: two jumps, eight float constants, six no-operation bytes.
        {0x7E5A6A, "Neon", Kind::Jump, {}},
        {0x7BEA68, "Neon", Kind::Jump, {}},
        {0x7BE4F4, "Neon", Kind::Pointer, {0x00, 0x00, 0x00, 0x40}},
        {0x7BE50D, "Neon", Kind::Pointer, {0x00, 0x00, 0x00, 0x40}},
        {0x7BE501, "Neon", Kind::Pointer, {0x00, 0x00, 0x00, 0x3F}},
        {0x7BEA36, "Neon", Kind::Pointer, {0x00, 0x00, 0x8C, 0x42}},
        {0x7BE5B9, "Neon", Kind::Pointer, {0x9A, 0x99, 0x99, 0x3F}},
        {0x7BE5AB, "Neon", Kind::Pointer, {0x9A, 0x99, 0x99, 0x3F}},
        {0x7BE59B, "Neon", Kind::Pointer, {0x66, 0x66, 0x86, 0x3F}},
        {0x7BE58B, "Neon", Kind::Pointer, {0x66, 0x66, 0x86, 0x3F}},
        {0x7BEA3A, "Neon", Kind::Bytes, std::vector<uint8_t>(6, 0x90)},
        // Data: the front wheels' steering angle (20.0).
        {0xA7B668, "FrontSteerAngle", Kind::Bytes, {0x00, 0x00, 0xA0, 0x41}},
    };
    return sites;
}

const char* const kSwitches[] = {"ExhaustFX", "FixWheelMirror", "AllowStockRimsPaint", "FixFrontRearDecals",
                                 "AllVinylsMirrorable", "Neon", "Tires", "LicensePlate", "Camber", "TrackWidth",
                                 "TireWidth", "ForceLodA", "ReplaceHeadlightShader", "ReplaceBrakelightShader",
                                 "PopUpHeadLights", "FrontSteerAngle"};

bool IsModsKey(const std::string& key) {
    for (const char* mods : {"Neon", "Tires", "LicensePlate", "Camber", "TrackWidth", "TireWidth"}) {
        if (key == mods) return true;
    }
    return false;
}

bool Called(const Site& site, const std::set<std::string>& on) {
    std::string gate = site.gate;
    if (gate.empty()) return true;
    const size_t unless = gate.find('!');
    if (unless != std::string::npos && on.count(gate.substr(unless + 1))) return false;
    return on.count(gate.substr(0, unless)) != 0;
}

size_t Length(const Site& site) {
    if (site.kind == Kind::Jump || site.kind == Kind::Call) return 5;
    if (site.kind == Kind::Pointer) return 4;
    return site.bytes.size();
}

// Where a jump, call or pointer written into the game may lead: the plug-in's image or the
// executable memory it made for its hook entries, never the game itself.
bool PlugInCode(uint32_t target, bool data) {
    if (target >= 0x401000 && target < 0xBC0000) return false;
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(target)), &info, sizeof info)) return false;
    const DWORD executable = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return info.State == MEM_COMMIT && (data || (info.Protect & executable) != 0);
}

void ExpectMap(const std::string& what, const std::string& ini, const std::set<std::string>& on,
               const std::string& profile = "") {
    SCOPED_TRACE(what);
    sim::Reset();
    GameFolder folder("patch-map");
    if (!ini.empty()) folder.Write("Morvane.ini", ini);
    if (!profile.empty()) folder.Write("MorvaneCars\\SUPRA", profile);
    ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);

    std::vector<std::pair<uint32_t, size_t>> called;
    for (const Site& site : AllSites()) {
        if (!Called(site, on)) continue;
        called.emplace_back(site.address, Length(site));
        const auto* at = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(site.address));
        uint32_t value;
        std::memcpy(&value, at + (site.kind == Kind::Pointer ? 0 : 1), 4);
        switch (site.kind) {
        case Kind::Jump:
        case Kind::Call:
            EXPECT_EQ(at[0], site.kind == Kind::Jump ? 0xE9 : 0xE8) << std::hex << site.address;
            EXPECT_TRUE(PlugInCode(site.address + 5 + value, false)) << std::hex << site.address;
            break;
        case Kind::Pointer:
            EXPECT_TRUE(PlugInCode(value, true)) << std::hex << site.address;
            if (!site.bytes.empty() && PlugInCode(value, true)) {
                const auto* constant = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(value));
                EXPECT_EQ(std::vector<uint8_t>(constant, constant + 4), site.bytes) << std::hex << site.address;
            }
            break;
        case Kind::Bytes:
            EXPECT_EQ(std::vector<uint8_t>(at, at + site.bytes.size()), site.bytes) << std::hex << site.address;
            break;
        }
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
    for (const char* key : kSwitches) {
        const std::string value = std::string(key) == "FrontSteerAngle" ? "20" : "1";
        const std::string ini = std::string(IsModsKey(key) ? "[MODS]\n" : "[GENERAL]\n") + key + " = " + value + "\n";
        ExpectMap(std::string(key) + " alone", ini, {key});
    }
    std::string all = "[GENERAL]\n", mods = "[MODS]\n";
    std::set<std::string> on;
    for (const char* key : kSwitches) {
        (IsModsKey(key) ? mods : all) += std::string(key) + " = " + (std::string(key) == "FrontSteerAngle" ? "20" : "1") + "\n";
        on.insert(key);
    }
    ExpectMap("every switch on", all + mods, on);
    ExpectMap("vinyls without stock rim paint", "[GENERAL]\nAllVinylsMirrorable = 1\nExhaustFX = 1\n",
              {"AllVinylsMirrorable", "ExhaustFX"});
    // A car's own file decides per car, at the moment its car is drawn: it patches nothing,
    // and switches only Morvane.ini sets are ignored there.
    ExpectMap("profile-only settings", "", {},
              "[GENERAL]\nForceLodA = 1\nExhaustFX = 1\nFrontSteerAngle = 20\n[MODS]\nNeon = 1\n");
}

}  // namespace
