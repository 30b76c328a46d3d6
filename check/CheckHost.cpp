#include "CheckHost.h"

#include <algorithm>

#include "config/ConfigHost.h"

namespace morvane::check {

namespace {

std::string gameFolder;    // ends in '\'
std::string pluginFolder;  // ends in '\'
std::function<IniLineObserver*(const std::string&)> lineObserver;
std::function<void(const std::string&, const std::string&)> leftOutObserver;
std::vector<std::string> carTypeNames;
float steeringAngle = 0.0f;

const char* CarTypeName(int32_t carType) {
    if (carType < 0 || static_cast<size_t>(carType) >= carTypeNames.size()) return nullptr;
    return carTypeNames[static_cast<size_t>(carType)].c_str();
}

void SetSteeringAngle(float angle) { steeringAngle = angle; }

// Names resolve up to the last '\' of the module path, on every system.
std::string ModulePath() { return pluginFolder + "Morvane.asi"; }
std::string GameFolder() { return gameFolder; }

IniLineObserver* LineObserver(const std::string& path) { return lineObserver ? lineObserver(path) : nullptr; }

void LeftOut(const std::string& where, const std::string& what) {
    if (leftOutObserver) leftOutObserver(where, what);
}

}  // namespace

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

uint32_t GameStringHash(const char* text) {
    uint32_t hash = 0xFFFFFFFFu;
    for (; *text; ++text) hash = hash * 33 + static_cast<uint8_t>(*text);
    return hash;
}

void SetSettingsFolder(const std::string& game, const std::string& plugin) {
    gameFolder = game + "\\";
    pluginFolder = plugin + "\\";
}

std::string RelativeToSettingsFolder(const std::string& path) {
    const bool inside = path.compare(0, gameFolder.size(), gameFolder) == 0;
    return SystemPath(inside ? path.substr(gameFolder.size()) : path);
}

void SetLineObserver(std::function<IniLineObserver*(const std::string& path)> observer) {
    lineObserver = std::move(observer);
}

void SetLeftOutObserver(std::function<void(const std::string& where, const std::string& what)> observer) {
    leftOutObserver = std::move(observer);
}

void SetCarTypeNames(std::vector<std::string> names) { carTypeNames = std::move(names); }

float SteeringAngleHandedOver() { return steeringAngle; }

std::string SystemPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', kSeparator);
    return path;
}

}  // namespace morvane::check

namespace morvane {
constinit const ConfigHost configHost{&check::GameStringHash, &check::CarTypeName, &check::SetSteeringAngle,
                                      &check::ModulePath, &check::GameFolder, &check::LineObserver, nullptr,
                                      &check::LeftOut};
}  // namespace morvane
