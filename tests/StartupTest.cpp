// Start-up of the real plug-in, loaded by the simulated game from a game folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "Sim.h"
#include "TestFolders.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kSteeringAngle = 0xA7B668;
constexpr char kConflictText[] = "Please set CarShadowFix to 0 in Kavra.WidescreenFix.ini";

DWORD WINAPI DoNothing(LPVOID) { return 0; }

class StartupTest : public testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // Loads a fresh copy of the plug-in from a folder holding the given settings.
    HMODULE Start(const GameFolder& folder) {
        const std::string plugin = folder.CopyPlugin();
        pluginPath_ = plugin;
        return sim::LoadPlugin(plugin);
    }

    bool StillLoaded() const { return GetModuleHandleA(pluginPath_.c_str()) != nullptr; }

    std::string pluginPath_;
};

TEST_F(StartupTest, SupportedGameWithoutConflictStartsActive) {
    const struct {
        const char* label;
        const char* sibling;  // null: no sibling file
    } cases[] = {{"zero", "[MISC]\nCarShadowFix = 0\n"}, {"absent-key", "[MISC]\nOther = 1\n"}, {"no-file", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        GameFolder folder(std::string("active-") + c.label);
        if (c.sibling) folder.Write("Kavra.WidescreenFix.ini", c.sibling);
        folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 25\n");
        sim::Global<float>(kSteeringAngle) = 0.0f;

        HMODULE plugin = Start(folder);
        ASSERT_NE(plugin, nullptr);
        EXPECT_TRUE(sim::MessageBoxes().empty());
        // The settings were read: the steering angle went into the game.
        EXPECT_EQ(sim::Global<float>(kSteeringAngle), 25.0f);
        // Active: pinned, so an unload cannot leave the game jumping into freed memory.
        FreeLibrary(plugin);
        EXPECT_TRUE(StillLoaded());
    }
}

TEST_F(StartupTest, ConflictingSiblingLeavesThePluginInert) {
    for (const char* value : {"1", "7", "0x1", "-1"}) {
        SCOPED_TRACE(value);
        sim::Reset();
        GameFolder folder("inert");
        folder.Write("Kavra.WidescreenFix.ini", std::string("[MISC]\nCarShadowFix = ") + value + "\n");
        folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 25\n");

        HMODULE plugin = Start(folder);
        ASSERT_NE(plugin, nullptr) << "the attach still succeeds";
        ASSERT_EQ(sim::MessageBoxes().size(), 1u);
        const sim::MessageBoxCall& box = sim::MessageBoxes()[0];
        EXPECT_EQ(box.text, std::string(kConflictText) + "\n\n" + folder.path() + "Kavra.WidescreenFix.ini");
        EXPECT_EQ(box.caption, "Kavra - Morvane");
        EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(box.owner, nullptr);
        // Settings were never read and no host byte was touched.
        EXPECT_TRUE(sim::ChangedRuns().empty());
        EXPECT_TRUE(std::find(sim::HashedTexts().begin(), sim::HashedTexts().end(), "BRERA") ==
                    sim::HashedTexts().end());
        // Inert is not pinned: unloading and detaching change nothing.
        FreeLibrary(plugin);
        EXPECT_FALSE(StillLoaded());
        EXPECT_TRUE(sim::ChangedRuns().empty());
    }
}

TEST_F(StartupTest, ThreadAndDetachNotificationsChangeNothing) {
    GameFolder folder("notifications");
    folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = -10\n");
    HMODULE plugin = Start(folder);
    ASSERT_NE(plugin, nullptr);
    const auto runsAfterStart = sim::ChangedRuns();
    ASSERT_FALSE(runsAfterStart.empty());  // the steering angle and the installers' patches
    const size_t hashesAfterStart = sim::HashedTexts().size();

    // Thread attach and detach reach the plug-in's entry.
    HANDLE thread = CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    // A process detach, as at the end of the game.
    const auto* image = reinterpret_cast<const uint8_t*>(plugin);
    const uint32_t nt = *reinterpret_cast<const uint32_t*>(image + 0x3C);
    const uint32_t entryRva = *reinterpret_cast<const uint32_t*>(image + nt + 0x28);
    auto entry = reinterpret_cast<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(const_cast<uint8_t*>(image) + entryRva);
    EXPECT_TRUE(entry(plugin, DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1)));

    const auto runs = sim::ChangedRuns();
    ASSERT_EQ(runs.size(), runsAfterStart.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].address, runsAfterStart[i].address);
        EXPECT_EQ(runs[i].after, runsAfterStart[i].after);
    }
    EXPECT_EQ(sim::Global<float>(kSteeringAngle), -10.0f);
    EXPECT_EQ(sim::HashedTexts().size(), hashesAfterStart);
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(StartupTest, ProfilesAreListedBesideThePluginWhateverTheWorkingDirectory) {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    for (const bool pluginInWorkingDirectory : {false, true}) {
        SCOPED_TRACE(pluginInWorkingDirectory ? "plug-in in the working directory" : "working directory elsewhere");
        sim::Reset();
        GameFolder folder("profiles-beside");
        folder.Write("MorvaneCars\\RX8", "[PART_BODY]\nHeader = RX8_BODY_TITLE\n");
        GameFolder elsewhere("profiles-cwd");
        elsewhere.Write("MorvaneCars\\DECOY", "[PART_BODY]\nHeader = DECOY_TITLE\n");
        ASSERT_TRUE(SetCurrentDirectoryA((pluginInWorkingDirectory ? folder : elsewhere).path().c_str()));

        ASSERT_NE(Start(folder), nullptr);
        SetCurrentDirectoryA(previous);
        // The game hashes every profile name and header as the plug-in reads them.
        const auto& hashed = sim::HashedTexts();
        auto seen = [&](const char* text) { return std::find(hashed.begin(), hashed.end(), text) != hashed.end(); };
        EXPECT_TRUE(seen("RX8")) << "the profile was made";
        EXPECT_TRUE(seen("RX8_BODY_TITLE")) << "and its settings were read";
        EXPECT_FALSE(seen("DECOY"));
        EXPECT_FALSE(seen("DECOY_TITLE"));
    }
}

