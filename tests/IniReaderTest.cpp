// The INI reader's edge cases, as tables of file text and the value read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "config/IniReader.h"

using morvane::IniReader;
using morvane::ParseIni;
using morvane::ResolveIniPath;
using morvane::TextModeContent;

namespace {

IniReader Read(const std::string& text) { return IniReader{ParseIni(TextModeContent(text))}; }

const char* const kMissing = "<missing>";

std::string Stored(const IniReader& ini, const char* section, const char* key) {
    const auto s = ini.sections.find(section);
    if (s == ini.sections.end()) return kMissing;
    const auto k = s->second.find(key);
    return k == s->second.end() ? kMissing : k->second;
}

struct StoredCase {
    const char* text;
    const char* section;
    const char* key;
    const char* stored;
};

TEST(IniParse, StoresWhatEachLineSays) {
    const StoredCase cases[] = {
        {"[S]\nkey = value ; note", "S", "key", "value"},
        {"[S]\nkey = a // b // c", "S", "key", "a // b"},
        {"[S]\nkey = a//b", "S", "key", "a//b"},
        {"[S]\nkey = x;y", "S", "key", "x"},
        {"[S]\nkey = \"x;y\"", "S", "key", "\"x"},
        {"[S]\n//old note", "S", "//old note", ""},  // no blank before the slashes: a key
        {"[S]\n  //key = 1", "S", "//key", kMissing},   // indented: a comment
        {"[S]\na=b=c", "S", "a", "b=c"},
        {"[S]\nlonely", "S", "lonely", ""},
        {"[S]\n[GENERAL] x", "S", "[GENERAL] x", ""},
        {"  [ GENERAL ]  \nk=1", "GENERAL", "k", "1"},
        {"[general]\nk=1", "GENERAL", "k", kMissing},
        {"[general]\nk=1", "general", "k", "1"},
        {"[S]\nk=1\nk=2", "S", "k", "1"},
        {"[S]\nk=1\n[T]\n[S]\nk=2\nj=3", "S", "k", "1"},
        {"[S]\nk=1\n[T]\n[S]\nk=2\nj=3", "S", "j", "3"},
        {"k=1\n[S]", "", "k", "1"},
        {"k=1\n[S]", "S", "k", kMissing},
        {"[]\nk=1", "", "k", "1"},
        {"\xEF\xBB\xBF[S]\nk=1", "S", "k", "1"},
        {"[S]\r\nk = 1\r\nj = 2\r\n", "S", "j", "2"},
        {"[S]\nk =   spaced value  ", "S", "k", "spaced value"},
        {"[S]\nk\t=\tv", "S", "k", "v"},
        {"[S]\nk = caf\xC3\xA9", "S", "k", "caf\xC3\xA9"},  // high bytes are not whitespace
        {"[S]\nk = \xA0", "S", "k", "\xA0"},
        {"[S]\n\x0Bk\x0C=\x0D v \x0B", "S", "k", "v"},  // every ASCII blank trims
        {"[S]\nk = \x08v\x0E", "S", "k", "\x08v\x0E"},    // the bytes either side of them do not
    };
    for (const StoredCase& c : cases) {
        EXPECT_EQ(Stored(Read(c.text), c.section, c.key), c.stored) << "text: " << c.text;
    }
}

TEST(IniParse, TrimRemovesByteOrderMarksWhateverTheSides) {
    std::string text = "\xEF\xBB\xBF\xEF\xBB\xBF  x  ";
    morvane::TrimText(text, false, false);
    EXPECT_EQ(text, "  x  ");
    morvane::TrimText(text, false, true);
    EXPECT_EQ(text, "  x");
}

struct IntCase {
    const char* value;  // null: key absent
    int32_t fallback;
    int32_t expected;
};

TEST(IniRead, IntegersConvertOrFallBack) {
    const IntCase cases[] = {
        {"0x1A", 7, 26},         {"0X1a", 7, 26},
        {"-5", 7, -5},           {"+5", 7, 5},
        {"abc", 7, 7},           {"", 7, 7},
        {"\"5\"", 7, 7},         {"12abc", 7, 12},
        {"22.5", 7, 22},         {"12345678901", 7, 7},
        {"2147483647", 7, 2147483647},
        {"-2147483648", 7, INT32_MIN},
        {"2147483648", 7, 7},    {"0xFFFFFFFF", 7, 7},
        {"0x7FFFFFFF", 7, 0x7FFFFFFF},
        {"-0x10", 7, 0},         // base 10 unless the text itself begins with 0x
        {"0x", 7, 7},
        {nullptr, -3, -3},
    };
    for (const IntCase& c : cases) {
        const IniReader ini = c.value ? Read(std::string("[S]\nk=") + c.value) : Read("[S]");
        EXPECT_EQ(ini.ReadInt("S", "k", c.fallback), c.expected) << "value: " << (c.value ? c.value : "(absent)");
    }
}

TEST(IniRead, SwitchesAreOnOnlyForOne) {
    const struct {
        const char* value;
        bool expected;
    } cases[] = {{"1", true},      {"01", true},  {"0x1", true}, {"1 apples", true},
                 {"true", false},  {"2", false},  {"yes", false}, {"0", false},
                 {nullptr, false}};
    for (const auto& c : cases) {
        const IniReader ini = c.value ? Read(std::string("[S]\nk=") + c.value) : Read("[S]");
        EXPECT_EQ(ini.ReadBool("S", "k"), c.expected) << "value: " << (c.value ? c.value : "(absent)");
    }
}

TEST(IniRead, TriStatesReserveMinusOneForNotSet) {
    const struct {
        const char* value;
        int32_t expected;
    } cases[] = {{"5", -1}, {"2", -1}, {"0", 0}, {"1", 1}, {"-1", -1}, {"-2", -1}, {"yes", -1}, {nullptr, -1}};
    for (const auto& c : cases) {
        const IniReader ini = c.value ? Read(std::string("[S]\nk=") + c.value) : Read("[S]");
        EXPECT_EQ(ini.ReadTriState("S", "k"), c.expected) << "value: " << (c.value ? c.value : "(absent)");
    }
}

TEST(IniRead, TextsLoseOneQuoteAtEachEnd) {
    const struct {
        const char* value;
        const char* expected;
    } cases[] = {
        {"'abc'", "abc"},   {"\"abc\"", "abc"}, {"\"abc'", "abc"}, {"'abc", "abc"},
        {"abc\"", "abc"},   {"\"", "dflt"},     {"'", "dflt"},     {"''", ""},
        {"\"\"", ""},       {"", "dflt"},       {"a \"b\" c", "a \"b\" c"},
        {nullptr, "dflt"},
    };
    for (const auto& c : cases) {
        const IniReader ini = c.value ? Read(std::string("[S]\nk=") + c.value) : Read("[S]");
        EXPECT_EQ(ini.ReadText("S", "k", "dflt"), c.expected) << "value: " << (c.value ? c.value : "(absent)");
    }
    // The longest text is read whole, quotes aside; a longer one is cut to it.
    const std::string longest(morvane::kMaxTextLength, 'x');
    EXPECT_EQ(Read("[S]\nk='" + longest + "'").ReadText("S", "k", ""), longest);
    EXPECT_EQ(Read("[S]\nk=" + longest + std::string(1000, 'y')).ReadText("S", "k", ""), longest);
}

TEST(IniRead, MissingSectionOrEmptyFileGivesDefaults) {
    const IniReader empty = Read("");
    EXPECT_TRUE(empty.sections.empty());
    EXPECT_EQ(empty.ReadInt("GENERAL", "k", 4), 4);
    EXPECT_EQ(empty.ReadText("GENERAL", "k", "d"), "d");
    EXPECT_EQ(Read("[S]\nk=1").ReadInt("T", "k", 9), 9);
}

TEST(IniPath, NamesResolveAgainstThePluginModule) {
    const struct {
        const char* module;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\Game\\scripts\\Morvane.asi", "C:\\cfg\\x.ini", "C:\\cfg\\x.ini"},
        {"C:\\Game\\scripts\\Morvane.asi", "", "C:\\Game\\scripts\\Morvane.ini"},
        {"C:\\Game\\Morvane", "", "C:\\Game\\Morvane.ini"},
        {"C:\\Game\\scripts\\Morvane.asi", "a.ini", "C:\\Game\\scripts\\a.ini"},
        {"C:\\Game\\Morvane.asi", "MorvaneCars\\BRERA", "C:\\Game\\MorvaneCars\\BRERA"},
        {"C:/Game/Morvane.asi", "a.ini", "a.ini"},  // only the backslash separates
        {"Morvane.asi", "a.ini", "a.ini"},
        {"C:\\Game\\Morvane.asi", "cfg\\a:b.ini", "cfg\\a:b.ini"},  // a colon anywhere: as it is
        {"C:\\Game.v2\\Morvane.x.asi", "", "C:\\Game.v2\\Morvane.x.ini"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveIniPath(c.module, c.name), c.expected) << c.name;
}

TEST(IniText, Utf16FilesWithAMarkReadAsText) {
    using namespace std::string_literals;
    const struct {
        std::string bytes, text;
    } cases[] = {
        {"\xFF\xFE[\0S\0]\0\n\0k\0=\0\x31\0"s, "[S]\nk=1"},               // little-endian
        {"\xFE\xFF\0[\0S\0]\0\n\0k\0=\0\x31"s, "[S]\nk=1"},               // big-endian
        {"\xFF\xFE\xE9\0\x3D\xD8\x97\xDE"s, "\xC3\xA9\xF0\x9F\x9A\x97"},  // two and four UTF-8 bytes
        {"\xFF\xFE\x00\xD8k\0"s, "\xEF\xBF\xBDk"},                          // a lone surrogate
        {"\xFF\xFEk\0="s, "k"},                                             // an odd last byte
        {"k=\xFF\xFE"s, "k=\xFF\xFE"},                                       // no mark: as it is
    };
    for (const auto& c : cases) EXPECT_EQ(morvane::DecodeSettingsText(c.bytes), c.text);
}

// 2 MB of byte order marks before a line are trimmed in about the time as many spaces are
// (trimmed mark by mark from the front, they take thousands of times as long).
TEST(IniText, ByteOrderMarksTrimInLinearTime) {
    std::string marks;
    for (int i = 0; i < 700000; ++i) marks += "\xEF\xBB\xBF";
    const std::string lines[] = {marks + "k=1", std::string(marks.size(), ' ') + "k=1"};
    double ms[2] = {1e30, 1e30};  // the quickest of five parsings of each, in turn
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 2; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const auto sections = morvane::ParseIni(lines[i]);
            ms[i] = std::min(ms[i], std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            EXPECT_EQ(sections.at("").at("k"), "1");
        }
    }
    EXPECT_LT(ms[0], 10 * ms[1]) << ms[0] << " ms, as many spaces " << ms[1] << " ms";
}

}  // namespace
