// The animated steering angle of the front wheels in the customization screens.
#include "feature/SteerAnimation.h"

#include <cmath>

#include "host/Host.h"

namespace morvane {

namespace {

constexpr float kDegreesPerFrameTime = 35.0f;
// Within this distance of the target the animation ends.
constexpr float kCloseEnough = 1.0f;

// Shared by the customization screens (which set the target) and the neon colour hook
// (which steps).
float steerTarget = 0.0f;
bool steerAnimating = false;

}  // namespace

void SetSteerTarget(float angle) {
    steerTarget = angle;
    steerAnimating = true;
}

void StepSteerAnimation() {
    if (*host::HostGameMode != host::game_mode::kCustomization || !steerAnimating) return;
    const float angle = *host::HostSteeringAngle;
    const float distance = std::fabs(angle - steerTarget);
    if (distance > kCloseEnough) {
        const float rate = steerTarget - angle > 0.0f ? kDegreesPerFrameTime : -kDegreesPerFrameTime;
        *host::HostSteeringAngle = rate * *host::HostFrameTime + angle;
    } else {
        // Within reach of the target (or no number at all): the animation is over.
        steerAnimating = false;
    }
}

}  // namespace morvane
