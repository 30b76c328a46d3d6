#pragma once
// Where the configuration code meets the program it runs in: the game's name hash and
// car base names, the steering angle handed to the game, the path of the module beside
// which the settings files lie, and who hears about each file read and its lines. The
// plug-in binds these to the game and its log (ConfigHostGame.cpp); a program that reads the same files outside the game, such as
// the settings checker, links a binding of its own. Bound once, at link time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/GameIds.h"

namespace morvane {

class IniLineObserver;

struct ConfigHost {
    // The game's name hash; the empty text hashes to kNoName.
    uint32_t (*stringHash)(const char* text);
    // The base name of a car type, or null for a type the game does not know.
    const char* (*carTypeName)(int32_t carType);
    // Receives the front steering angle read from the global settings.
    void (*setSteeringAngle)(float angle);
    // Full path of the module whose folder holds the settings (see ResolveIniPath).
    std::string (*modulePath)();
    // The game's folder, with a trailing backslash.
    std::string (*gameFolder)();
    // Told about every line of the settings file at `path` as it is read; null: no one.
    IniLineObserver* (*lineObserver)(const std::string& path);
    // Told about every settings file once it is read (`content` empty: nothing could be
    // read); null: no one.
    void (*fileRead)(const std::string& path, const std::string& content);
    // Told of what a reading leaves out over a limit: the file or folder (a full path),
    // and what of it; null: no one.
    void (*leftOut)(const std::string& where, const std::string& what);
};

extern const ConfigHost configHost;

// In the plug-in: who hears about each settings file read (start-up's journal unless set
// otherwise), and why a file gave nothing ("missing", "unreadable", ...).
using SettingsFileListener = void (*)(const std::string& path, const std::string& content);
void SetSettingsFileListener(SettingsFileListener listener);
const char* WhyNothingRead(const std::string& path);
// In the plug-in: the settings files start-up read that had content.
std::vector<std::string> SettingsFilesReadWithContent();

// In the plug-in, once: the count of the lines of the settings read so far that do not
// take effect as written, with the words of the first ones in `told` ("Morvane.ini:12:
// unknown key Nen in [MODS]: it is not read"), as MorvaneCheck tells them.
size_t SettingsLinesNotAsWritten(std::vector<std::string>& told);

using host::kNoName;

}  // namespace morvane
