// The settings shipped to players: every key they document must be one the plug-in
// reads, so that the samples and the code cannot drift apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "Sim.h"
#include "TestFolders.h"
#include "config/Files.h"
#include "config/Profiles.h"
#include "config/Settings.h"

using namespace morvane;
using testfolders::ExeDirectory;
using testfolders::GameFolder;

namespace {

std::string ShippedDirectory() { return ExeDirectory() + "dist\\"; }

// A value that must read differently from `value`.
std::string OtherValue(const std::string& value) {
    if (value.empty()) return "1";
    return value == "1" ? "0" : value + "1";
}

// For every key of `text`: a file that sets that key to another value first (the first
// occurrence wins) must load into another record than `text` itself.
template <typename Load>
void ExpectEveryKeyIsRead(const std::string& label, const std::string& text, Load load) {
    const auto baseline = load(text);
    const IniReader parsed{ParseIni(TextModeContent(text))};
    int keys = 0;
    for (const auto& [section, pairs] : parsed.sections) {
        for (const auto& [key, value] : pairs) {
            ++keys;
            const std::string changed = "[" + section + "]\n" + key + " = " + OtherValue(value) + "\n" + text;
            EXPECT_FALSE(load(changed) == baseline) << label << ": [" << section << "] " << key << " is not read";
        }
    }
    EXPECT_GT(keys, 0) << label;
}

class SampleSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetCarProfiles();
    }
};

TEST_F(SampleSettingsTest, EveryKeyOfMorvaneIniIsRead) {
    const std::string text = ReadWholeFile(ShippedDirectory() + "Morvane.ini");
    ASSERT_FALSE(text.empty());
    const IniReader parsed{ParseIni(TextModeContent(text))};
    std::set<std::string> known = {"GENERAL", "MODS"};
    for (const PartSlotRow& row : PartSlotTable()) known.insert(row.section);
    std::set<std::string> documented;
    for (const auto& entry : parsed.sections) documented.insert(entry.first);
    EXPECT_EQ(documented, known) << "the sample documents every section the plug-in reads, and no other";
    // Every switch of the switch tables is set there, under a comment that tells it.
    std::vector<std::pair<std::string, std::string>> switches;  // section, key
    for (const GlobalSwitchKey& entry : kGlobalSwitches) switches.emplace_back(entry.section, entry.key);
    for (const ProfileSwitchKey& entry : kProfileSwitches) switches.emplace_back(kGeneralSection, entry.key);
    for (const GlobalOnlyKey& entry : GlobalOnlyKeys()) switches.emplace_back(kGeneralSection, entry.key);
    for (const auto& [section, key] : switches) {
        const auto& pairs = parsed.sections.at(section);
        EXPECT_TRUE(std::any_of(pairs.begin(), pairs.end(), [&](const auto& pair) { return pair.first == key; }))
            << "[" << section << "] " << key << " is not in the shipped Morvane.ini";
        const size_t at = text.find("\n" + key + " = ");
        const size_t comment = at == std::string::npos ? at : text.rfind('\n', at - 1);
        EXPECT_TRUE(comment != std::string::npos && text.compare(comment + 1, 1, ";") == 0) << key << " has no comment";
    }

    GameFolder folder("sample");
    ExpectEveryKeyIsRead("Morvane.ini", text, [&](const std::string& content) {
        folder.Write("Morvane.ini", content);
        LoadGlobalSettings(folder.path() + "Morvane.ini");
        return *GlobalSettings();
    });
}

// The shipped texts tell the reading limits the code has, as a player reads them (lines
// joined, comment marks dropped).
TEST_F(SampleSettingsTest, ShippedTextsTellTheReadingLimits) {
    const std::string file = std::to_string(kMaxSettingsFileSize >> 20) + " MB", entries = std::to_string(kMaxProfiles),
                      text = std::to_string(kMaxProfileText >> 20) + " MB";
    const struct {
        const char* name;
        std::string says;
    } rows[] = {
        {"Morvane.ini", "read up to " + file + ", and MorvaneCars up to its first " + entries + " files and " + text},
        {"README.txt", "larger than " + file + ", or more than " + entries + " files or " + text + " of text"},
    };
    for (const auto& row : rows) {
        std::string flowing;
        for (const char c : ReadWholeFile(ShippedDirectory() + row.name)) {
            if (c == '\r' || c == ';') continue;
            const char shown = c == '\n' ? ' ' : c;
            if (shown != ' ' || !flowing.ends_with(' ')) flowing += shown;
        }
        EXPECT_NE(flowing.find(row.says), std::string::npos) << row.name << " does not say: " << row.says;
    }
}

TEST_F(SampleSettingsTest, ExampleProfilesAreForCarsThatAreNotBuiltIn) {
    LoadGlobalSettings(ShippedDirectory() + "Morvane.ini");
    LoadCarProfiles(ShippedDirectory() + "MorvaneCars");
    const size_t shipped = CarProfiles().size();
    ASSERT_GE(shipped, 1u);
    std::vector<std::string> names;
    for (const CarProfile& p : CarProfiles()) names.push_back(p.name);
    AddBuiltInProfiles();
    EXPECT_EQ(CarProfiles().size(), shipped + std::size(kBuiltInProfiles)) << "no example replaces a built-in car";

    GameFolder folder("sample-profile");
    for (const std::string& name : names) {
        EXPECT_EQ(name.find('.'), std::string::npos) << name << ": a profile is named without extension";
        const std::string text = ReadWholeFile(ShippedDirectory() + "MorvaneCars\\" + name);
        const IniReader parsed{ParseIni(TextModeContent(text))};
        EXPECT_EQ(parsed.sections.count("MODS"), 0u) << name << ": [MODS] is read from Morvane.ini only";
        ExpectEveryKeyIsRead(name, text, [&](const std::string& content) {
            folder.Write("profile", content);
            CarProfile profile;
            ReadCarProfile(IniFile(folder.path() + "profile"), profile);
            return profile;
        });
    }
}

}  // namespace
