#pragma once
// The animated steering angle of the front wheels in the customization screens. The
// screens choose a target (the customization menus); every step moves the game's
// steering angle toward it by at most 35 degrees per unit of frame time, and only while
// the game is in mode 3 (the neon colour hook steps it once per call).

namespace morvane {

// The angle the wheels move toward, and whether they still move.
struct SteerTarget {
    float angle = 0.0f;
    bool animating = false;
};
SteerTarget& CurrentSteerTarget();

// Starts moving the steering angle toward `angle`.
void SetSteerTarget(float angle);

// Advances the animation by one step.
void StepSteerAnimation();

}  // namespace morvane
