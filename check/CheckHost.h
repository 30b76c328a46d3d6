#pragma once
// The settings checker's side of the configuration code's host binding: the game's name
// hash computed here, car base names from a list the checker sets, settings read from
// the folder it is told, and the lines of each file read handed to the checker.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvane {
class IniLineObserver;
}

namespace morvane::check {

// The game's name hash: h = h * 33 + byte, from 0xFFFFFFFF (the empty text's hash).
uint32_t GameStringHash(const char* text);

// The game folder, and the folder whose settings the configuration code reads (as if the
// plug-in lay there): the game folder itself, or a loader's folder in it.
void SetSettingsFolder(const std::string& gameFolder, const std::string& pluginFolder);
// A resolved settings path relative to the game folder, with this system's separator.
std::string RelativeToSettingsFolder(const std::string& path);
// Who hears the lines of each settings file the configuration code reads.
void SetLineObserver(std::function<IniLineObserver*(const std::string& path)> observer);
// Who hears what the configuration code leaves out over a limit (see ConfigHost).
void SetLeftOutObserver(std::function<void(const std::string& where, const std::string& what)> observer);
// Car type n is the n-th of these names; any other type is a car the game does not know.
void SetCarTypeNames(std::vector<std::string> names);
// The last steering angle the global settings handed over.
float SteeringAngleHandedOver();

// The directory separator of this build, and a path in the plug-in's form ('\' between
// folders) as this system writes it.
extern const char kSeparator;
std::string SystemPath(std::string path);

}  // namespace morvane::check
