// Morvane.log as a player finds it: what start-up did, the failures hooks contained, a
// fault in Morvane's code, other plug-ins on the same sites, a second copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "GameSites.h"
#include "HostLayout.h"
#include "Sim.h"
#include "SimMenus.h"
#include "SimNeon.h"
#include "TestFolders.h"
#include "Version.h"
#include "config/Files.h"
#include "config/Settings.h"
#include "effects/Neon.h"
#include "patch/ForeignHooks.h"
#include "patch/Failures.h"
#include "patch/Ledger.h"
#include "log/LogFile.h"
#include "startup/SecondCopy.h"
#include "parts/KitPartNames.h"
#include "parts/PartLists.h"
#include "patch/RegisterHook.h"

namespace {

using testfolders::GameFolder;

const uint32_t kShadowTexture = sim::AddressOf("the shadow's texture");

std::string ReadLog(const std::string& folder, const char* name = "Morvane.log") {
    std::ifstream file(std::filesystem::path(sim::Wide(folder + name)), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The log with each line's time ("06:31:05 ") left out.
std::string WithoutTimes(const std::string& log) {
    std::string lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const bool timed = line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
        lines += (timed ? line.substr(9) : line) + "\n";
    }
    return lines;
}

// The lines of a log that tell a fault, their time left out.
std::vector<std::string> FaultLines(const std::string& log) {
    std::vector<std::string> faults;
    std::istringstream in(WithoutTimes(log));
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("fault ")) faults.push_back(line);
    }
    return faults;
}

// Where other plug-ins' jumps lead: into a module (its file named in any language), or into
// memory allocated at run time.
uint32_t InModuleNamedInJapanese(const GameFolder& folder) {
    const std::wstring copy = sim::Wide(folder.path() + "ゲーム Игры.asi");
    CopyFileW(sim::Wide(folder.CopyPlugin()).c_str(), copy.c_str(), FALSE);
    return sim::Address(LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) + 0x1000;
}
uint32_t InRunTimeMemory() { return sim::Address(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE)); }

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
         {"morvane " + std::string(kMorvaneVersion), "morvane.asi, started 20", "game check: entry point 0x0087e926",
          "sibling check: no kavra.widescreenfix.ini beside morvane",
          "morvane.ini: read", "profiles: 2 from morvanecars: fairlady supra; 7 built in: brera",
          "\nx87 emptiness test: ", " ns a floating-point hook (", "push test", "fxam", "fnstenv tag word",
          "fxsave tags", "installer neon:",
          "0x007e5a6a the shadow's texture: left alone, neon is off",
          "state: active, " + std::to_string(sim::SitesWritten(sim::KeysOn(ReadLog(samples, "Morvane.ini")))) +
              " game sites written",
          "0x0085eaec call that fits the dependent parts: decided per car by popupheadlights ("},
         {"settings:", "failure", "hooked", "own answer: decided"}, true},
        {"no log", {{"Morvane.ini", "[GENERAL]\nLog = 0\n"}}, {}, {"morvane"}, true},
        {"lines that do not take effect",
         {{"Morvane.ini", "[GENERAL]\nExhaustFx = 1\nAllVinylsMirrorable = 1\nAllowStockRimsPaint = 1\n[MODS]\nNeon = 2\n"}},
         {"settings: 2 lines do not take effect as written (morvanecheck.exe in the game folder tells each with its fix):\n"
          "  morvane.ini:2: unknown key exhaustfx in [general]: it is not read\n"
          "  morvane.ini:6: neon = 2 reads as off: a switch is on only for the value 1\n",
          "vinyl mirroring answer: left alone, allowstockrimspaint = 1 takes the same routine, and wins"}, {" more"}, true},
        {"UTF-16 settings", {{"Morvane.ini", std::string("\xFF\xFE[\0G\0]\0", 8)}}, {"morvane.ini: read (utf-16, decoded)"}, {}, true},
        {"a log that cannot be written", {{"Morvane.log\\inside", "a folder where the log would go"}}, {}, {}, true},
        {"sibling conflict", {{"Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 1\n"}},
         {"carshadowfix = 1: conflict, morvane stays inactive", "state: inactive, nothing written"}, {"installer"}, false},
    };
    // The log lists twenty lines not taken as written, and counts the rest.
    Case lines{"twenty-one lines not taken as written", {{"Morvane.ini", "[GENERAL]\n"}}, {}, {"x21 in"}, true};
    for (int i = 1; i <= 21; ++i) lines.files[0].second += "X" + std::to_string(i) + " = 1\n";
    lines.lines = {"settings: 21 lines do not", "  morvane.ini:21: unknown key x20 in [general]", "\n  and 1 more\n"};
    cases.push_back(lines);
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

