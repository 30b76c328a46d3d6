// MorvaneCheck on game folders holding each trap of the settings, and on folders that are
// not the game's: the warnings it gives (kind, file, line) and its exit status, and the
// shipped samples, which must give none.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CheckHost.h"
#include "Checker.h"
#include "Console.h"
#include "Version.h"
#include "config/Profiles.h"
#include "config/Settings.h"

using namespace morvane::check;
namespace fs = std::filesystem;

namespace {

struct Expected {
    Trap trap;
    const char* file;  // '/' between folders
    size_t line;
    const char* fixHas = "";   // a text the fix must contain
    const char* textHas = "";  // and the warning
};

// A file, or a folder when the name ends in '/'.
using Files = std::vector<std::pair<std::string, std::string>>;

// A 32-bit Windows library whose version resource gives major.minor.patch: the headers,
// one section, and in it the resource tree (version, name 1, language 0x409) and data.
std::string Library(uint32_t major, uint32_t minor, uint32_t patch) {
    std::string b(0x300, '\0');
    auto put = [&](size_t at, uint32_t value, int size = 4) {
        for (int i = 0; i < size; ++i) b[at + i] = static_cast<char>(value >> 8 * i);
    };
    b[0] = 'M', b[1] = 'Z', put(0x3C, 0x40), put(0x40, 0x4550), put(0x46, 1, 2), put(0x54, 0xE0, 2);
    put(0x58, 0x10B, 2), put(0x58 + 92, 16), put(0x58 + 96 + 16, 0x1000), put(0x58 + 96 + 20, 0x100);
    put(0x138 + 8, 0x100), put(0x138 + 12, 0x1000), put(0x138 + 16, 0x100), put(0x138 + 20, 0x200);
    put(0x20E, 1, 2), put(0x210, 16), put(0x214, 0x80000018), put(0x226, 1, 2), put(0x228, 1);
    put(0x22C, 0x80000030), put(0x23E, 1, 2), put(0x240, 0x409), put(0x244, 0x48), put(0x248, 0x1058);
    const char16_t key[] = u"VS_VERSION_INFO";
    for (size_t i = 0; i < 16; ++i) put(0x258 + 6 + 2 * i, key[i], 2);
    put(0x258 + 40, 0xFEEF04BD), put(0x258 + 48, major << 16 | minor), put(0x258 + 52, patch << 16);
    put(0x258 + 56, major << 16 | minor), put(0x258 + 60, patch << 16);  // the product version
    return b;
}

const std::string kThisPlugin = Library(MORVANE_VERSION_MAJOR, MORVANE_VERSION_MINOR, MORVANE_VERSION_PATCH);

// The folders of one run of the tests, in one folder of the system's temporary folder,
// removed as the run ends.
struct RunFolder {
    const fs::path path = fs::temp_directory_path() /
                          ("morvane-check-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ~RunFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
} runFolder;

// A game folder (kavra.exe and this version's Morvane.asi, but for those `without`
// names) holding `files`.
fs::path MakeFolder(const std::string& label, const Files& files, const std::vector<std::string>& without = {}) {
    const fs::path root = runFolder.path / label;
    fs::remove_all(root);
    fs::create_directories(root);
    Files all;
    for (const auto& game : Files{{"kavra.exe", "MZ"}, {"Morvane.asi", kThisPlugin}}) {
        if (std::find(without.begin(), without.end(), game.first) == without.end()) all.push_back(game);
    }
    all.insert(all.end(), files.begin(), files.end());
    for (const auto& [name, content] : all) {
        const fs::path path = root / fs::path(std::u8string(name.begin(), name.end()));
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

const char* const kPlain = "[GENERAL]\nExhaustFX = 1\n[MODS]\nNeon = 1\n[PART_ATTACHMENT15]\nEnabled = 1\n";

struct Case {
    const char* label;
    Files files;
    std::vector<Expected> expected;
    std::vector<std::string> without = {};  // of the game's files
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
        {"section-spelling", {{"Morvane.ini", "[General]\nExhaustFX = 1\n[PART_ATTACHMENT7]\nEnabled = 1\n[X]\nA = 1\nB = 2\n"}},
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
          {Trap::SwitchValue, "Morvane.ini", 12}, {Trap::SwitchValue, "Morvane.ini", 14},
          // Camber and TrackWidth read as 1, with their slots off.
          {Trap::NoSlotForPart, "Morvane.ini", 4}, {Trap::NoSlotForPart, "Morvane.ini", 5}}},
        {"numbers-cut", {{"Morvane.ini", "[GENERAL]\nFrontSteerAngle = 22.5\nExhaustFX = 1.0\n"
                                         "[PART_BODY]\nEnabled = 1 on\n[PART_HOOD]\nEnabled = 1!\n"}},
         {{Trap::NumberCut, "Morvane.ini", 2, "FrontSteerAngle = 22"},
          {Trap::NumberCut, "Morvane.ini", 3, "ExhaustFX = 1"},
          {Trap::NumberCut, "Morvane.ini", 5, "Enabled = 1"},
          {Trap::NumberCut, "Morvane.ini", 7, "Enabled = 1"}}},
        {"angle-unreadable", {{"Morvane.ini", "[GENERAL]\nFrontSteerAngle = 0xFFFFFFFF\nLog = yes\nLog = 0\n"}},
         {{Trap::NumberCut, "Morvane.ini", 2}, {Trap::SwitchValue, "Morvane.ini", 3, "Log = 0 for off"},
          {Trap::DuplicateKey, "Morvane.ini", 4}}},
        {"duplicates", {{"Morvane.ini", "[GENERAL]\nExhaustFX = 1\n[MODS]\nNeon = 0\n[GENERAL]\nExhaustFX = 0\n"}},
         {{Trap::DuplicateKey, "Morvane.ini", 6}}},
        {"profile-names",
         {{"Morvane.ini", kPlain}, {"MorvaneCars/SUPRA.ini", ""}, {"MorvaneCars/fairlady", ""},
          {"MorvaneCars/Skyline.txt", ""}, {"MorvaneCars/OLD.ZIP", ""}, {"MorvaneCars/old/", ""}},  // a folder is no profile
         {{Trap::ProfileName, "MorvaneCars/SUPRA.ini", 0, "rename the file to SUPRA"},
          {Trap::ProfileName, "MorvaneCars/fairlady", 0, "rename the file to FAIRLADY"},
          {Trap::ProfileName, "MorvaneCars/Skyline.txt", 0, "move the file out of MorvaneCars"},
          {Trap::ProfileName, "MorvaneCars/OLD.ZIP", 0, "move the file out of MorvaneCars"}}},
        {"last-run-hook-switched-off",
         {{"Morvane.ini", kPlain},
          {"Morvane.log", "Morvane 1.1.0, X, started 2026-12-08 07:00:37\r\nstate: active, 26 game sites written\n"
                          "07:01:02 fault 0xC0000005 at Morvane.asi+0x00010018 in the hook 'the shadow's colour' at "
                          "0x007BEA68: contained, the game goes on and the hook is switched off; EAX=0x00000000\n"}},
         {{Trap::LastRun, "Morvane.log", 0, "send Morvane.log and Morvane.previous.log", "07:00:37), a fault in Morvane's hook 'the shadow's colour' switched"}}},
        {"last-run-game-fault-in-scripts",
         {{"Morvane.ini", kPlain},
          {"scripts/Morvane.log", "state: active\n07:01:02 fault 0xC0000005 in game code at 0x00BC4920, called from "
                                  "Morvane's hook 'pop-up headlight query' at 0x00865278; EAX=0x00000000\n"}},
         {{Trap::LastRun, "scripts/Morvane.log", 0, "bug report", "under Morvane's hook 'pop-up headlight query' ended"}}},
        {"last-run-fault-in-a-module", {{"Morvane.ini", kPlain}, {"Morvane.log", "07:01:02 fault 0xC0000005 at a+b.dll+0x00001234, "
                                                                                 "called from Morvane's hook 'x' at 0x1;\n"}},
         {{Trap::LastRun, "Morvane.log", 0, "bug report", "a fault in a+b.dll's code under Morvane's hook 'x' ended"}}},
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
        // Where a loader also loads plug-ins: a conflict there is one too.
        {"sibling-in-scripts",
         {{"Morvane.ini", kPlain}, {"Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 0\n"},
          {"scripts/Kavra.WidescreenFix.ini", "[MISC]\nCarShadowFix = 1\n"}},
         {{Trap::SiblingConflict, "scripts/Kavra.WidescreenFix.ini", 2, "of scripts"}}},
        {"rims-and-vinyls", {{"Morvane.ini", "[GENERAL]\nAllowStockRimsPaint = 1\nAllVinylsMirrorable = 1\n"}},
         {{Trap::SwitchOverruled, "Morvane.ini", 3, "AllowStockRimsPaint = 0"}}},
        // The game's hash takes "X7" and "WX" to the same value: RX7's own profile is RWX's.
        {"name-hashes", {{"Morvane.ini", kPlain}, {"MorvaneCars/RWX", "[GENERAL]\nForceLodA = 1\n"}},
         {{Trap::HashCollision, "MorvaneCars/RWX", 0, "remove"}}},
        // "BRF1A" hashes as BRERA, the first built-in car, does: F1 in place of ER.
        {"hash-of-the-first-built-in", {{"Morvane.ini", kPlain}, {"MorvaneCars/BRF1A", "[GENERAL]\nForceLodA = 1\n"}},
         {{Trap::HashCollision, "MorvaneCars/BRF1A", 0, "remove", "hash of BRERA (built in) is that of BRF1A"}}},
        {"long-text", {{"Morvane.ini", "[PART_BODY]\nEnabled = 1\nHeader = '" + std::string(254, 'H') + "'\n"
                                       "Camera = " + std::string(255, 'C') + "\n"}},
         {{Trap::TextCut, "Morvane.ini", 4, "254"}}},
        {"neither-game-nor-plugin", {{"Morvane.ini", kPlain}},
         {{Trap::NotGameFolder, "kavra.exe", 0, "beside kavra.exe"}, {Trap::PluginFile, "Morvane.asi", 0, "package"}},
         {"kavra.exe", "Morvane.asi"}},
        {"plugin-of-1.1.3", {{"Morvane.ini", kPlain}, {"Morvane.asi", Library(1, 1, 3)}},
         {{Trap::PluginFile, "Morvane.asi", 0, "same package", "version 1.1.3"}}},
        {"plugin-of-1.0.0", {{"Morvane.ini", kPlain}, {"Morvane.asi", Library(1, 0, 0)}},
         {{Trap::PluginFile, "Morvane.asi", 0, "same package", "version 1.0.0"}}},
        {"plugin-cut-short", {{"Morvane.ini", kPlain}, {"Morvane.asi", kThisPlugin.substr(0, 0x28C)}},
         {{Trap::PluginFile, "Morvane.asi", 0, "same package", "no version"}}},
        // Resources of another type only (3, icons), and a version resource of another key.
        {"plugin-without-version",
         {{"Morvane.ini", kPlain}, {"Morvane.asi", std::string(kThisPlugin).replace(0x210, 1, 1, 3)}},
         {{Trap::PluginFile, "Morvane.asi", 0, "same package", "no version"}}},
        {"plugin-other-key",
         {{"Morvane.ini", kPlain}, {"Morvane.asi", std::string(kThisPlugin).replace(0x25E, 1, 1, 'W')}},
         {{Trap::PluginFile, "Morvane.asi", 0, "same package", "no version"}}},
        // Where a loader loads Morvane from, it reads the settings beside itself only.
        {"asi-in-scripts-settings-above",
         {{"scripts/Morvane.asi", kThisPlugin}, {"Morvane.ini", kPlain}, {"MorvaneCars/SUPRA", ""}},
         {{Trap::BesideNoPlugin, "Morvane.ini", 0, "move Morvane.ini beside scripts", "every switch is off"},
          {Trap::BesideNoPlugin, "MorvaneCars", 0, "MorvaneCars beside scripts", "no car profile is read"},
          {Trap::NoSettingsFile, "scripts/Morvane.ini", 0}},
         {"Morvane.asi"}},
        {"asi-in-plugins-two-settings",
         {{"Plugins/Morvane.asi", kThisPlugin}, {"Plugins/Morvane.ini", kPlain}, {"Morvane.ini", "[MODS]\nNeon = 0\n"}},
         {{Trap::BesideNoPlugin, "Morvane.ini", 0, "and remove Morvane.ini", "reads Plugins"}},
         {"Morvane.asi"}},
        {"two-copies",
         {{"scripts/Morvane.asi", kThisPlugin}, {"Morvane.ini", kPlain}, {"scripts/Morvane.ini", kPlain}},
         {{Trap::PluginFile, "scripts/Morvane.asi", 0, "keep one Morvane.asi", "2 copies of Morvane.asi (Morvane.asi, "}}},
        {"names-in-other-case-camber-for-every-car",
         {{"KAVRA.EXE", ""}, {"morvane.asi", kThisPlugin}, {"MorvaneCars/SUPRA", "[PART_ATTACHMENT12]\nEnabled = -1\n"},
          {"Morvane.ini", "[MODS]\nCamber = 1\n[PART_ATTACHMENT12]\nEnabled = 1\n"}}, {}, {"kavra.exe", "Morvane.asi"}},
        {"features-without-slots",
         {{"Morvane.ini", "[MODS]\nNeon = 1\nCamber = 1\nTires = 1\nTrackWidth = 1\nLicensePlate = 1\nTireWidth = 1\n"
                          "[PART_ATTACHMENT15]\nEnabled = 0\n[PART_ATTACHMENT12]\nEnabled = 0\n"},
          {"MorvaneCars/SUPRA", "[PART_ATTACHMENT14]\nEnabled = 1\n[PART_ATTACHMENT13]\nEnabled = 1\n"}},
         {{Trap::NoSlotForPart, "Morvane.ini", 2, "Enabled = 1 in [PART_ATTACHMENT15]", "plain shadow"},
          {Trap::NoSlotForPart, "Morvane.ini", 3, "Enabled = 1 in [PART_ATTACHMENT12]", "camber 0.0"},
          {Trap::NoSlotForPart, "Morvane.ini", 6, "Enabled = 1 in [PART_LICENSE_PLATE]", "LicensePlate = 1"}}},
        {"camber-not-for-every-car",
         {{"Morvane.ini", "[MODS]\nCamber = 1\n[PART_ATTACHMENT12]\nEnabled = 1\n"},
          {"MorvaneCars/SUPRA", "[PART_ATTACHMENT12]\nEnabled = 0\n"}, {"MorvaneCars/NSX", "[PART_ATTACHMENT12]\n"}},
         {{Trap::NoSlotForPart, "Morvane.ini", 2, "of their files", "the SUPRA cannot"}}},
        {"camber-off-for-one-car",
         {{"Morvane.ini", "[MODS]\nCamber = 1\n[PART_ATTACHMENT12]\nEnabled = 1\n"},
          {"MorvaneCars/SUPRA", "[PART_ATTACHMENT12]\nEnabled = 0\n"}},
         {{Trap::NoSlotForPart, "Morvane.ini", 2, "of their files", "the SUPRA cannot be given one: [PART_ATTACHMENT12] "
                                                                    "is switched off for it"}}},
        {"camber-for-one-car",
         {{"Morvane.ini", "[MODS]\nCamber = 1\n"}, {"MorvaneCars/SUPRA", "[PART_ATTACHMENT12]\nEnabled = 1\n"}},
         {{Trap::NoSlotForPart, "Morvane.ini", 2, "of Morvane.ini", "every car but the SUPRA cannot"}}},
    };
    for (const Case& c : cases) {
        const CheckResult result = Check(MakeFolder(c.label, c.files, c.without));
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
                EXPECT_NE(match->text.find(e.textHas), std::string::npos) << c.label << ": " << match->text;
            }
        }
    }
}

