#pragma once
// An INI file beside the plug-in, read whole at construction; never written, never fails:
// a missing or unreadable file simply has no sections.
#include <cstdint>
#include <string>
#include <vector>

#include "config/IniReader.h"

namespace morvane {

// The full path of the plug-in's own module (the file this code was loaded from).
std::string PluginModulePath();

// A file larger than this is no settings file: it is read as an unreadable one.
constexpr int64_t kMaxSettingsFileSize = 64 * 1024 * 1024;

// The whole file as stored, or nothing when it cannot be opened or read or is larger
// than kMaxSettingsFileSize. Other processes may read and write it meanwhile. A full
// path is opened by its exact last name (a final dot or space is kept).
std::string ReadWholeFile(const std::string& path);

// A file name in the given code page, or false when it has no exact form there.
bool NarrowName(const wchar_t* wide, unsigned codePage, std::string& narrow);
// A name in the given code page as UTF-16 (empty when it cannot be converted).
std::wstring WideName(const std::string& narrow, unsigned codePage);

// The names of a directory's entries (files and sub-directories, without "." and ".."),
// in listing order, in the narrow code page; a name that has no exact narrow form is left
// out. `directory` is a full narrow path. An unreadable or missing directory has none.
std::vector<std::string> ListDirectory(const std::string& directory);

struct IniFile : IniReader {
    std::string path;

    // `name` is resolved against the plug-in's own directory (see ResolveIniPath).
    explicit IniFile(const std::string& name);
};

}  // namespace morvane
