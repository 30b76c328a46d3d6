// A car with a pulsing neon part and one without, over a few frames of the game, driven
// through the shadow texture and colour sites.
#include <cstdio>

#include "HostLayout.h"
#include "SimNeon.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::neon;

const char* TextureName(uint32_t hash) {
    for (const char* name : {"CARSHADOW", "NEON_BLUE_GLOW"}) {
        if (Hash(name) == hash) return name;
    }
    return "?";
}

// The car's shadow texture and fresh pulse, then its colour word over `frames` frames.
void ReportCar(const char* label, Ride* ride, int frames) {
    uint8_t* record = NewRenderRecord(ride);
    const Capture texture = RunHostCode(ShadowTextureRun(record));
    std::printf("  %s\n    shadow texture 0x%08X (%s), pulse starts at %.2f, rate %.2f\n", label, texture.registers.eax,
                TextureName(texture.registers.eax), static_cast<double>(Field<float>(record, kPulseIntensity)),
                static_cast<double>(Field<float>(record, kPulseRate)));
    for (int frame = 1; frame <= frames; ++frame) {
        const Capture colour = RunHostCode(NeonColorRun(record, 0x80000000u));
        std::printf("    frame %d: colour word 0x%08X, intensity %.2f, rate %+.2f\n", frame, colour.registers.eax,
                    static_cast<double>(Field<float>(record, kPulseIntensity)),
                    static_cast<double>(Field<float>(record, kPulseRate)));
    }
}

}  // namespace

void ReportNeon() {
    if (!Changed(kShadowTextureSite)) {
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
    Global<float>(layout::kFrameTime) = 0.1f;
    Global<int32_t>(layout::kGameMode) = 6;
    ReportCar("neon part NEON_BLUE (RED 40, GREEN 90, BLUE 255, PULSE 1)", &neonRide, 6);
    ReportCar("no neon part", &plainRide, 2);
}

}  // namespace tour
