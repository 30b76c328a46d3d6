// Whatever a game folder holds, start-up completes: the plug-in ends Active (or Inert for
// the sibling conflict), never crashes and never hangs, stays within its time and memory,
// and its log tells what it left out. Each case's start-up time and memory are printed.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "Sim.h"
#include "TestFolders.h"
#include "config/Profiles.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kSteeringAngle = 0xA7B668;
constexpr size_t kMiB = 1 << 20;
// What start-up may add to the game's peak memory, whatever the folder holds.
constexpr size_t kMaxStartupMemory = 64 * kMiB;

std::string Sections(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "[S" + std::to_string(i) + "]\nk = " + std::to_string(i) + "\n";
    return text + "[GENERAL]\nFrontSteerAngle = 30\n";
}

// Distinct section headers, added a megabyte at a time.
void AppendHeaders(const GameFolder& f, const std::string& relative, size_t megabytes) {
    for (size_t n = 0, chunks = 0; chunks < megabytes; ++chunks) {
        std::string chunk;
        while (chunk.size() < kMiB) chunk += "[" + std::to_string(n++) + "]\n";
        f.Write(relative, chunk, true);
    }
}

std::string Utf16(const std::string& text) {
    std::string units = "\xFF\xFE";  // with its mark
    for (char c : text) units += {c, '\0'};
    return units;
}

size_t PeakMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// What the log says of a MorvaneCars past its limit of entries (named CAR00000 on).
const std::string kEntriesLeftOut = [] {
    const std::string limit = std::to_string(morvane::kMaxProfiles);
    return "MorvaneCars: more than " + limit + " entries: the first " + limit + " in listing order are read, from CAR" +
           std::string(5 - limit.size(), '0') + limit + " on";
}();

struct Case {
    const char* name;  // the test's own name
    const char* what;
    std::function<void(const GameFolder&)> lay;
    float steeringAngle;  // what start-up writes into the game (kInert: nothing)
    std::vector<const char*> logSays = {};  // what the log must tell
};
constexpr float kInert = -1.0f;

// Each folder is a test of its own: some take seconds to lay out.
const Case kCases[] = {
    {"HugeSettingsFile", "50 MB Morvane.ini", [](const GameFolder& f) {
         f.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n");
         for (int i = 0; i < 50; ++i) f.Write("Morvane.ini", std::string(kMiB, 'x'), true);
     }, 30.0f, {"Morvane.ini: only its first 1 MB is read"}},
    {"BinarySettingsFile", "binary Morvane.ini", [](const GameFolder& f) {
         std::string bytes(1 << 20, '\0');
         for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
         f.Write("Morvane.ini", bytes);
     }, 0.0f},
    {"Utf16SettingsFile", "UTF-16 Morvane.ini", [](const GameFolder& f) {
         f.Write("Morvane.ini", Utf16("[GENERAL]\r\nFrontSteerAngle = 30\r\n"));
     }, 30.0f},
    // 1.6 MB: the [GENERAL] at its end lies past what is read.
    {"HundredThousandSections", "100,000 sections", [](const GameFolder& f) { f.Write("Morvane.ini", Sections(100000)); },
     0.0f, {"Morvane.ini: only its first 1 MB is read"}},
    {"HeadersAndHundredThousandProfiles", "64 MB of headers, 100,000 profiles", [](const GameFolder& f) {
         f.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n");
         AppendHeaders(f, "Morvane.ini", 64);
         f.WriteMany("MorvaneCars", 100000, "CAR");
     }, 30.0f, {"Morvane.ini: only its first 1 MB is read", "state: active",
                kEntriesLeftOut.c_str()}},
    {"LongUtf16Values", "UTF-16 values of 400,000 letters, 13 profiles of one", [](const GameFolder& f) {
         const std::string value = "Camera = " + std::string(400000, 'C') + "\r\n";
         f.Write("Morvane.ini", Utf16("[PART_BODY]\r\nEnabled = 1\r\n" + value + "[GENERAL]\r\nFrontSteerAngle = 30\r\n"));
         for (int i = 10; i < 23; ++i) f.Write("MorvaneCars\\CAR" + std::to_string(i), Utf16("[PART_BODY]\r\n" + value));
     }, 30.0f, {"Morvane.ini: 1 value longer than 254 bytes is cut", "8 MB of text in all: 2 entries, from CAR21 on"}},
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

    const size_t memoryBefore = PeakMemory();
    const auto start = std::chrono::steady_clock::now();
    HMODULE module = sim::LoadPlugin(plugin);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const size_t memory = PeakMemory() - memoryBefore;
    if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
    std::printf("  start-up with %-45s %8.1f ms %7.1f MB\n", c.what, ms, static_cast<double>(memory) / kMiB);

    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    const bool kept = GetModuleHandleA(plugin.c_str()) != nullptr;
    EXPECT_EQ(kept, c.steeringAngle != kInert) << "an active plug-in keeps itself loaded";
    EXPECT_EQ(sim::Global<float>(kSteeringAngle), c.steeringAngle == kInert ? 99.0f : c.steeringAngle);
    EXPECT_LT(ms, 30000.0);
    EXPECT_LT(memory, kMaxStartupMemory) << "more than the game can spare for settings";
    std::stringstream log;
    log << std::ifstream(folder.path() + "Morvane.log").rdbuf();
    for (const char* text : c.logSays) EXPECT_NE(log.str().find(text), std::string::npos) << text << "\n" << log.str();
}

INSTANTIATE_TEST_SUITE_P(EachFolder, HostileFolders, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
