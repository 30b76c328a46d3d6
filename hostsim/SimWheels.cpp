#include "SimWheels.h"

#include <cstdio>
#include <cstring>

namespace sim::wheels {

const std::vector<uint8_t> kTireWidthSiteCode = {0x8B, 0x00, 0x8B, 0x9E, 0x4C, 0x32, 0x00, 0x00};

namespace {

void Place() {
    // The host range is still writable while the models are placed.
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(kTireWidthSite)), kTireWidthSiteCode.data(),
                kTireWidthSiteCode.size());
}

float AsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// A sample car with every wheel part, driven through the three sites as the game
// prepares it.
void Report() {
    std::printf("\nWheel geometry (sample car SAMPLE_GT, driven through the game's wheel set-up):\n");
    const int32_t car = AddCarType("SAMPLE_GT");
    Ride& ride = NewRide(car);
    ride.parts[23] = &AddPart("SAMPLE_GT_BODY_KIT01", car, 23).SetFloat("FRONT_TIRE_OFFSET", 0.81f);
    ride.parts[68] = &AddPart("CAMBER_NEGATIVE_3", car, 68).SetFloat("ANGLE", -3.0f);
    ride.parts[69] = &AddPart("TRACK_SPACER_20", car, 69).SetFloat("TIRE_OFFSET", 0.02f);
    ride.parts[70] = &AddPart("TIRES_WIDE", car, 70).SetFloat("FRONT_TIRE_WIDTH", 1.1f).SetFloat("REAR_TIRE_WIDTH", 1.25f);
    ride.parts[75] = &AddPart("SAMPLE_GT_KIT01_REAR_BUMPER_BADGING", car, 75).SetFloat("TIRE_OFFSET", 0.015f);
    uint8_t* record = NewRenderRecord(&ride);
    Field<uint32_t>(record, kTireWidthWord) = 0x0000BEEF;
    std::printf("  parts: body FRONT_TIRE_OFFSET 0.81; slot 68 ANGLE -3.0; slot 69 TIRE_OFFSET 0.02;\n"
                "         slot 70 FRONT_TIRE_WIDTH 1.1, REAR_TIRE_WIDTH 1.25; slot 75 TIRE_OFFSET 0.015\n");

    if (Patched(kCamberSite)) {
        const Capture c = RunHostCode(CamberRun(&ride));
        std::printf("  camber (0x%06X): %g on the x87 top\n", kCamberSite, static_cast<double>(c.x87.at(0)));
    } else {
        std::printf("  camber (0x%06X): not patched (Camber off), the game keeps its own\n", kCamberSite);
    }
    if (Patched(kTrackWidthSite)) {
        for (const uint32_t axle : {0u, 1u}) {
            const int32_t own = axle ? 790 : 780;
            const Capture c = RunHostCode(TrackWidthRun(record, axle, own));
            std::printf("  track offset, %s axle (0x%06X): game's own %d/1000 -> %g\n", axle ? "rear " : "front",
                        kTrackWidthSite, own, static_cast<double>(c.x87.at(0)));
        }
    } else {
        std::printf("  track offset (0x%06X): not patched (TrackWidth off), the game keeps its own\n", kTrackWidthSite);
    }
    const float width = 0.215f;
    for (int32_t wheel = 0; wheel < 4; ++wheel) {
        const Capture c = RunHostCode(TireWidthRun(record, &width, wheel));
        std::printf("  tire width, wheel %d (0x%06X%s): %g -> %g, EBX 0x%08X\n", wheel, kTireWidthSite,
                    Patched(kTireWidthSite) ? "" : ", not patched", static_cast<double>(width),
                    static_cast<double>(AsFloat(c.registers.eax)), c.registers.ebx);
    }
}

ModelRegistration registration({"wheel geometry", 60, &Place, nullptr, &Report});

}  // namespace

Run CamberRun(Ride* ride) {
    Run run;
    run.site = kCamberSite;
    run.resume = kCamberResume;
    run.registers = DistinctRegisters();
    run.registers.ecx = Address(ride);
    run.stack = {0, 0, 0, 0};
    return run;
}

Run TrackWidthRun(uint8_t* renderRecord, uint32_t axle, int32_t thousandths) {
    Run run;
    run.site = kTrackWidthSite;
    run.resume = kTrackWidthResume;
    run.registers = DistinctRegisters();
    run.registers.ebp = axle;
    run.stack = {0x50, 0x54, Address(renderRecord), 0x5C, 0x60, 0x64, static_cast<uint32_t>(thousandths), 0x6C};
    return run;
}

Run TireWidthRun(uint8_t* renderRecord, const float* width, int32_t wheel) {
    Run run;
    run.site = kTireWidthSite;
    run.resume = kTireWidthResume;
    run.registers = DistinctRegisters();
    run.registers.eax = Address(width);
    run.registers.esi = Address(renderRecord);
    run.stack = {0x70, 0x74, 0x78, 0x7C, 0x80, static_cast<uint32_t>(wheel), 0x88};
    return run;
}

bool Patched(uint32_t site) {
    for (const ByteRun& run : ChangedRuns()) {
        if (site >= run.address && site < run.address + run.after.size()) return true;
    }
    return false;
}

}  // namespace sim::wheels
