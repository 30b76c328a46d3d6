// Stand-in for the steering target until the wheel animation provides it.
#include "effects/SteerAnimation.h"

namespace morvane {

namespace {
volatile float steerTarget = 0.0f;
volatile bool steerAnimating = false;
}  // namespace

void SetSteerTarget(float angle) {
    steerTarget = angle;
    steerAnimating = true;
}

}  // namespace morvane
