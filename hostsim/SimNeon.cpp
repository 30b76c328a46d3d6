#include "SimNeon.h"

namespace sim::neon {

namespace {

std::vector<int32_t> queued;
size_t nextQueued;
uint32_t sequence;
std::vector<int32_t> bounds;
bool paused;
int pauseQueries;

int32_t __cdecl HostRandomInt(int32_t bound) {
    const HostCall call;
    bounds.push_back(bound);
    if (nextQueued < queued.size()) return queued[nextQueued++];
    sequence = sequence * 1103515245u + 12345u;
    return bound > 0 ? static_cast<int32_t>((sequence >> 8) % static_cast<uint32_t>(bound)) : 0;
}

// Only AL carries the answer.
uint32_t __cdecl HostIsPaused() {
    const HostCall call;
    ++pauseQueries;
    return paused ? 0x5A5A5A01u : 0x5A5A5A00u;
}

void Place() {
    PlaceRoutine(0x46DB30, reinterpret_cast<const void*>(&HostRandomInt));
    PlaceRoutine(0x4A62E0, reinterpret_cast<const void*>(&HostIsPaused));
}

void Reset() {
    queued.clear();
    nextQueued = 0;
    sequence = 0;
    bounds.clear();
    paused = false;
    pauseQueries = 0;
}

ModelRegistration registration({"neon", 40, &Place, &Reset});

}  // namespace

void QueueRandom(const std::vector<int32_t>& values) { queued.insert(queued.end(), values.begin(), values.end()); }
const std::vector<int32_t>& RandomBounds() { return bounds; }
void SetPaused(bool value) { paused = value; }
int PauseQueries() { return pauseQueries; }

Run ShadowTextureRun(uint8_t* renderRecord) {
    Run run;
    run.site = kShadowTextureSite;
    run.resume = kShadowTextureResume;
    run.registers = DistinctRegisters();
    run.registers.esi = Address(renderRecord);
    run.stack = {0x10, 0x14, 0x18, 0x1C};
    return run;
}

Run NeonColorRun(uint8_t* renderRecord, uint32_t hostWord) {
    Run run;
    run.site = kNeonColorSite;
    run.resume = kNeonColorResume;
    run.registers = DistinctRegisters();
    run.registers.eax = hostWord;
    run.stack = {0x20, Address(renderRecord), 0x28, 0x2C};
    return run;
}

}  // namespace sim::neon
