#pragma once
// The front wheels' steering animation of the customization screens.

namespace morvane {

// Sets the angle the shown front-wheel steering angle moves toward, and starts moving.
void SetSteerTarget(float angle);

}  // namespace morvane
