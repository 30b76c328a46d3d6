// The configuration code bound to the game: names hash and resolve through the game's own
// routines, the steering angle goes into the game's global, settings lie beside the plug-in.
#include "config/ConfigHost.h"
#include "config/IniFile.h"
#include "host/Host.h"

namespace morvane {

namespace {

uint32_t GameStringHash(const char* text) { return host::HostStringHash(text); }
const char* GameCarTypeName(int32_t carType) { return host::HostCarTypeName(carType); }
void GameSetSteeringAngle(float angle) { *host::HostSteeringAngle = angle; }

}  // namespace

constinit const ConfigHost configHost{&GameStringHash, &GameCarTypeName, &GameSetSteeringAngle, &PluginModulePath};

}  // namespace morvane
