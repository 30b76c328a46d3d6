#pragma once
// The wheel mirror fix ("FixWheelMirror"): the game's routine that decides whether a
// wheel is drawn mirrored answers 0.

namespace morvane {

// Writes the fix's bytes when "FixWheelMirror" is on.
void InstallWheelMirror();

}  // namespace morvane
