#pragma once
// An INI file beside the plug-in, read whole at construction; never written, never fails:
// a missing or unreadable file simply has no sections.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ConfigHost.h"
#include "config/IniReader.h"

namespace morvane {

// The full path of the module this code was loaded from (the plug-in, or the program
// that links this code).
std::string PluginModulePath();

// A file larger than this is no settings file: it is read as an unreadable one.
constexpr int64_t kMaxSettingsFileSize = 64 * 1024 * 1024;

// The whole file as stored, or nothing when it cannot be opened or read or is larger
// than kMaxSettingsFileSize. Other processes may read and write it meanwhile. A full
// path is opened by its exact last name (a final dot or space is kept).
std::string ReadWholeFile(const std::string& path);

// True when `path` names an existing file or folder.
bool PathExists(const std::string& path);

// A full path as the file system must take it: "\\?\" before a drive path keeps every
// character of the last name, where the plain form would drop a final dot or space.
std::wstring ExactPath(const std::string& path);

// A file name in the given code page, or false when it has no exact form there.
bool NarrowName(const wchar_t* wide, unsigned codePage, std::string& narrow);
// A name in the given code page as UTF-16 (empty when it cannot be converted).
std::wstring WideName(const std::string& narrow, unsigned codePage);

// The names of a directory's entries (files and sub-directories, without "." and ".."),
// in listing order, in the narrow code page; a name that has no exact narrow form is left
// out. `directory` is a full narrow path. An unreadable or missing directory has none.
std::vector<std::string> ListDirectory(const std::string& directory);

// The sections of a settings file's whole content: UTF-16 taken as UTF-8, a CR LF pair
// read as one LF. `observer`, if any, hears about every line.
inline IniSections ParseSettingsContent(const std::string& content, IniLineObserver* observer = nullptr) {
    if (content.empty()) return {};
    return ParseIni(TextModeContent(DecodeSettingsText(content)), observer);
}

struct IniFile : IniReader {
    std::string path;

    // `name` is resolved against the settings module's directory (see ResolveIniPath).
    // A file that cannot be read has no sections.
    explicit IniFile(const std::string& name) : path(ResolveIniPath(configHost.modulePath(), name)) {
        IniLineObserver* observer = configHost.lineObserver(path);
        const std::string content = ReadWholeFile(path);
        if (configHost.fileRead != nullptr) configHost.fileRead(path, content);
        sections = ParseSettingsContent(content, observer);
    }
};

}  // namespace morvane
