// Reading INI files beside the plug-in's own module (here: the test executable).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "TestFolders.h"
#include "config/Files.h"

using morvane::IniFile;
using testfolders::ExeDirectory;
using testfolders::GameFolder;

namespace {

std::string RelativeToExe(const std::string& full) { return full.substr(ExeDirectory().size()); }

TEST(IniFile, NamesResolveBesideTheModuleWhateverTheWorkingDirectory) {
    GameFolder folder("inifile-relative");
    folder.Write("a.ini", "[S]\nk = 5\n");
    GameFolder elsewhere("inifile-cwd");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.path().c_str()));

    const IniFile relative(RelativeToExe(folder.path()) + "a.ini");
    EXPECT_EQ(relative.path, folder.path() + "a.ini");
    EXPECT_EQ(relative.ReadInt("S", "k", 0), 5);

    const IniFile absolute(folder.path() + "a.ini");  // holds a drive colon: used as it is
    EXPECT_EQ(absolute.path, folder.path() + "a.ini");
    EXPECT_EQ(absolute.ReadInt("S", "k", 0), 5);

    SetCurrentDirectoryA(previous);
}

TEST(IniFile, TheEmptyNameIsTheModulesOwnSettingsFile) {
    char module[MAX_PATH];
    const std::string exe(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    const IniFile own("");
    EXPECT_EQ(own.path, exe.substr(0, exe.rfind('.')) + ".ini");
}

TEST(IniFile, ReadsTextModeContentWithAMark) {
    GameFolder folder("inifile-crlf");
    folder.Write("x.ini", "\xEF\xBB\xBF[GENERAL]\r\nExhaustFX = 1\r\nName = 'a b'\r\n");
    const IniFile file(folder.path() + "x.ini");
    EXPECT_EQ(file.ReadInt("GENERAL", "ExhaustFX", 0), 1);
    EXPECT_EQ(file.ReadText("GENERAL", "Name", ""), "a b");
}

TEST(IniFile, ReadsAFileAnotherProgramHasOpenForWriting) {
    GameFolder folder("inifile-shared");
    folder.Write("x.ini", "[S]\nk = 3\n");
    HANDLE writer = CreateFileA((folder.path() + "x.ini").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const IniFile file(folder.path() + "x.ini");
    EXPECT_EQ(file.ReadInt("S", "k", 0), 3);
    CloseHandle(writer);
}

// So does a file there is no memory to take in.
TEST(IniFile, MissingFilesAndDirectoriesReadAsEmpty) {
    GameFolder folder("inifile-missing");
    folder.MakeDirectory("sub");
    folder.Write("big.ini", "[S]\nk = 3\n" + std::string(100000, ';'));
    for (const char* name : {"absent.ini", "sub", "big.ini"}) {
        testfolders::RefuseAllocationOf(std::string(name) == "big.ini" ? 100011 : 0);  // its text
        const IniFile file(folder.path() + name);
        EXPECT_TRUE(file.sections.empty()) << name;
        EXPECT_EQ(file.ReadInt("S", "k", 42), 42);
    }
}

TEST(IniFile, ReadsUtf16AsSavedByWindowsEditors) {
    GameFolder folder("inifile-utf16");
    const std::string text = "[GENERAL]\r\nExhaustFX = 1\r\n";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (char c : text) {
        little += {c, '\0'};
        big += {'\0', c};
    }
    folder.Write("le.ini", little);
    folder.Write("be.ini", big);
    for (const char* name : {"le.ini", "be.ini"}) {
        EXPECT_EQ(IniFile(folder.path() + name).ReadInt("GENERAL", "ExhaustFX", 0), 1) << name;
    }
}

// Names convert in the ANSI code page of the machine, including UTF-8 (65001), which
// refuses the flags the others take.
TEST(IniFile, NamesConvertInEveryCodePage) {
    const struct {
        const wchar_t* wide;
        unsigned codePage;
        const char* narrow;  // null: no exact form
    } cases[] = {
        {L"BRERA", 1252, "BRERA"},           {L"BRERA", CP_UTF8, "BRERA"},
        {L"CAF\u00C9", 1252, "CAF\xC9"},     {L"CAF\u00C9", CP_UTF8, "CAF\xC3\x89"},
        {L"\u8ECA", 1252, nullptr},          {L"\u8ECA", CP_UTF8, "\xE8\xBB\x8A"},
        {L"X\xD800", CP_UTF8, nullptr},      // a lone surrogate has no UTF-8 form
    };
    for (const auto& c : cases) {
        std::string narrow;
        const bool converted = morvane::NarrowName(c.wide, c.codePage, narrow);
        ASSERT_EQ(converted, c.narrow != nullptr) << c.codePage << " " << c.narrow;
        if (!converted) continue;
        EXPECT_EQ(narrow, c.narrow);
        EXPECT_EQ(morvane::WideName(narrow, c.codePage), c.wide) << c.narrow;
    }
}

// A drive path takes the long form unless a name is "." or "..": a folder whose name
// begins with a dot is a name like any other. Other paths stay as written.
TEST(IniFile, ExactPathIsTheLongFormOfADrivePath) {
    const std::pair<const char*, bool> rows[] = {
        {"C:\\.games\\Kavra\\MorvaneCars\\BRERA.", true}, {"D:\\Kavra\\.mods\\", true},
        {"E:\\Kavra\\..saved\\Morvane.ini", true}, {"C:\\Kavra\\..\\Morvane.ini", false},
        {"C:\\Kavra\\.\\Morvane.ini", false}, {"C:/Kavra/Morvane.ini", false}, {"C:\\", false},
        {"\\\\server\\games\\Kavra\\Morvane.ini", false}, {"Kavra\\Morvane.ini", false},
    };
    for (const auto& [path, longForm] : rows) {
        EXPECT_EQ(morvane::ExactPath(path), (longForm ? L"\\\\?\\" : L"") + morvane::WideName(path, CP_UTF8)) << path;
    }
}

// A name the listing gives with a final dot or space is opened as it is, not as the name
// without it.
TEST(IniFile, OpensTheExactNameTheListingGave) {
    GameFolder folder("inifile-exact");
    folder.Write("BRERA", "[S]\nk = 1\n");
    for (const wchar_t* name : {L"BRERA.", L"BRERA "}) folder.WriteExact(name, "[S]\nk = 2\n");
    const auto names = morvane::ListDirectory(folder.path().substr(0, folder.path().size() - 1));
    for (const char* name : {"BRERA.", "BRERA "}) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        EXPECT_EQ(IniFile(folder.path() + name).ReadInt("S", "k", 0), 2) << "'" << name << "'";
    }
    EXPECT_EQ(IniFile(folder.path() + "BRERA").ReadInt("S", "k", 0), 1);
}

}  // namespace
