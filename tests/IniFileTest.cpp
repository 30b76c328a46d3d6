// Reading INI files beside the plug-in's own module (here: the test executable).
#include <gtest/gtest.h>

#include <windows.h>

#include "TestFolders.h"
#include "config/IniFile.h"

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

TEST(IniFile, MissingFilesAndDirectoriesReadAsEmpty) {
    GameFolder folder("inifile-missing");
    folder.MakeDirectory("sub");
    for (const char* name : {"absent.ini", "sub"}) {
        const IniFile file(folder.path() + name);
        EXPECT_TRUE(file.sections.empty()) << name;
        EXPECT_EQ(file.ReadInt("S", "k", 42), 42);
    }
}

}  // namespace
