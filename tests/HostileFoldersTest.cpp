// Whatever a game folder holds, start-up completes: the plug-in ends Active (or Inert for
// the sibling conflict), never crashes and never hangs. Each case's start-up time is printed.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>

#include "Sim.h"
#include "TestFolders.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kSteeringAngle = 0xA7B668;

std::string Sections(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "[S" + std::to_string(i) + "]\nk = " + std::to_string(i) + "\n";
    return text + "[GENERAL]\nFrontSteerAngle = 30\n";
}

struct Case {
    const char* name;  // the test's own name
    const char* what;
    std::function<void(const GameFolder&)> lay;
    float steeringAngle;  // what start-up writes into the game (kInert: nothing)
};
constexpr float kInert = -1.0f;

// Each folder is a test of its own: some take seconds to lay out.
const Case kCases[] = {
    {"HugeSettingsFile", "50 MB Morvane.ini", [](const GameFolder& f) {
         f.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n" + std::string(50 << 20, 'x'));
     }, 30.0f},
    {"BinarySettingsFile", "binary Morvane.ini", [](const GameFolder& f) {
         std::string bytes(1 << 20, '\0');
         for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
         f.Write("Morvane.ini", bytes);
     }, 0.0f},
    {"Utf16SettingsFile", "UTF-16 Morvane.ini", [](const GameFolder& f) {
         std::string text = "\xFF\xFE";
         for (char c : std::string("[GENERAL]\r\nFrontSteerAngle = 30\r\n")) text += {c, '\0'};
         f.Write("Morvane.ini", text);
     }, 30.0f},
    {"HundredThousandSections", "100,000 sections", [](const GameFolder& f) { f.Write("Morvane.ini", Sections(100000)); }, 30.0f},
    {"TenThousandProfiles", "10,000 profiles", [](const GameFolder& f) {
         for (int i = 0; i < 10000; ++i) f.Write("MorvaneCars\\CAR" + std::to_string(i), "[GENERAL]\nForceLodA = 1\n");
     }, 0.0f},
    {"OddEntriesAndALockedFile", "sub-folders, odd names, a locked file", [](const GameFolder& f) {
         f.MakeDirectory("MorvaneCars");
         f.MakeDirectory("MorvaneCars\\SUB");
         f.Write("MorvaneCars\\SUB\\BRERA", "[GENERAL]\nForceLodA = 1\n");
         for (const wchar_t* name : {L"A B", L"%s%n%x", L"[GENERAL]", L"X;=#", L"END.", L"END ", L"\u8ECA",
                                     L"caf\u00E9", L"LONG" L"NAMENAMENAMENAMENAMENAMENAMENAMENAMENAMENAMENAMENAME"}) {
             f.WriteExact(std::wstring(L"MorvaneCars\\") + name, "[GENERAL]\nForceLodA = 1\n");
         }
         f.Write("MorvaneCars\\LOCKED", "[GENERAL]\nForceLodA = 1\n");
     }, 0.0f},
    {"SiblingFileIsAFolder", "Kavra.WidescreenFix.ini is a folder", [](const GameFolder& f) {
         f.MakeDirectory("Kavra.WidescreenFix.ini");
         f.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n");
     }, 30.0f},
    {"SiblingConflictBesideAHostileFile", "sibling conflict beside a hostile Morvane.ini", [](const GameFolder& f) {
         f.Write("Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 1\n");
         f.Write("Morvane.ini", Sections(1000));
     }, kInert},
};

class HostileFolders : public testing::TestWithParam<Case> {};

TEST_P(HostileFolders, StartUpCompletes) {
    const Case& c = GetParam();
    sim::Reset();
    sim::Global<float>(kSteeringAngle) = 99.0f;
    GameFolder folder("hostile");
    c.lay(folder);
    const std::string plugin = folder.CopyPlugin();
    // A file another program holds without sharing cannot be read.
    HANDLE locked = CreateFileA((folder.path() + "MorvaneCars\\LOCKED").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);

    const auto start = std::chrono::steady_clock::now();
    HMODULE module = sim::LoadPlugin(plugin);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    std::printf("  start-up with %-45s %8.1f ms\n", c.what, ms);

    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    const bool kept = GetModuleHandleA(plugin.c_str()) != nullptr;
    EXPECT_EQ(kept, c.steeringAngle != kInert) << "an active plug-in keeps itself loaded";
    EXPECT_EQ(sim::Global<float>(kSteeringAngle), c.steeringAngle == kInert ? 99.0f : c.steeringAngle);
    EXPECT_LT(ms, 30000.0);
}

INSTANTIATE_TEST_SUITE_P(EachFolder, HostileFolders, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