// Folders named in any language, or past 260 characters, on a Western Windows (code page
// 1252, where the ANSI API gives '?' for what it lacks, or cuts): start-up and MorvaneCheck
// read Morvane.ini and a car's file there, and the log and the report name them as named.
TEST(FieldLog, FoldersNamedInAnyLanguage) {
    ASSERT_EQ(GetACP(), 1252u) << "scripts/wine.sh sets the locale Wine takes the code page from";
    const std::string version = kMorvaneVersion;
    const struct {
        std::string folder, car;
        char ansi;  // the plug-in's path from GetModuleFileNameA: '=' whole, '?' lossy, 'c' cut
    } rows[] = {{"Kavra", "KAVRA", '='}, {"Jeux vidéo à Noël", "CAFÉ", '='}, {"Игры", "МАШИНА", '?'},
                {"unicode ゲーム Игры", "ゲーム", '?'}, {"Kavra & Co", "A & B", '='},
                {"long-" + std::string(120, 'x') + "\\" + std::string(120, 'y'), std::string(200, 'Z'), 'c'}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        sim::Reset();
        GameFolder folder(row.folder);
        folder.Write("Morvane.ini", "[GENERAL]\nFrontSteerAngle = 25\n");
        folder.Write("MorvaneCars\\" + row.car, "[PART_ATTACHMENT01]\nEnabled = 1\n");
        folder.Write("kavra.exe", "");
        const std::string path = folder.CopyPlugin();
        HMODULE plugin = sim::LoadPlugin(path);
        ASSERT_NE(plugin, nullptr);
        char ansi[MAX_PATH];
        const DWORD length = GetModuleFileNameA(plugin, ansi, MAX_PATH);
        const std::string seen(ansi, length < MAX_PATH ? length : 0);
        const bool whole = morvane::WideName(seen, CP_ACP) == sim::Wide(path);
        EXPECT_EQ(length == MAX_PATH ? 'c' : whole ? '=' : seen.find('?') != std::string::npos ? '?' : 'x', row.ansi);
        // Morvane.ini and the car's file apply: the steering angle, the car's main menu.
        EXPECT_EQ(sim::Global<float>(sim::layout::kSteeringAngle), 25.0f);
        sim::SetCurrentCarType(sim::AddCarType(row.car));
        uint8_t* menu = sim::menus::NewMainMenu();
        sim::Run build{sim::menus::kAddCategoriesSite, sim::menus::kAddCategoriesResume};
        build.registers.esi = sim::Address(menu);
        sim::RunHostCode(build);
        EXPECT_EQ(sim::menus::MenuItems(menu).size(), 1u);
        const std::string log = folder.Read("Morvane.log"), car = "MorvaneCars\\" + row.car;
        for (const std::string& line : {"Morvane " + version + ", " + path + ", started ", folder.path() + "Morvane.ini: read\n",
                                        folder.path() + car + ": read\n", "MorvaneCars: " + row.car + ";",
                                        "state: active, " + std::to_string(sim::SitesWritten({"FrontSteerAngle"})) + " game sites written\n"}) {
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        }
        const std::string where = folder.path().substr(0, folder.path().size() - 1);
        std::string report;
        const std::string command = "\"" + testfolders::ExeDirectory() + "MorvaneCheck.exe\" \"" + where + "\"";
        EXPECT_EQ(testfolders::RunProgram(command, folder.path() + "check", report, 30000), 0u) << report;
        for (const std::string& line : {"MorvaneCheck " + version + ": " + where + "\n", "  " + row.car + "  (file " + car + ")",
                                        std::string("FrontSteerAngle         25    Morvane.ini:2")}) {
            EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
        }
        // Two folders are a usage error: exit status 2, and the usage told.
        EXPECT_EQ(testfolders::RunProgram(command + " \"" + where + "\"", folder.path() + "check", report, 30000), 2u);
        EXPECT_TRUE(report.starts_with("usage: MorvaneCheck [--version] [folder]")) << report;
    }
}

