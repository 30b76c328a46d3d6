#pragma once
// An INI file beside the plug-in, read whole at construction; never written, never fails:
// a missing or unreadable file simply has no sections.
#include <string>

#include "config/IniReader.h"

namespace morvane {

// The full path of the plug-in's own module (the file this code was loaded from).
std::string PluginModulePath();

struct IniFile : IniReader {
    std::string path;

    // `name` is resolved against the plug-in's own directory (see ResolveIniPath).
    explicit IniFile(const std::string& name);
};

}  // namespace morvane