// The warnings come cheapest first: the last one, on the last screen, is the dearest.
TEST(MorvaneCheck, TheDearestWarningComesLast) {
    std::string report;
    const CheckResult result = Check(MakeFolder("order", {{"Morvane.ini", "[MODS]\nNeon = 0\nNeon = 1\nNeonn = 1\n"},
                                                          {"MorvaneCars/readme.txt", ""}}, {"kavra.exe"}), &report);
    std::vector<Cost> costs;
    for (const Warning& w : result.warnings) costs.push_back(CostOf(w.trap));
    EXPECT_TRUE(std::is_sorted(costs.begin(), costs.end())) << report;
    EXPECT_EQ(costs.size(), 4u) << report;  // and a value read otherwise, a key not read, a note among the cars
    const size_t last = report.rfind(": warning: ");
    EXPECT_EQ(report.substr(report.rfind('\n', last) + 1, last - report.rfind('\n', last) - 1), "kavra.exe");
    EXPECT_LE(std::count(report.begin() + last, report.end(), '\n'), 24);  // on a console's last screen
    EXPECT_NE(report.find("\nLast run: no Morvane.log: the game has not started Morvane yet"), std::string::npos);
}

// Morvane in a loader's folder of plug-ins, its settings beside it: checked there, the game
// folder one level up is checked, with the settings where that copy reads them.
TEST(MorvaneCheck, ALoadersFolderKnowsTheGameAbove) {
    for (const char* loader : {"scripts", "Plugins", "other"}) {
        const std::string in = loader;
        const fs::path game = MakeFolder("loader", {{in + "/Morvane.ini", "[GENERAL]\nExhaustFX = 2\n"},
                                                    {in + "/Morvane.asi", kThisPlugin}}, {"Morvane.asi"});
        std::vector<std::string> files;
        for (const Warning& w : Check(game / loader).warnings) files.push_back(w.file + ":" + std::to_string(w.line));
        const std::vector<std::string> expected = in == "other" ? std::vector<std::string>{"Morvane.ini:2", "kavra.exe:0"}
                                                                : std::vector<std::string>{Shown(in + "/Morvane.ini:2")};
        EXPECT_EQ(files, expected) << loader;
    }
}

