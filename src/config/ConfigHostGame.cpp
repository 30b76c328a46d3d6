// The configuration code bound to the game: names hash and resolve through the game's own
// routines, the steering angle goes into the game's global, settings lie beside the
// plug-in, and no one listens to the lines read.
#include "config/ConfigHost.h"
#include "config/IniFile.h"
#include "host/Host.h"

namespace morvane {

namespace {

uint32_t GameStringHash(const char* text) { return host::HostStringHash(text); }
const char* GameCarTypeName(int32_t carType) { return host::HostCarTypeName(carType); }
void GameSetSteeringAngle(float angle) { *host::HostSteeringAngle = angle; }
IniLineObserver* NoLineObserver(const std::string&) { return nullptr; }

}  // namespace

constinit const ConfigHost configHost{&GameStringHash, &GameCarTypeName, &GameSetSteeringAngle, &PluginModulePath,
                                      &NoLineObserver};

}  // namespace morvane