// A site another module hooked before Morvane, or changed after it, early or late: the log
// names the module and the feature that no longer runs there, or still does (a chained jump).
TEST(FieldLog, OtherModulesOnMorvanesSites) {
    sim::Reset();
    const std::vector<uint8_t> own(reinterpret_cast<const uint8_t*>(kShadowTexture),
                                   reinterpret_cast<const uint8_t*>(kShadowTexture) + 5);
    GameFolder before("hooked-before");
    sim::PlantHostBytes(kShadowTexture, JumpTo(kShadowTexture, InModuleNamedInJapanese(before)));
    before.Write("Morvane.ini", "[GENERAL]\nLiveProfiles = 1\n[MODS]\nNeon = 1\n");
    before.Write("MorvaneCars\\CAR", "");
    ASSERT_NE(sim::LoadPlugin(before.path() + "Morvane.asi"), nullptr);
    // Late in the game: told as the settings are read again, before the hooks' first check.
    sim::RunHostCode(sim::neon::NeonColorRun(sim::NewRenderRecord(nullptr), 0));  // the first hook starts the watch
    sim::PlantHostBytes(kShadowTexture, JumpTo(kShadowTexture, InRunTimeMemory()));
    before.Write("Morvane.ini", "\n", true);
    const std::string late = "while the game runs: 0x007E5A6A the shadow's texture was changed by memory allocated";
    EXPECT_TRUE(testfolders::WaitFor([&] { return ReadLog(before.path()).find(late) != std::string::npos; }, 20000));
    sim::PlantHostBytes(kShadowTexture, own);
    EXPECT_NE(Lower(ReadLog(before.path())).find("0x007e5a6a the shadow's texture was hooked by ゲーム Игры.asi"),
              std::string::npos)
        << ReadLog(before.path());

    // In this process: the same installer, then other modules' bytes over its site, each hook checking.
    sim::Reset();
    GameFolder after("changed-after");
    after.Write("Morvane.ini", "[MODS]\nNeon = 1\n");
    morvane::SetLogPath(std::wstring(after.path().begin(), after.path().end()) + L"Morvane.log", "");
    morvane::LoadGlobalSettings(after.path() + "Morvane.ini");
    morvane::SetCurrentInstaller("neon");
    morvane::InstallNeon();
    morvane::CheckWrittenSites("at exit");
    EXPECT_EQ(ReadLog(after.path()), "") << "nothing changed yet";
    // Stubs: a jump (+0, and in a module), through a pointer (+8), push-ret (+18), two (+24); own code (+29).
    auto* stub = reinterpret_cast<uint8_t*>(InRunTimeMemory());
    const uint32_t at = sim::Address(stub), entry = kShadowTexture + 5 + *reinterpret_cast<uint32_t*>(kShadowTexture + 1);
    const auto word = [&](int offset, uint32_t value) { std::memcpy(stub + offset, &value, 4); };
    std::memcpy(stub, JumpTo(at, entry).data(), 5), std::memcpy(stub + 24, JumpTo(at + 24, at + 8).data(), 5);
    stub[8] = 0xFF, stub[9] = 0x25, word(10, at + 14), word(14, entry), stub[18] = 0x68, word(19, entry), stub[23] = 0xC3;
    const uint32_t module = InModuleNamedInJapanese(after);
    DWORD old;
    VirtualProtect(reinterpret_cast<void*>(module), 5, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(reinterpret_cast<void*>(module), JumpTo(module, entry).data(), 5);
    const std::string chained = "while the game runs: 0x007E5A6A the shadow's texture was chained by memory allocated at "
                                "run time (a jump to 0x*, then on to Morvane's): Morvane's neon still runs there\n";
    const std::pair<std::vector<uint8_t>, std::string> rows[] = {  // the bytes, the line told ('*' any address)
        {JumpTo(kShadowTexture, at + 29), "a few seconds after start-up: 0x007E5A6A the shadow's texture was changed by "
                                          "memory allocated at run time (a jump to 0x*): Morvane's neon no longer runs there\n"},
        {JumpTo(kShadowTexture, at + 29), ""}, {JumpTo(kShadowTexture, at), chained}, {JumpTo(kShadowTexture, at + 8), chained},
        {JumpTo(kShadowTexture, at + 18), chained}, {JumpTo(kShadowTexture, at + 24), chained},
        {JumpTo(kShadowTexture, module), "while the game runs: 0x007E5A6A the shadow's texture was chained by ゲーム Игры.asi (a "
                                         "jump to ゲーム Игры.asi+0x*, then on to Morvane's): Morvane's neon still runs there\n"},
        {JumpTo(kShadowTexture, entry), ""}, {own, "while the game runs: 0x007E5A6A the shadow's texture was changed, no "
                                                   "module's jump there: Morvane's neon no longer runs there\n"}};
    morvane::CheckWrittenSitesLater(0, 0);
    morvane::RunOnEveryHookUntilDone(&morvane::CheckWrittenSitesIfDue, 1);
    for (const auto& [bytes, line] : rows) {
        const size_t size = ReadLog(after.path()).size(), star = line.find('*');
        sim::PlantHostBytes(kShadowTexture, bytes);
        for (int i = 0; i < 2; ++i) sim::RunHostCode(sim::neon::NeonColorRun(sim::NewRenderRecord(nullptr), 0));
        const std::string added = ReadLog(after.path()).substr(size);
        EXPECT_TRUE(added.starts_with(line.substr(0, star)) && added.ends_with(line.substr(star + 1)) &&
                    std::count(added.begin(), added.end(), '\n') == !line.empty()) << line << "\n" << added;
    }
    // At exit nothing new is told; a change of a site's last byte alone is a change.
    const std::string told = ReadLog(after.path());
    morvane::CheckWrittenSites("at exit");
    EXPECT_EQ(ReadLog(after.path()), told);
    auto* last = reinterpret_cast<uint8_t*>(sim::AddressOf("the shadow's colour") + 4);
    VirtualProtect(last, 1, PAGE_EXECUTE_READWRITE, &old);
    *last ^= 1;
    VirtualProtect(last, 1, old, &old);
    morvane::CheckWrittenSites("at exit");
    EXPECT_TRUE(Lower(ReadLog(after.path())).substr(told.size()).starts_with(
        "at exit: 0x007bea68 the shadow's colour was changed by "))
        << ReadLog(after.path());
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
    fit.site = sim::AddressOf("call that fits the dependent parts");
    fit.resume = fit.site + 5;
    fit.stack = {sim::Address(&ride), 0};
    sim::RunHostCode(fit);
    // A routine whose site was not written here counts under the shared place.
    sim::SetCurrentCarType(ride.carType);
    uint8_t list[32] = {};
    morvane::BuildSlotPartList(72, list, 0, 0, 0);
    sim::ThrowFromHostRoutines(false);
    morvane::LogFailureCounts();
    EXPECT_EQ(WithoutTimes(ReadLog(folder.path())),
              "failure contained: the shadow's texture at 0x007E5A6A: out of memory; the game got the hook's default (told "
              "once, counted until exit)\n"
              "failure contained: call that fits the dependent parts at 0x0085EAEC: out of memory; the game got the "
              "hook's default (told once, counted until exit)\n"
              "failure contained: a hook of Morvane: out of memory; the game got the hook's default (told once, counted "
              "until exit)\n"
              "at exit: the shadow's texture at 0x007E5A6A: 3 failures contained\n"
              "at exit: call that fits the dependent parts at 0x0085EAEC: 1 failure contained\n"
              "at exit: a hook of Morvane: 1 failure contained\n");
    // Appends stop short of the log's cap.
    for (const uint32_t room : {0u, 9u, 10u, 100u}) {
        SCOPED_TRACE(room);
        folder.Write("Morvane.log", std::string(morvane::kMaxLogSize - room, 'x'));
        morvane::LogLine line;
        line << "12345678";  // nine bytes with its line end
        line.Append();
        line << "more", line.Append();  // a line is appended once
        EXPECT_EQ(ReadLog(folder.path()).size(), morvane::kMaxLogSize - room + (room >= 9 ? 9 : 0));
    }
    EXPECT_EQ(morvane::kMaxLogSize, 65536u) << "the cap README.txt tells";
}

// A line cut at its length keeps whole UTF-8 characters; start-up's lines past most of the
// log's cap leave one line that says so, and the closing lines still fit.
TEST(FieldLog, LinesCutAtALimitKeepWholeCharacters) {
    const struct {
        size_t room;        // in the line, before `added`
        const char* added;
        size_t kept;
    } rows[] = {{1, "\xC3\xA9", 0}, {2, "\xC3\xA9", 2}, {2, "\xE3\x82\xB2", 0}, {3, "\xE3\x82\xB2", 3}, {2, "a\xC3\xA9", 1},
                {2, "\xA9\xA9\xA9", 0}};  // a text cut before: no character to keep
    for (const auto& row : rows) {
        morvane::LogLine line;
        line << std::string(639 - row.room, 'x') << row.added;
        EXPECT_EQ(line.text().size(), 639 - row.room + row.kept) << row.room << " " << row.added;
    }
    for (int i = 0; i < 100; ++i) morvane::Journal(std::string(1000, 'j'));
    morvane::Journal("closing", true);
    const std::string& journal = morvane::JournalText();
    const std::string full = "(the log is nearly full: the rest of start-up's lines are left out)\n";
    EXPECT_EQ(journal.find(full), journal.rfind(full));
    EXPECT_TRUE(journal.ends_with(full + "closing\n"));
    EXPECT_LE(journal.size(), morvane::kMaxLogSize);
}

// A fault in a hook's own code is contained, also with no log to tell it, also on two
// threads at once; a fault in game code a hook called ends the game as it would, the log
// naming the hook; the game's own handled exceptions, under a hook or not, leave no line
// and never keep a later fault from being contained, nor does text on a stack that spells
// the hooks' mark; a routine of Morvane's the game calls back under a hook is not contained
// across the game's frames and is named; a fault told once, by module; a replaced site is not
// Morvane's; a hook a long jump left is no hook running.
TEST(FieldLog, FaultsAreContainedOrToldAsTheyEndTheGame) {
    const char* const neon = "fault 0xC0000005 at Morvane.asi+0x* in the hook 'the shadow's colour' at 0x007BEA68: "
                             "contained, the game goes on and the hook is switched off; EAX=";
    const struct {
        const char* mode;
        const char* ini;
        const char* ended;  // the status and the first line the game printed
        const char* told;   // every fault line, from its code to its registers
        size_t faults;      // how many
    } rows[] = {
        {"fault", "[MODS]\nNeon = 1\n", "0 the hook came back from a bad record twice", neon, 1},
        {"fault", "[GENERAL]\nLog = 0\n[MODS]\nNeon = 1\n", "0 the hook came back from a bad record twice", "", 0},
        {"gamefault", "", "3 simulated game: unhandled exception 0xC0000005",
         "fault 0xC0000005 at kavra.exe+0x*, called from Morvane's hook 'pop-up headlight query' at 0x00865278; EAX=", 1},
        {"libraryfault", "", "3 simulated game: unhandled exception 0xC0000005",
         "fault 0xC0000005 at msvcrt.dll+0x*, called from Morvane's hook 'pop-up headlight query' at 0x00865278; EAX=", 1},
        {"replaced", "", "3 simulated game: unhandled exception 0xC0000005", "", 0},
        {"manythreads", "", "0 the game came back", "fault 0xC0000005 at Morvane.asi+0x* in the hook 'call that lists a "
         "slot's parts' at 0x0085FA37: contained, the game goes on and the hook is switched off; EAX=", 1},
        {"handled", "[MODS]\nNeon = 1\n", "0 the game handled its own faults and the hooks came back", neon, 1},
        {"twofaults", "", "0 the game handled its own faults and the hooks came back",
         "fault 0xC0000005 at Morvane.asi+0x*: contained, the game goes on and the hook is switched off; EAX=", 2},
        {"falsemark", "[MODS]\nNeon = 1\n", "0 the hook came back from a bad record twice", neon, 1},
        {"longjump", "", "3 simulated game: unhandled exception 0xC0000005", "", 0},
        {"callback", "", "3 simulated game: unhandled exception 0xC0000005",
         "fault 0xC0000005 at Morvane.asi+0x* in the hook 'call for a slot's camera' at 0x0084EB1F; EAX=", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.mode) + " " + row.ini);
        GameFolder folder("fault");
        folder.Write("Morvane.ini", row.ini);
        std::string line;
        const DWORD status = testfolders::RunGameProbe(folder, row.mode, line, 60000);
        EXPECT_EQ(std::to_string(status) + " " + line.substr(0, line.find(" at ")), row.ended);
        const std::string told = row.told;
        const size_t star = told.find('*');
        const std::vector<std::string> faults = FaultLines(ReadLog(folder.path()));
        for (const std::string& fault : faults) {
            EXPECT_EQ(fault.substr(0, star), told.substr(0, star)) << fault;
            EXPECT_NE(fault.find(told.substr(star + 1)), std::string::npos) << fault;
            EXPECT_NE(fault.find(" EIP=0x"), std::string::npos) << fault;
        }
        EXPECT_EQ(faults.size(), row.faults) << ReadLog(folder.path());
        // The player starts the game again, twice: the run that faulted is kept.
        for (int restart = 0; restart < 2 && row.faults != 0; ++restart) testfolders::RunGameProbe(folder, "start", line, 60000);
        if (row.faults != 0) EXPECT_EQ(FaultLines(ReadLog(folder.path(), "Morvane.previous.log")), faults);
    }
}

