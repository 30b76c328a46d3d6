#include "SimNeon.h"

#include <cstdio>
#include <cstring>

#include "SimWheels.h"

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


const char* TextureName(uint32_t hash) {
    for (const char* name : {"CARSHADOW", "NEON_BLUE_GLOW"}) {
        if (Hash(name) == hash) return name;
    }
    return "?";
}

// A car with a pulsing neon part and one without, over a few frames of the game.
void Report() {
    if (!wheels::Patched(kShadowTextureSite)) {
        std::printf("\nNeon: off, the shadow sites are not patched (Neon = 1 in [MODS] turns it on)\n");
        return;
    }
    std::printf("\nNeon (cars driven through the shadow texture and colour sites, frame time 0.1, host word 0x80000000):\n");
    const int32_t car = AddCarType("SAMPLE_NEON");
    Ride& neonRide = NewRide(car);
    neonRide.parts[71] = &AddPart("NEON_BLUE", car, 71)
                              .Set("RED", 40)
                              .Set("GREEN", 90)
                              .Set("BLUE", 255)
                              .Set("PULSE", 1)
                              .Set("TEXTURE_NAME", static_cast<int32_t>(Hash("NEON_BLUE_GLOW")));
    Ride& plainRide = NewRide(car);
    Global<float>(0xA99A5C) = 0.1f;
    Global<int32_t>(0xA99BBC) = 6;

    struct Car {
        const char* label;
        Ride* ride;
    } cars[] = {{"neon part NEON_BLUE (RED 40, GREEN 90, BLUE 255, PULSE 1)", &neonRide},
                {"no neon part", &plainRide}};
    for (const Car& c : cars) {
        uint8_t* record = NewRenderRecord(c.ride);
        const Capture texture = RunHostCode(ShadowTextureRun(record));
        std::printf("  %s\n    shadow texture 0x%08X (%s), pulse starts at %.2f, rate %.2f\n", c.label,
                    texture.registers.eax, TextureName(texture.registers.eax),
                    static_cast<double>(Field<float>(record, kPulseIntensity)),
                    static_cast<double>(Field<float>(record, kPulseRate)));
        for (int frame = 1; frame <= (c.ride == &neonRide ? 6 : 2); ++frame) {
            const Capture colour = RunHostCode(NeonColorRun(record, 0x80000000u));
            std::printf("    frame %d: colour word 0x%08X, intensity %.2f, rate %+.2f\n", frame, colour.registers.eax,
                        static_cast<double>(Field<float>(record, kPulseIntensity)),
                        static_cast<double>(Field<float>(record, kPulseRate)));
        }
    }
}

ModelRegistration registration({"neon", 40, &Place, &Reset, &Report});

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
