// MorvaneCheck on folders holding each trap of the settings: the warnings it gives (kind,
// file, line) and its exit status, and the shipped samples, which must give none.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CheckHost.h"
#include "Checker.h"
#include "config/Profiles.h"
#include "config/Settings.h"

using namespace morvane::check;
namespace fs = std::filesystem;

namespace {

struct Expected {
    Trap trap;
    const char* file;  // '/' between folders
    size_t line;
    const char* fixHas = "";  // a text the fix must contain
};

// A file, or a folder when the name ends in '/'.
using Files = std::vector<std::pair<std::string, std::string>>;

fs::path MakeFolder(const std::string& label, const Files& files) {
    const fs::path root = fs::temp_directory_path() / ("morvane-check-" + label);
    fs::remove_all(root);
    fs::create_directories(root);
    for (const auto& [name, content] : files) {
        const fs::path path = root / name;
        if (name.back() == '/') {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    return root;
}

CheckResult Check(const fs::path& folder, std::string* report = nullptr) {
    std::ostringstream out;
    CheckResult result = CheckFolder(folder.string(), out);
    if (report) *report = out.str();
    return result;
}

// A path written with '/' as this system shows it.
std::string Shown(std::string path) {
    std::replace(path.begin(), path.end(), '/', kSeparator);
    return path;
}

const char* const kPlain = "[GENERAL]\nExhaustFX = 1\n[MODS]\nNeon = 1\n";

struct Case {
    const char* label;
    Files files;
    std::vector<Expected> expected;
};

TEST(MorvaneCheck, EachTrapGivesItsWarningWithFileLineAndFix) {
    const Case cases[] = {
        {"clean", {{"Morvane.ini", kPlain}, {"MorvaneCars/SUPRA", "[GENERAL]\nForceLodA = 1\n"}}, {}},
        {"no-settings", {{"MorvaneCars/SUPRA", ""}}, {{Trap::NoSettingsFile, "Morvane.ini", 0}}},
        {"settings-folder", {{"Morvane.ini/", ""}}, {{Trap::NoSettingsFile, "Morvane.ini", 0}}},
        {"key-spelling",
         {{"Morvane.ini", "[GENERAL]\r\nExhaustFx = 1\r\nFixWheelMirorr = 1\r\nTyres = 1\r\n"}},  // as saved on Windows
         {{Trap::UnknownKey, "Morvane.ini", 2, "ExhaustFX? Names are case-sensitive"},
          {Trap::UnknownKey, "Morvane.ini", 3, "FixWheelMirror?"},
          {Trap::UnknownKey, "Morvane.ini", 4, "Tires (read from [MODS])?"}}},
        {"section-spelling", {{"Morvane.ini", "[General]\nExhaustFX = 1\n[PART_ATTACHMENT7]\nEnabled = 1\n[X]\n"}},
         {{Trap::UnknownSection, "Morvane.ini", 1, "[GENERAL]? Names are case-sensitive"},
          {Trap::UnknownSection, "Morvane.ini", 3, "[PART_ATTACHMENT07]"},
          {Trap::UnknownSection, "Morvane.ini", 5, "remove it"}}},
        {"before-any-section", {{"Morvane.ini", "ExhaustFX = 1\n[GENERAL]\n"}},
         {{Trap::UnknownSection, "Morvane.ini", 1, "[GENERAL]"}}},
        {"wrong-section",
         {{"Morvane.ini", "[GENERAL]\nNeon = 1\n[MODS]\nForceLodA = 1\n[PART_BODY]\nTires = 1\n"}},
         {{Trap::WrongSection, "Morvane.ini", 2, "[MODS]"},
          {Trap::WrongSection, "Morvane.ini", 4, "[GENERAL]"},
          {Trap::WrongSection, "Morvane.ini", 6, "[MODS]"}}},
        {"global-only-in-a-car",
         {{"Morvane.ini", kPlain}, {"MorvaneCars/SUPRA", "[GENERAL]\nExhaustFX = 1\nLog = 0\n[MODS]\nNeon = 1\n"}},
         {{Trap::WrongSection, "MorvaneCars/SUPRA", 2, "Morvane.ini"},
          {Trap::WrongSection, "MorvaneCars/SUPRA", 3, "Morvane.ini"},
          {Trap::WrongSection, "MorvaneCars/SUPRA", 4, "[MODS] in Morvane.ini"}}},
        {"switch-values",
         {{"Morvane.ini", "[MODS]\nNeon = true\nTires = 2\nCamber = 1 ; on\nTrackWidth = 0x1\nTireWidth =\n"
                          "[PART_BODY]\nEnabled = yes\n[PART_HOOD]\nEnabled = -1\n"
                          "[PART_ROOF]\nEnabled = 2\n[PART_SKIRT]\nEnabled = -2\n[PART_SPOILER]\nEnabled = 0\n"
                          "[PART_EXHAUST]\nEnabled = 1\n"}},
         {{Trap::SwitchValue, "Morvane.ini", 2, "Neon = 1"},
          {Trap::SwitchValue, "Morvane.ini", 3},
          {Trap::SwitchValue, "Morvane.ini", 8, "Enabled = 1"},
          {Trap::SwitchValue, "Morvane.ini", 12}, {Trap::SwitchValue, "Morvane.ini", 14}}},
        {"numbers-cut", {{"Morvane.ini", "[GENERAL]\nFrontSteerAngle = 22.5\nExhaustFX = 1.0\n"
                                         "[PART_BODY]\nEnabled = 1 on\n"}},
         {{Trap::NumberCut, "Morvane.ini", 2, "FrontSteerAngle = 22"},
          {Trap::NumberCut, "Morvane.ini", 3, "ExhaustFX = 1"},
          {Trap::NumberCut, "Morvane.ini", 5, "Enabled = 1"}}},
        {"angle-unreadable", {{"Morvane.ini", "[GENERAL]\nFrontSteerAngle = 0xFFFFFFFF\nLog = yes\nLog = 0\n"}},
         {{Trap::NumberCut, "Morvane.ini", 2}, {Trap::SwitchValue, "Morvane.ini", 3, "Log = 0 for off"},
          {Trap::DuplicateKey, "Morvane.ini", 4}}},
        {"duplicates", {{"Morvane.ini", "[GENERAL]\nExhaustFX = 1\n[MODS]\nNeon = 1\n[GENERAL]\nExhaustFX = 0\n"}},
         {{Trap::DuplicateKey, "Morvane.ini", 6}}},
        {"profile-names",
         {{"Morvane.ini", kPlain}, {"MorvaneCars/SUPRA.ini", ""}, {"MorvaneCars/fairlady", ""},
          {"MorvaneCars/Skyline.txt", ""}, {"MorvaneCars/OLD/", ""}},
         {{Trap::ProfileName, "MorvaneCars/SUPRA.ini", 0, "rename the file to SUPRA"},
          {Trap::ProfileName, "MorvaneCars/fairlady", 0, "rename the file to FAIRLADY"},
          {Trap::ProfileName, "MorvaneCars/Skyline.txt", 0, "rename the file to SKYLINE"},
          {Trap::ProfileName, "MorvaneCars/OLD", 0, "move the folder out"}}},
        {"replaces-built-in",
         {{"Morvane.ini", "[GENERAL]\nPopUpHeadLights = 1\n"}, {"MorvaneCars/BRERA", "[GENERAL]\nForceLodA = 1\n"},
          {"MorvaneCars/RX7", "[GENERAL]\nForceLodA = 1\n"}, {"MorvaneCars/MR2", "[GENERAL]\nPopUpHeadLights = 1\n"}},
         {{Trap::ReplacesBuiltIn, "MorvaneCars/BRERA", 0, "sun roof"},
          {Trap::SwitchLeftOut, "MorvaneCars/BRERA", 0, "PopUpHeadLights = 1"},
          {Trap::ReplacesBuiltIn, "MorvaneCars/RX7", 0, "PopUpHeadLights = 1"}}},
        {"switch-left-out",
         {{"Morvane.ini", "[GENERAL]\nReplaceHeadlightShader = 1\nForceLodA = 1\n"},
          {"MorvaneCars/SUPRA", "[GENERAL]\nReplaceBrakelightShader = 1\n"},
          {"MorvaneCars/NSX", "[GENERAL]\nReplaceHeadlightShader = 0\n"}},
         {{Trap::SwitchLeftOut, "MorvaneCars/SUPRA", 0, "ReplaceHeadlightShader = 1"}}},
        {"slot-texts",
         {{"Morvane.ini", "[PART_ATTACHMENT03]\nEnabled = 0\nHeader = CUST_A3\n[PART_ATTACHMENT04]\nCamera = C4\n"
                          "[PART_ATTACHMENT05]\nHeader = \"\"\n"},
          {"MorvaneCars/SUPRA", "[PART_ATTACHMENT03]\nEnabled = 1\n[PART_ATTACHMENT06]\nHeaderAS = CUST_AS6\n"},
          {"MorvaneCars/NSX", "[PART_ATTACHMENT04]\nEnabled = 0\n"}},
         {{Trap::SlotNoEffect, "Morvane.ini", 5, "Enabled = 1"},
          {Trap::SlotNoEffect, "MorvaneCars/SUPRA", 4, "Enabled = 1"}}},
        {"sibling-conflict", {{"Morvane.ini", kPlain}, {"Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 0x1\n"}},
         {{Trap::SiblingConflict, "Kavra.WidescreenFix.ini", 2, "CarShadowFix = 0"}}},
        {"sibling-fine", {{"Morvane.ini", kPlain}, {"Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 0\n"}}, {}},
        {"rims-and-vinyls", {{"Morvane.ini", "[GENERAL]\nAllowStockRimsPaint = 1\nAllVinylsMirrorable = 1\n"}},
         {{Trap::SwitchOverruled, "Morvane.ini", 3, "AllowStockRimsPaint = 0"}}},
        // The game's hash takes "X7" and "WX" to the same value: RX7's own profile is RWX's.
        {"name-hashes", {{"Morvane.ini", kPlain}, {"MorvaneCars/RWX", "[GENERAL]\nForceLodA = 1\n"}},
         {{Trap::HashCollision, "MorvaneCars/RWX", 0, "remove"}}},
        {"long-text", {{"Morvane.ini", "[PART_BODY]\nEnabled = 1\nHeader = '" + std::string(254, 'H') + "'\n"
                                       "Camera = " + std::string(255, 'C') + "\n"}},
         {{Trap::TextCut, "Morvane.ini", 4, "254"}}},
    };
    for (const Case& c : cases) {
        const CheckResult result = Check(MakeFolder(c.label, c.files));
        std::vector<std::tuple<Trap, std::string, size_t>> got, want;
        for (const Warning& w : result.warnings) got.emplace_back(w.trap, w.file, w.line);
        for (const Expected& e : c.expected) want.emplace_back(e.trap, Shown(e.file), e.line);
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.label;
        EXPECT_EQ(result.status, c.expected.empty() ? kAllTakesEffect : kWarnings) << c.label;
        for (const Expected& e : c.expected) {
            const auto match = std::find_if(result.warnings.begin(), result.warnings.end(), [&](const Warning& w) {
                return w.trap == e.trap && w.file == Shown(e.file) && w.line == e.line;
            });
            if (match != result.warnings.end()) {
                EXPECT_NE(match->fix.find(e.fixHas), std::string::npos) << c.label << ": " << match->fix;
            }
        }
    }
}

TEST(MorvaneCheck, ShippedSamplesGiveNoWarning) {
    std::string report;
    const CheckResult result = Check(fs::path(MORVANE_SOURCE_DIR) / "dist", &report);
    EXPECT_EQ(result.status, kAllTakesEffect) << report;
    EXPECT_TRUE(result.warnings.empty());
}

TEST(MorvaneCheck, AFolderThatCannotBeReadIsStatusTwo) {
    const fs::path file = MakeFolder("not-a-folder", {{"x", ""}}) / "x";
    for (const fs::path& folder : {fs::temp_directory_path() / "morvane-check-no-such-folder", file}) {
        EXPECT_EQ(Check(folder).status, kFolderUnreadable) << folder;
    }
}

// Folders made to exhaust the checker: it ends in time with its status and says what it
// left out; nothing outside the folder is read.
TEST(MorvaneCheck, HostileFoldersEndInTime) {
    std::string headers = "[GENERAL]\nExhaustFX = 1\n", repeated = "[MODS]\n";
    for (size_t n = 0; headers.size() < (32u << 20); ++n) headers += "[" + std::to_string(n) + "]\n";
    // A key set 80,000 times, first after 30,000 others.
    for (int i = 0; i < 30000; ++i) repeated += "a" + std::to_string(i) + "=1\n";
    for (int i = 0; i < 80000; ++i) repeated += "a29999=0\n";
    const struct {
        const char* label;
        Files files;
        const char* checked;  // the folder checked, within the one laid out
        int status;
        double seconds;
        const char* reportSays;
        const char* neverSays;  // null: nothing
    } cases[] = {
        {"headers", {{"Morvane.ini", headers}}, "", kFolderUnreadable, 30, "only its first 1 MB is read", nullptr},
        {"repeated-keys", {{"Morvane.ini", repeated}}, "", kWarnings, 5, "109000 more warnings are not shown", nullptr},
        {"climbing-name",
         {{"game/Morvane.ini", kPlain}, {"game/MorvaneCars/..\\..\\outside\\MorvaneCars\\SECRET", "[GENERAL]\n"},
          {"outside/MorvaneCars/SECRET", "[GENERAL]\nForceLodA = hunter2\n"}},
         "game", kFolderUnreadable, 5, "refused", "hunter2"},
    };
    for (const auto& c : cases) {
        if (kSeparator == '\\' && std::string(c.label) == "climbing-name") continue;  // a Windows name holds no backslash
        std::string report;
        const fs::path folder = MakeFolder(c.label, c.files) / c.checked;
        const auto start = std::chrono::steady_clock::now();
        const CheckResult result = Check(folder, &report);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("  %-16s %6.2f s\n", c.label, seconds);
        EXPECT_EQ(result.status, c.status) << c.label;
        EXPECT_LT(seconds, c.seconds) << c.label;
        EXPECT_NE(report.find(c.reportSays), std::string::npos) << c.label << ": " << report.substr(0, 4000);
        if (c.neverSays) {
            EXPECT_EQ(report.find(c.neverSays), std::string::npos) << c.label;
        }
    }
}

// The report shows what the plug-in's own code read: values and where they came from.
TEST(MorvaneCheck, ReportsEffectiveValuesWithTheirOrigin) {
    std::string report;
    Check(MakeFolder("origins", {{"Morvane.ini", "[GENERAL]\nFrontSteerAngle = 22.5\nPopUpHeadLights = 1\n"
                                                 "[PART_BODY]\nEnabled = 1\nHeader = CUST_BODY\n"},
                                 {"MorvaneCars/SUPRA", "[PART_BODY]\nEnabled = 0\n[PART_HOOD]\nEnabled = 1\n"}}),
          &report);
    EXPECT_EQ(SteeringAngleHandedOver(), 22.0f);
    const std::string supra = Shown("MorvaneCars/SUPRA");
    for (const std::string& expected : std::vector<std::string>{
             std::string("FrontSteerAngle         22    Morvane.ini:2"),
             std::string("PopUpHeadLights         on    Morvane.ini:3"),
             std::string("Part slots switched on: PART_BODY (Morvane.ini:5)"),
             std::string("[PART_BODY] Header CUST_BODY (Morvane.ini:6)"),
             "  SUPRA  (file " + supra + ")",
             std::string("PopUpHeadLights         off   not set in the file: off"),
             "Part slots switched on: PART_HOOD (" + supra + ":4)",
             "Switched off here though Morvane.ini switches them on: PART_BODY (" + supra + ":2)",
             std::string("  RX7  (built in)"),
         }) {
        EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
    }
    // The car's profile replaced the global switch: so the plug-in's own lookup says.
    ASSERT_NE(morvane::FindProfileByName("SUPRA"), nullptr);
    EXPECT_FALSE(morvane::FindProfileByName("SUPRA")->popUpHeadLights);
    EXPECT_TRUE(morvane::GlobalSettings()->popUpHeadLights);
}

TEST(MorvaneCheck, HashIsTheGames) {
    EXPECT_EQ(GameStringHash(""), 0xFFFFFFFFu);
    EXPECT_EQ(GameStringHash("A"), 0xFFFFFFFFu * 33u + 'A');
    EXPECT_EQ(GameStringHash("\xC3"), 0xFFFFFFFFu * 33u + 0xC3u);  // bytes count unsigned
}

}  // namespace
