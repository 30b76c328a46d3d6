// The wheel mirror fix: a byte patch where the game loads whether a wheel is mirrored.
#include "effects/WheelMirror.h"

#include "config/Settings.h"
#include "feature/Site.h"

namespace morvane {

namespace {

constexpr uint8_t kLoadZero[] = {0xB0, 0x00,  // mov al, 0
                                 0x90};       // nop

constexpr Site kSites[] = {
    Bytes("wheel mirroring", 0x7E585D, kLoadZero, On<&PluginSettings::fixWheelMirror>()),
};

}  // namespace

void InstallWheelMirror() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
