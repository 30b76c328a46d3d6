#pragma once
// Camber, track width and tire width from fitted parts.
#include <cstdint>

#include "host/Records.h"

namespace morvane {

// The float of attribute `name` of the part in `slot`, or 0 without one.
float ReadPartFloat(host::RideRecord* ride, int32_t slot, const char* name);
// The camber part's "ANGLE".
float CamberAngle(host::RideRecord* ride);
// The axle's offset: the body's own offset for the axle (else the game's, in thousandths),
// plus the badging's and the spacer's offsets and a thirtieth of the camber.
float TrackOffset(host::RideRecord* ride, bool rear, int32_t thousandths);
// The game's width times the tire part's factor for the axle (1 without one).
float TireWidth(host::RideRecord* ride, float width, int32_t wheel);

// Writes each wheel site whose switch ("Camber", "TrackWidth", "TireWidth") is on.
void InstallWheelGeometry();

}  // namespace morvane