TEST(MorvaneCheck, ShippedSamplesGiveNoWarningInAGameFolder) {
    const fs::path folder = MakeFolder("samples", {});
    for (const char* shipped : {"Morvane.ini", "MorvaneCars"}) {
        fs::copy(fs::path(MORVANE_SOURCE_DIR) / "dist" / shipped, folder / shipped, fs::copy_options::recursive);
    }
    std::string report;
    const CheckResult result = Check(folder, &report);
    EXPECT_EQ(result.status, kAllTakesEffect) << report;
    EXPECT_TRUE(result.warnings.empty());
}

// Started from Explorer, the program has a console of its own, which closes with it.
TEST(MorvaneCheck, WaitsForAKeyOnlyInAConsoleOfItsOwn) {
    const std::pair<ConsoleFacts, bool> cases[] = {
        {{1, true, true}, true},     // started from Explorer
        {{2, true, true}, false},    // from a command prompt or a script: the console is shared
        {{0, false, false}, false},  // no console at all
        {{1, false, true}, false},   // input redirected
        {{1, true, false}, false},   // output redirected
    };
    for (const auto& [facts, waits] : cases) {
        EXPECT_EQ(WaitsForKey(facts), waits) << facts.processes << facts.input << facts.output;
    }
}

TEST(MorvaneCheck, AFolderThatCannotBeReadIsStatusTwo) {
    const fs::path file = MakeFolder("not-a-folder", {{"x", ""}}) / "x";
    for (const fs::path& folder : {fs::temp_directory_path() / "morvane-check-no-such-folder", file}) {
        EXPECT_EQ(Check(folder).status, 2) << folder;  // as README.txt tells it
    }
}

