// Not part of the plug-in: integer code with floating-point work planted in it four ways,
// which the integer code check must refuse (IntegerCodeCheck.sh).
#include <unordered_map>

#include "feature/SteerAnimation.h"

namespace planted {

float Half(float value) { return value * 0.5f; }   // left to a library routine
void ResetX87() { asm volatile("fninit"); }          // an x87 instruction
void Step() { morvane::StepSteerAnimation(); }      // floating-point code, called
void Mark(std::unordered_map<int, int>& marks, int key) { marks[key] = 1; }  // the runtime's, reached
}  // namespace planted
