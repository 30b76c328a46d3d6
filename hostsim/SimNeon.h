#pragma once
// The game's car shadow as the neon hooks meet it: the two sites, the shadow-drawing
// code's float operands, the random number routine and the pause state.
#include <cstdint>
#include <vector>

#include "Sim.h"

namespace sim::neon {

constexpr uint32_t kShadowTextureSite = 0x7E5A6A;
constexpr uint32_t kShadowTextureResume = 0x7E5A6F;
constexpr uint32_t kNeonColorSite = 0x7BEA68;
constexpr uint32_t kNeonColorResume = 0x7BEA6D;

// A car's pulse state in its render record (32-bit floats).
constexpr uint32_t kPulseIntensity = 0x37C;
constexpr uint32_t kPulseRate = 0x38C;

// The host's random number routine (0x46DB30, cdecl bound -> integer). Queued values are
// answered first, in order; after them a fixed sequence from 0 to bound - 1.
void QueueRandom(const std::vector<int32_t>& values);
// The bound of every call so far.
const std::vector<int32_t>& RandomBounds();

// The host's pause state (0x4A62E0, cdecl, answers in AL; the rest of EAX is noise).
void SetPaused(bool paused);
int PauseQueries();

// Runs from each site as the game enters it; every other register holds a distinct value.
// Shadow texture: ESI = render record.
Run ShadowTextureRun(uint8_t* renderRecord);
// Shadow colour: EAX = the host's colour word, [ESP+4] = render record.
Run NeonColorRun(uint8_t* renderRecord, uint32_t hostWord);

}  // namespace sim::neon