// Each start keeps the last run's log as Morvane.previous.log; a run that ended in a fault
// is never the one dropped first.
TEST(FieldLog, TheLastRunsAreKept) {
    GameFolder folder("runs");
    folder.Write("Morvane.ini", "[MODS]\nNeon = 1\n");
    const struct {
        const char* mode;
        bool kept;        // a previous log is there after this start
        size_t faults;    // the fault lines it tells
    } runs[] = {{"start", false, 0}, {"start", true, 0}, {"fault", true, 0}, {"start", true, 1}, {"start", true, 1}};
    for (const auto& run : runs) {
        std::string line;
        testfolders::RunGameProbe(folder, run.mode, line, 60000);
        const std::string previous = ReadLog(folder.path(), "Morvane.previous.log");
        EXPECT_EQ(previous.starts_with("Morvane "), run.kept) << run.mode;
        EXPECT_EQ(FaultLines(previous).size(), run.faults) << run.mode;
    }
}

// Two games started from one folder: the second's journal follows the first's in the one
// log, which neither start drops, each naming its process.
TEST(FieldLog, TwoGamesFromOneFolderKeepBothJournals) {
    sim::Reset();
    GameFolder folder("two games");
    folder.Write("Morvane.log", "Morvane 1.0.0, an earlier run\n");
    ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin()), nullptr);  // the first game, running on
    const std::string first = ReadLog(folder.path());
    std::string line;
    EXPECT_EQ(testfolders::RunGameProbe(folder, "start", line, 60000), 0u);
    const std::string log = ReadLog(folder.path());
    ASSERT_TRUE(log.starts_with(first)) << log;
    const std::string second = log.substr(first.size());
    EXPECT_TRUE(second.starts_with("Morvane " + std::string(kMorvaneVersion) + ", ")) << log;
    for (const auto& [journal, ours] : {std::pair{first, true}, std::pair{second, false}}) {
        const std::string head = journal.substr(0, journal.find('\n'));
        EXPECT_EQ(head.ends_with(", process " + std::to_string(GetCurrentProcessId())), ours) << head;
        EXPECT_NE(journal.find("\nstate: active"), std::string::npos) << journal;
    }
    EXPECT_EQ(ReadLog(folder.path(), "Morvane.previous.log"), "Morvane 1.0.0, an earlier run\n");
}

