#pragma once
// The file layer: the plug-in's and the game's paths, files read whole, folders listed,
// paths looked up, and IniFile, a settings file beside the plug-in, read whole at
// construction; never written, never fails: a missing or unreadable file simply has no
// sections. Paths are UTF-8 text throughout, whatever the system's code page; on Windows
// they are handed to the system as UTF-16 (Files.cpp; FilesPortable.cpp elsewhere).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigHost.h"
#include "config/IniReader.h"

namespace morvane {

// The full path of the module this code was loaded from (the plug-in, or the program
// that links this code), however long.
std::string PluginModulePath();
// The full path of the process's program (Windows), however long.
std::string ExecutablePath();

// What of a settings file is read: real ones take a few KB, and a file larger than this
// is no settings file. What lies past it is left out.
constexpr size_t kMaxSettingsFileSize = 1 << 20;

// The file as stored, up to kMaxSettingsFileSize bytes and one more when it is longer;
// nothing when it cannot be opened or read. Other processes may read and write it
// meanwhile. A full path is opened by its exact last name (a final dot or space is kept).
std::string ReadWholeFile(const std::string& path);

// True when `path` names an existing file or folder.
bool PathExists(const std::string& path);
// Two names of one file: Windows compares names without regard to the letter case of
// ASCII letters.
inline bool SameFileName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A full path as the file system must take it, in UTF-16: "\\?\" before a drive path
// keeps every character of the last name, where the plain form would drop a final dot or
// space, and lets the path be longer than 260 characters.
std::wstring ExactPath(const std::string& path);

// A file name in the given code page, or false when it has no exact form there.
bool NarrowName(const wchar_t* wide, unsigned codePage, std::string& narrow);
// A name in the given code page as UTF-16 (empty when it cannot be converted).
std::wstring WideName(const std::string& narrow, unsigned codePage);
// UTF-16 text as UTF-8; a lone surrogate, which has no UTF-8 form, becomes U+FFFD.
std::string Utf8(std::wstring_view wide);

// The names of a directory's entries (files and sub-directories, without "." and ".."),
// in listing order, in UTF-8, the first `limit` of them; a name that has no exact UTF-8
// form is left out. `directory` is a full path. An unreadable or missing directory has
// none.
std::vector<std::string> ListDirectory(const std::string& directory, size_t limit = SIZE_MAX);
// The same, of its files only: sub-directories are left out.
std::vector<std::string> ListFiles(const std::string& directory, size_t limit = SIZE_MAX);

// What a full path names, as the file system tells it.
struct PathFacts {
    bool exists = false;
    bool directory = false;
    bool listable = false;  // a directory whose entries can be listed
    uint64_t size = 0;      // a file's
};
PathFacts LookUpPath(const std::string& path);

// The sections of a settings file's content as ReadWholeFile gives it: UTF-16 taken as
// UTF-8, a CR LF pair read as one LF; of a file longer than kMaxSettingsFileSize, the
// whole lines within it. `observer`, if any, hears about every line.
inline IniSections ParseSettingsContent(std::string_view content, IniLineObserver* observer = nullptr) {
    if (content.empty()) return {};
    const std::string text = TextModeContent(DecodeSettingsText(content.substr(0, kMaxSettingsFileSize)));
    return ParseIni(content.size() > kMaxSettingsFileSize ? WholeLines(text) : text, observer);
}

// What is told of a file longer than kMaxSettingsFileSize.
inline std::string FileCutShort() {
    const std::string most = std::to_string(kMaxSettingsFileSize >> 20) + " MB";
    return "only its first " + most + " is read, the rest is left out (a settings file is read up to " + most + ")";
}

struct IniFile : IniReader {
    std::string path;
    size_t bytesRead = 0;  // at most kMaxSettingsFileSize

    // `name` is resolved against the settings module's directory (see ResolveIniPath).
    // A file that cannot be read has no sections.
    explicit IniFile(const std::string& name) : path(ResolveIniPath(configHost.modulePath(), name)) {
        IniLineObserver* observer = configHost.lineObserver(path);
        const std::string content = ReadWholeFile(path);
        if (configHost.fileRead != nullptr) configHost.fileRead(path, content);
        bytesRead = std::min(content.size(), kMaxSettingsFileSize);
        if (content.size() > bytesRead && configHost.leftOut != nullptr) configHost.leftOut(path, FileCutShort());
        sections = ParseSettingsContent(content, observer);
    }
};

}  // namespace morvane
