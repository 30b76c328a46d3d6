// The animated steering angle of the front wheels in the customization screens: its step,
// floating-point code run by the neon colour hook.
#include "feature/SteerAnimation.h"

#include <cmath>

#include "host/Host.h"

namespace morvane {

namespace {

constexpr float kDegreesPerFrameTime = 35.0f;
// Within this distance of the target the animation ends.
constexpr float kCloseEnough = 1.0f;

}  // namespace

void StepSteerAnimation() {
    SteerTarget& target = CurrentSteerTarget();
    if (*host::HostGameMode != host::game_mode::kCustomization || !target.animating) return;
    const float steerTarget = target.angle;
    const float angle = *host::HostSteeringAngle;
    const float distance = std::fabs(angle - steerTarget);
    if (distance > kCloseEnough) {
        const float rate = steerTarget - angle > 0.0f ? kDegreesPerFrameTime : -kDegreesPerFrameTime;
        *host::HostSteeringAngle = rate * *host::HostFrameTime + angle;
    } else {
        // Within reach of the target (or no number at all): the animation is over.
        target.animating = false;
    }
}

}  // namespace morvane
