// Morvane.log as a player finds it: what start-up did, the failures hooks contained, a
// fault in Morvane's code, other plug-ins on the same sites, a second copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "Sim.h"
#include "SimNeon.h"
#include "TestFolders.h"
#include "Version.h"
#include "config/Settings.h"
#include "effects/Neon.h"
#include "patch/ForeignHooks.h"
#include "patch/Failures.h"
#include "patch/Ledger.h"
#include "log/LogFile.h"
#include "parts/KitPartNames.h"
#include "patch/RegisterHook.h"

namespace {

using testfolders::GameFolder;

constexpr uint32_t kShadowTexture = 0x7E5A6A;

std::string ReadLog(const std::string& folder) {
    std::ifstream file(folder + "Morvane.log", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

uint32_t SleepRoutine() { return sim::Address(reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"))); }

// A jump at `site` to `target`, as another plug-in writes its hooks.
std::vector<uint8_t> JumpTo(uint32_t site, uint32_t target) {
    const uint32_t displacement = target - (site + 5);
    return {0xE9, static_cast<uint8_t>(displacement), static_cast<uint8_t>(displacement >> 8),
            static_cast<uint8_t>(displacement >> 16), static_cast<uint8_t>(displacement >> 24)};
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(FieldLog, StartUpTellsWhatItDidAndWhy) {
    const std::string samples = testfolders::ExeDirectory() + "dist\\";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;  // beside the plug-in; "" copies the sample
        std::vector<std::string> lines;                           // in the log, lower case
        std::vector<std::string> absent;
        bool active;
    };
    std::vector<Case> cases = {
        {"the shipped samples", {{"Morvane.ini", ""}, {"MorvaneCars\\SUPRA", ""}, {"MorvaneCars\\FAIRLADY", ""}},
         {"morvane " + std::string(kMorvaneVersion), "game check: entry point 0x0087e926",
          "[misc] carshadowfix = 0: no conflict",
          "morvane.ini: read", "profiles: 2 from morvanecars: fairlady supra; 7 built in: brera",
          "installer neon:", "0x007e5a6a the shadow's texture: left alone, neon is off", "state: active, 34 game sites"},
         {"settings:", "failure", "hooked"}, true},
        {"no log", {{"Morvane.ini", "[GENERAL]\nLog = 0\n"}}, {}, {"morvane"}, true},
        {"lines that do not take effect",
         {{"Morvane.ini", "[GENERAL]\nExhaustFx = 1\nAllVinylsMirrorable = 1\nAllowStockRimsPaint = 1\n[MODS]\nNeon = 2\n"}},
         {"settings: 2 lines do not take effect as written; run morvanecheck.exe",
          "vinyl mirroring answer: left alone, allowstockrimspaint = 1 takes the same routine, and wins"}, {}, true},
        {"UTF-16 settings", {{"Morvane.ini", std::string("\xFF\xFE[\0G\0]\0", 8)}}, {"morvane.ini: read (utf-16, decoded)"}, {}, true},
        {"a log that cannot be written", {{"Morvane.log\\inside", "a folder where the log would go"}}, {}, {}, true},
        {"sibling conflict", {{"Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 1\n"}},
         {"carshadowfix = 1: conflict, morvane stays inactive", "state: inactive, nothing written"}, {"installer"}, false},
    };
    // The log names forty profiles from the folder, and counts the rest.
    for (const int count : {40, 41}) {
        Case many{"forty profiles named", {}, {"profiles: " + std::to_string(count) + " from morvanecars: "}, {}, true};
        for (int i = 0; i < count; ++i) many.files.push_back({"MorvaneCars\\CAR" + std::to_string(i), "\n"});
        if (count > 40) many.lines.push_back(" and 1 more; 7 built in:");
        else many.absent.push_back(" more; 7 built in:");
        cases.push_back(many);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        GameFolder folder("field-log");
        for (const auto& [name, content] : c.files) {
            if (!content.empty()) {
                folder.Write(name, content);
            } else {
                std::ifstream sample(samples + name, std::ios::binary);
                std::stringstream text;
                text << sample.rdbuf();
                folder.Write(name, text.str());
            }
        }
        const bool attached = sim::LoadPlugin(folder.CopyPlugin()) != nullptr;
        EXPECT_TRUE(attached);
        EXPECT_EQ(!sim::ChangedRuns().empty(), c.active);
        const std::string log = Lower(ReadLog(folder.path()));
        for (const std::string& line : c.lines) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        for (const std::string& line : c.absent) EXPECT_EQ(log.find(line), std::string::npos) << line << "\n" << log;
    }
}

// A site another module hooked before Morvane, or changed after it: the log names the
// module and the feature that no longer runs there.
TEST(FieldLog, OtherModulesOnMorvanesSites) {
    sim::Reset();
    const std::vector<uint8_t> own(reinterpret_cast<const uint8_t*>(kShadowTexture),
                                   reinterpret_cast<const uint8_t*>(kShadowTexture) + 5);
    sim::PlantHostBytes(kShadowTexture, JumpTo(kShadowTexture, SleepRoutine()));
    GameFolder before("hooked-before");
    before.Write("Morvane.ini", "[MODS]\nNeon = 1\n");
    ASSERT_NE(sim::LoadPlugin(before.CopyPlugin()), nullptr);
    sim::PlantHostBytes(kShadowTexture, own);
    EXPECT_NE(Lower(ReadLog(before.path())).find("0x007e5a6a the shadow's texture was hooked by kernel32.dll"),
              std::string::npos)
        << ReadLog(before.path());

    // In this process: the same installer, then another module's jump over its site.
    sim::Reset();
    GameFolder after("changed-after");
    after.Write("Morvane.ini", "[MODS]\nNeon = 1\n");
    morvane::SetLogPath(std::wstring(after.path().begin(), after.path().end()) + L"Morvane.log", "");
    morvane::LoadGlobalSettings(after.path() + "Morvane.ini");
    morvane::SetCurrentInstaller("neon");
    morvane::InstallNeon();
    morvane::CheckWrittenSites("at exit");
    EXPECT_EQ(ReadLog(after.path()), "") << "nothing changed yet";
    const std::vector<uint8_t> jump = JumpTo(kShadowTexture, SleepRoutine());
    DWORD old;
    VirtualProtect(reinterpret_cast<void*>(kShadowTexture), 5, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(reinterpret_cast<void*>(kShadowTexture), jump.data(), 5);
    VirtualProtect(reinterpret_cast<void*>(kShadowTexture), 5, old, &old);
    // The check a few seconds on is made by the first register hook due (here the colour
    // hook, at once), then the one at exit tells nothing new.
    morvane::CheckWrittenSitesLater(0);
    morvane::RunOnEveryHookUntilDone(&morvane::CheckWrittenSitesIfDue);
    sim::RunHostCode(sim::neon::NeonColorRun(sim::NewRenderRecord(nullptr), 0));
    morvane::CheckWrittenSites("at exit");
    EXPECT_EQ(Lower(ReadLog(after.path())),
              "a few seconds after start-up: 0x007e5a6a the shadow's texture was changed by another module (kernel32.dll): "
              "morvane's neon no longer runs there\n")
        << "told once";
}

// A failure inside a hook is told once, at its first occurrence, and counted until exit.
TEST(FieldLog, AFailureInAHookIsToldOnceAndCounted) {
    sim::Reset();
    GameFolder folder("failures");
    morvane::SetLogPath(std::wstring(folder.path().begin(), folder.path().end()) + L"Morvane.log", "");
    folder.Write("Morvane.ini", "[MODS]\nNeon = 1\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    morvane::InstallNeon();
    morvane::InstallKitPartNames();
    sim::Ride& ride = sim::NewRide(sim::AddCarType("CAR"));
    uint8_t* record = sim::NewRenderRecord(&ride);
    sim::ThrowFromHostRoutines(true);
    for (int i = 0; i < 3; ++i) sim::RunHostCode(sim::neon::ShadowTextureRun(record));
    sim::Run fit;  // the game fits the parts that depend on the chosen ones
    fit.site = 0x85EAEC;
    fit.resume = 0x85EAF1;
    fit.stack = {sim::Address(&ride), 0};
    sim::RunHostCode(fit);
    sim::ThrowFromHostRoutines(false);
    morvane::LogFailureCounts();
    EXPECT_EQ(ReadLog(folder.path()),
              "failure contained: the shadow's texture at 0x007E5A6A: out of memory; the game got the hook's default (told "
              "once, counted until exit)\n"
              "failure contained: call that fits the dependent parts at 0x0085EAEC: out of memory; the game got the "
              "hook's default (told once, counted until exit)\n"
              "at exit: the shadow's texture at 0x007E5A6A: 3 failures contained\n"
              "at exit: call that fits the dependent parts at 0x0085EAEC: 1 failure contained\n");
}

// A fault in a hook's own code is contained, also with no log to tell it; a fault in game
// code a hook called ends the game as it would, the log naming the hook.
TEST(FieldLog, FaultsAreContainedOrToldAsTheyEndTheGame) {
    const struct {
        const char* mode;
        const char* ini;
        const char* ended;  // the status and the first line the game printed
        const char* told;   // the fault's line, from its code to its registers
    } rows[] = {
        {"fault", "[MODS]\nNeon = 1\n", "0 the hook came back from a bad record twice",
         "fault 0xC0000005 at Morvane.asi+0x* in the hook 'the shadow's colour' at 0x007BEA68: contained, the game goes on "
         "and the hook is switched off; EAX="},
        {"fault", "[GENERAL]\nLog = 0\n[MODS]\nNeon = 1\n", "0 the hook came back from a bad record twice", ""},
        {"gamefault", "", "3 simulated game: unhandled exception 0xC0000005",
         "fault 0xC0000005 in game code at 0x*, called from Morvane's hook 'pop-up headlight query' at 0x00865278; EAX="},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.mode) + " " + row.ini);
        GameFolder folder("fault");
        folder.Write("Morvane.ini", row.ini);
        std::string line;
        const DWORD status = testfolders::RunGameProbe(folder, row.mode, line, 60000);
        EXPECT_EQ(std::to_string(status) + " " + line.substr(0, line.find(" at ")), row.ended);
        const std::string log = ReadLog(folder.path());
        const size_t at = log.find("\nfault ");
        if (*row.told == '\0') {
            EXPECT_EQ(at, std::string::npos) << log;
            continue;
        }
        ASSERT_NE(at, std::string::npos) << log;
        const std::string fault = log.substr(at + 1, log.find('\n', at + 1) - at - 1);
        const std::string told = row.told;
        const size_t star = told.find('*');
        EXPECT_EQ(fault.substr(0, star), told.substr(0, star)) << fault;
        const std::string rest = told.substr(star + 1);
        EXPECT_NE(fault.find(rest), std::string::npos) << fault;
        EXPECT_NE(fault.find(" EIP=0x"), std::string::npos) << fault;
        EXPECT_EQ(log.find("\nfault ", at + 1), std::string::npos) << "told once";
    }
}

// A second copy of Morvane in the same game writes nothing and says where the first is.
TEST(FieldLog, ASecondCopyStaysOut) {
    sim::Reset();
    GameFolder first("first-copy"), second("second-copy");
    ASSERT_NE(sim::LoadPlugin(first.CopyPlugin()), nullptr);
    const size_t written = sim::ChangedRuns().size();
    sim::LoadPlugin(second.CopyPlugin());
    EXPECT_EQ(sim::ChangedRuns().size(), written);
    EXPECT_NE(ReadLog(second.path()).find("another copy of Morvane is active in this game: " + first.path() +
                                          "Morvane.asi (its log: " + first.path() + "Morvane.log); this copy writes nothing"),
              std::string::npos)
        << ReadLog(second.path());
    const std::string log = ReadLog(first.path());
    EXPECT_NE(log.find("\na second copy of Morvane, " + second.path() + "Morvane.asi, was left out\n"), std::string::npos)
        << log;
}

}  // namespace