// Folders made to exhaust the checker: it ends in time with its status and says what it
// left out; nothing outside the folder is read. In time: less than 32 times what a folder
// of an eighth as much takes (8 times when the checker is linear, up to 16 seen on a busy
// machine; 64 when quadratic), or, for a few odd names, a plain folder: a ratio, which a
// busy machine leaves about as it is.
TEST(MorvaneCheck, HostileFoldersEndInTime) {
    std::string headers = "[GENERAL]\nExhaustFX = 1\n";
    for (size_t n = 0; headers.size() < (32u << 20); ++n) headers += "[" + std::to_string(n) + "]\n";
    // An eighth of what is read of them (the first MB), cut after a line.
    const std::string someHeaders = headers.substr(0, headers.find('\n', (1u << 20) / 8) + 1);
    // A key set `repeats` times, first after `others` others.
    const auto repeated = [](int others, int repeats) {
        std::string text = "[MODS]\n";
        for (int i = 0; i < others; ++i) text += "a" + std::to_string(i) + "=1\n";
        for (int i = 0; i < repeats; ++i) text += "a" + std::to_string(others - 1) + "=0\n";
        return text;
    };
    const Files plain = {{"Morvane.ini", kPlain}};
    const struct {
        const char* label;
        Files files;
        const char* checked;  // the folder checked, within the one laid out
        int status;
        Files less;  // the folder compared with: an eighth as much, or a plain one
        const char* reportSays;
        const char* neverSays;  // null: nothing
    } cases[] = {
        {"headers", {{"Morvane.ini", headers}}, "", kFolderUnreadable, {{"Morvane.ini", someHeaders}},
         "only its first 1 MB is read", nullptr},
        {"repeated-keys", {{"Morvane.ini", repeated(30000, 80000)}}, "", kWarnings,
         {{"Morvane.ini", repeated(3750, 10000)}}, "109000 more warnings are not shown", nullptr},
        {"climbing-name",
         {{"game/Morvane.ini", kPlain}, {"game/MorvaneCars/..\\..\\outside\\MorvaneCars\\SECRET", "[GENERAL]\n"},
          {"outside/MorvaneCars/SECRET", "[GENERAL]\nForceLodA = hunter2\n"}},
         "game", kFolderUnreadable, plain, "refused", "hunter2"},
        // Names that would clear the console, retitle it or change its colours are printed escaped.
        {"control-c0", {{"Morvane.ini", kPlain}, {"MorvaneCars/\x1B]0;x\x07\x1B[2Jcar", ""}}, "", kWarnings, plain,
         "\\x1B]0;x\\x07\\x1B[2Jcar", "\x1B"},
        {"control-c1", {{"Morvane.ini", kPlain}, {"MorvaneCars/car\x7F\xC2\x9B" "2J\xC2\x9F", ""}}, "", kWarnings, plain,
         "car\\x7F\\u009B2J\\u009F", "\xC2\x9B"},
    };
    // Seconds a check of `folder` takes; its result and report kept.
    const auto timed = [](const fs::path& folder, CheckResult& result, std::string& report) {
        const auto start = std::chrono::steady_clock::now();
        result = Check(folder, &report);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (const auto& c : cases) {
        const std::string label = c.label;  // a Windows name holds no backslash, no character below 0x20
        if (kSeparator == '\\' && (label == "climbing-name" || label == "control-c0")) continue;
        const fs::path folder = MakeFolder(c.label, c.files) / c.checked, less = MakeFolder(label + "-less", c.less);
        CheckResult result, lessResult;
        std::string report, lessReport;
        // One check each, in turn; when a check is quick, the quickest of five each.
        double seconds = 1e30, lessSeconds = 1e30;
        for (int round = 0; round < (seconds < 0.1 ? 5 : 1); ++round) {
            seconds = std::min(seconds, timed(folder, result, report));
            lessSeconds = std::min(lessSeconds, timed(less, lessResult, lessReport));
        }
        std::printf("  %-16s %7.4f s, %7.4f s with less\n", c.label, seconds, lessSeconds);
        EXPECT_EQ(result.status, c.status) << c.label;
        EXPECT_LT(seconds, 32 * lessSeconds) << c.label;
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
    ASSERT_NE(morvane::CarProfiles().FindByName("SUPRA"), nullptr);
    EXPECT_FALSE(morvane::CarProfiles().FindByName("SUPRA")->popUpHeadLights);
    EXPECT_TRUE(morvane::GlobalSettings()->perCar.popUpHeadLights);
}

// A spelling hint reaches as far as a third of the name's letters (at least two), letter
// case aside: at that distance and not one past it.
TEST(MorvaneCheck, SpellingHintsReachAThirdOfTheName) {
    const std::vector<std::string> known = {"Neon", "FixWheelMirror", "Tires"};
    const std::pair<const char*, const char*> rows[] = {
        {"NEON", "Neon"}, {"Nexx", "Neon"}, {"Nxxx", ""},                 // four letters: two
        {"F1x1h1e1Mirror", "FixWheelMirror"}, {"F1x1h1e1M1rror", ""},     // fourteen: four
        {"FixWheelMirrorXXXXXXX", "FixWheelMirror"}, {"FixWheelMirrorXXXXXXXX", ""},  // 21 letters: 7
        {"Tyres", "Tires"}, {"", ""},
    };
    for (const auto& [name, nearest] : rows) EXPECT_EQ(NearestSpelling(name, known), nearest) << name;
}

TEST(MorvaneCheck, HashIsTheGames) {
    EXPECT_EQ(GameStringHash(""), 0xFFFFFFFFu);
    EXPECT_EQ(GameStringHash("A"), 0xFFFFFFFFu * 33u + 'A');
    EXPECT_EQ(GameStringHash("\xC3"), 0xFFFFFFFFu * 33u + 0xC3u);  // bytes count unsigned
}

}  // namespace