TEST_F(StartupTest, EveryBuiltInCarGetsAProfileAtStartUpAfterTheFiles) {
    GameFolder folder("built-in");
    folder.Write("MorvaneCars\\CAMARO", "[GENERAL]\nForceLodA = 1\n");
    ASSERT_NE(Start(folder), nullptr);
    // Profiles are indexed by their name hash as they are made: the file's CAMARO first,
    // then the built-ins it does not hide, each once.
    const std::vector<std::string> cars{"BRERA", "240SX", "RX7", "MR2", "CAMARO", "COROLLA", "CHARGER69"};
    std::vector<std::string> made;
    for (const std::string& text : sim::HashedTexts()) {
        if (std::find(cars.begin(), cars.end(), text) != cars.end()) made.push_back(text);
    }
    EXPECT_EQ(made, (std::vector<std::string>{"CAMARO", "BRERA", "240SX", "RX7", "MR2", "COROLLA", "CHARGER69"}));
}

// A file far too large to be settings is read as an unreadable one: start-up goes on.
TEST_F(StartupTest, HugeSettingsFilesAreSkippedAndStartUpCompletes) {
    for (const char* huge : {"Morvane.ini", "MorvaneCars\\BIG"}) {
        sim::Reset();
        GameFolder folder("huge");
        folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 30\n");
        folder.Write("MorvaneCars\\SUPRA", "");
        folder.Write(huge, "");
        HANDLE file = CreateFileA((folder.path() + huge).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = 300LL << 20;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        ASSERT_TRUE(SetEndOfFile(file));
        CloseHandle(file);
        sim::Global<float>(kSteeringAngle) = 99.0f;

        HMODULE plugin = Start(folder);
        ASSERT_NE(plugin, nullptr) << huge;
        const bool hugeSettings = std::string(huge) == "Morvane.ini";
        EXPECT_EQ(sim::Global<float>(kSteeringAngle), hugeSettings ? 0.0f : 30.0f) << huge;
        const auto& hashed = sim::HashedTexts();
        for (const char* car : {"SUPRA", "BRERA", "CHARGER69"}) {
            EXPECT_NE(std::find(hashed.begin(), hashed.end(), car), hashed.end()) << huge << ": " << car;
        }
        EXPECT_EQ(std::find(hashed.begin(), hashed.end(), "BIG") == hashed.end(), hugeSettings) << huge;
        // Kept loaded, as an active plug-in is.
        FreeLibrary(plugin);
        EXPECT_NE(GetModuleHandleA((folder.path() + "Morvane.asi").c_str()), nullptr) << huge;
    }
}

}  // namespace

namespace {

// What a player installs: one file that needs nothing beyond Windows and offers nothing.
TEST(PluginImage, ImportsOnlySystemLibrariesAndExportsNothing) {
    GameFolder folder("image");
    const std::string path = folder.CopyPlugin();
    HMODULE plugin = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(plugin, nullptr);
    const auto* base = reinterpret_cast<const uint8_t*>(plugin);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);

    const IMAGE_DATA_DIRECTORY& exports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.VirtualAddress != 0) {
        const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exports.VirtualAddress);
        EXPECT_EQ(directory->NumberOfFunctions, 0u);
        EXPECT_EQ(directory->NumberOfNames, 0u);
    }

    std::vector<std::string> imported;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        imported.push_back(name);
    }
    std::sort(imported.begin(), imported.end());
    EXPECT_EQ(imported, (std::vector<std::string>{"KERNEL32.DLL", "MSVCRT.DLL", "NTDLL.DLL", "USER32.DLL"}));
    FreeLibrary(plugin);
}

}  // namespace
