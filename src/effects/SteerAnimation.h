#pragma once
// The animated steering angle of the front wheels in the customization screens. The
// screens choose a target; every step moves the host's steering angle toward it by at
// most 35 degrees per unit of frame time, and only while the game is in mode 3.

namespace morvane {

// Starts moving the steering angle toward `angle`.
void SetSteerTarget(float angle);

// Advances the animation by one step (the neon colour hook runs it once per entry).
void StepSteerAnimation();

}  // namespace morvane