// A game folder that refuses the log (Morvane.log held by another program): the log goes
// to the player's local application data, and says why.
TEST(FieldLog, ALogRefusedBesideThePluginGoesToThePlayersData) {
    GameFolder folder("refused");
    folder.Write("Morvane.log", "");
    folder.MakeDirectory("data");
    HANDLE held = CreateFileW(sim::Wide(folder.path() + "Morvane.log").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SetEnvironmentVariableW(L"LOCALAPPDATA", sim::Wide(folder.path() + "data").c_str());
    std::string line;
    EXPECT_EQ(testfolders::RunGameProbe(folder, "start", line, 60000), 0u);
    CloseHandle(held);
    const std::string log = ReadLog(folder.path() + "data\\Morvane\\");
    EXPECT_NE(log.find("\nlog: " + folder.path() + "Morvane.log cannot be written, so the log is kept here\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("\nstate: active"), std::string::npos) << log;
}

// The sibling's settings file is looked for beside Morvane and wherever a loader loads
// plug-ins from: a conflict in any of them keeps Morvane out, naming the file.
TEST(FieldLog, TheSiblingIsFoundWhereLoadersLoadPlugins) {
    const struct {
        const char *plugin, *sibling, *shadowFix;
        bool conflict;
    } rows[] = {
        {"", "scripts\\", "1", true},
        {"scripts\\", "", "1", true},
        {"scripts\\", "plugins\\", "0x1", true},
        {"plugins\\", "plugins\\", "0", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.plugin) + "Morvane.asi, " + row.sibling + "Kavra.WidescreenFix.ini");
        GameFolder folder("sibling");
        const std::string sibling = folder.path() + row.sibling + "Kavra.WidescreenFix.ini";
        folder.Write(std::string(row.sibling) + "Kavra.WidescreenFix.ini", std::string("[MISC]\nCarShadowFix = ") + row.shadowFix + "\n");
        std::string shown;
        EXPECT_EQ(testfolders::RunGameProbe(folder, "start", shown, 60000, row.plugin), 0u);
        EXPECT_EQ(shown, row.conflict ? "Please set CarShadowFix to 0 in Kavra.WidescreenFix.ini" : "no message box");
        const std::string log = ReadLog(folder.path() + row.plugin);
        EXPECT_NE(log.find("sibling check: " + sibling + " [MISC] CarShadowFix = " + std::to_string(row.conflict) +
                           (row.conflict ? ": conflict, Morvane stays inactive\n" : ": no conflict\n")),
                  std::string::npos)
            << log;
    }
}

// A second copy of Morvane in the same game, whatever the copies' names and folders,
// changes nothing in the game and leaves the active copy's whole journal in its log, with
// one line added; its own journal goes to a log named after it where that is another file.
TEST(FieldLog, ASecondCopyStaysOutAndKeepsTheActiveLog) {
    const struct {
        const char *first, *second;
        const char* ownLog;  // the second copy's journal, or null where it names the active log
    } rows[] = {
        {"Morvane.asi", "Morvane - Copy.asi", "Morvane - Copy.log"},
        {"Morvane - Copy.asi", "Morvane.asi", nullptr},
        {"Morvane.asi", "scripts\\Morvane.asi", "scripts\\Morvane.log"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.first) + " then " + row.second);
        sim::Reset();
        GameFolder folder("copies.v1 ゲーム Игры");  // a dot in a folder's name is no extension
        ASSERT_NE(sim::LoadPlugin(folder.CopyPlugin(row.first)), nullptr);
        const std::string journal = ReadLog(folder.path());
        const size_t written = sim::ChangedRuns().size();
        const std::string second = folder.CopyPlugin(row.second);
        sim::LoadPlugin(second);
        EXPECT_EQ(sim::ChangedRuns().size(), written);
        EXPECT_EQ(ReadLog(folder.path()), journal + "a second copy of Morvane, " + second + ", was left out\n");
        if (row.ownLog == nullptr) continue;
        const std::string own = folder.Read(row.ownLog);
        EXPECT_NE(own.find("another copy of Morvane is active in this game: " + folder.path() + row.first +
                                 " (its log: " + folder.path() + "Morvane.log); this copy changes nothing in the game"),
                  std::string::npos)
            << own;
    }
}

// The claim of the copy active in this game: one left in the environment by the process
// that started the game (its children inherit it), or not whole, is no claim.
TEST(FieldLog, OnlyThisGamesClaimKeepsASecondCopyOut) {
    const std::string self = std::to_string(GetCurrentProcessId());
    const std::wstring variable = morvane::WideName(morvane::kClaimVariable, CP_UTF8);
    const struct {
        const char* what;
        std::string before;  // the variable as found; "" none
        bool claimed;
        const char* activeModule;
    } rows[] = {
        {"none", "", true, ""},
        {"this game's", self + "|C:\\ゲーム\\Morvane.asi|C:\\ゲーム\\Morvane.log", false, "C:\\ゲーム\\Morvane.asi"},
        {"the parent's", std::to_string(GetCurrentProcessId() + 4) + "|C:\\a\\Morvane.asi|C:\\a\\Morvane.log", true, ""},
        {"not whole", self + "|C:\\a\\Morvane.asi", true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring before = morvane::WideName(row.before, CP_UTF8);
        SetEnvironmentVariableW(variable.c_str(), row.before.empty() ? nullptr : before.c_str());
        std::string module, log;
        EXPECT_EQ(morvane::ClaimProcess("D:\\Morvane.asi", "D:\\Morvane.log", module, log), row.claimed);
        EXPECT_EQ(module, row.activeModule);
        wchar_t now[512] = {};
        GetEnvironmentVariableW(variable.c_str(), now, 512);
        EXPECT_EQ(morvane::Utf8(now), row.claimed ? self + "|D:\\Morvane.asi|D:\\Morvane.log" : row.before);
    }
    SetEnvironmentVariableW(variable.c_str(), nullptr);
}

}  // namespace
