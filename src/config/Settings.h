#pragma once
// The one record of global switches, read from "Morvane.ini" beside the plug-in. It is
// also the profile every car falls back to.
#include <string>

#include "config/Profiles.h"

namespace morvane {

struct PluginSettings : CarProfile {
    bool exhaustFx = false;
    bool fixWheelMirror = false;
    bool allowStockRimsPaint = false;
    bool fixFrontRearDecals = false;
    bool allVinylsMirrorable = false;
    float frontSteerAngle = 0.0f;
    bool tires = false;
    bool neon = false;
    bool licensePlate = false;
    bool camber = false;
    bool trackWidth = false;
    bool tireWidth = false;

    bool operator==(const PluginSettings&) const = default;
};

// The record; null before LoadGlobalSettings has run.
const PluginSettings* GlobalSettings();

// Builds the record and writes the front steering angle into the host. `fileName` is
// resolved like any INI name (beside the plug-in unless it holds a drive).
void LoadGlobalSettings(const std::string& fileName = "Morvane.ini");

}  // namespace morvane
