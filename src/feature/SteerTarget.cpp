// The steering target the customization screens choose. Integer code: the menus' hooks set
// it, and only the step (SteerAnimation.cpp) computes with it.
#include "feature/SteerAnimation.h"

namespace morvane {

SteerTarget& CurrentSteerTarget() {
    static SteerTarget target;
    return target;
}

void SetSteerTarget(float angle) { CurrentSteerTarget() = {angle, true}; }

}  // namespace morvane
