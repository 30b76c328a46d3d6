// Not part of the plug-in: integer code with floating-point work planted in it three ways,
// which the integer code check must refuse (IntegerCodeCheck.sh).
#include "feature/SteerAnimation.h"

namespace planted {

float Half(float value) { return value * 0.5f; }   // left to a library routine
void ResetX87() { asm volatile("fninit"); }          // an x87 instruction
void Step() { morvane::StepSteerAnimation(); }      // floating-point code, called
}  // namespace planted
