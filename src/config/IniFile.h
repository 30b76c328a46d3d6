#pragma once
// An INI file beside the plug-in, read whole at construction; never written, never fails:
// a missing or unreadable file simply has no sections.
#include <string>
#include <vector>

#include "config/IniReader.h"

namespace morvane {

// The full path of the plug-in's own module (the file this code was loaded from).
std::string PluginModulePath();

// The whole file as stored, or nothing when it cannot be opened or read. Other
// processes may read and write it meanwhile.
std::string ReadWholeFile(const std::string& path);

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
