// A sample car with every wheel part, driven through the three wheel sites as the game
// prepares it.
#include <cstdio>
#include <cstring>

#include "SimWheels.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::wheels;

float AsFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

struct SampleCar {
    Ride* ride;
    uint8_t* record;
};

// The sample car, its ride record fitted with every wheel part.
SampleCar MakeSampleCar() {
    const int32_t car = AddCarType("SAMPLE_GT");
    Ride& ride = NewRide(car);
    ride.parts[23] = &AddPart("SAMPLE_GT_BODY_KIT01", car, 23).SetFloat("FRONT_TIRE_OFFSET", 0.81f);
    ride.parts[68] = &AddPart("CAMBER_NEGATIVE_3", car, 68).SetFloat("ANGLE", -3.0f);
    ride.parts[69] = &AddPart("TRACK_SPACER_20", car, 69).SetFloat("TIRE_OFFSET", 0.02f);
    ride.parts[70] = &AddPart("TIRES_WIDE", car, 70).SetFloat("FRONT_TIRE_WIDTH", 1.1f).SetFloat("REAR_TIRE_WIDTH", 1.25f);
    ride.parts[75] = &AddPart("SAMPLE_GT_KIT01_REAR_BUMPER_BADGING", car, 75).SetFloat("TIRE_OFFSET", 0.015f);
    uint8_t* record = NewRenderRecord(&ride);
    Field<uint32_t>(record, kTireWidthWord) = 0x0000BEEF;
    return {&ride, record};
}

void ReportCamber(Ride* ride) {
    if (!Changed(kCamberSite)) {
        std::printf("  camber (0x%06X): not patched (Camber off), the game keeps its own\n", kCamberSite);
        return;
    }
    const Capture c = RunHostCode(CamberRun(ride));
    std::printf("  camber (0x%06X): %g on the x87 top\n", kCamberSite, static_cast<double>(c.x87.at(0)));
}

void ReportTrackWidth(uint8_t* record) {
    if (!Changed(kTrackWidthSite)) {
        std::printf("  track offset (0x%06X): not patched (TrackWidth off), the game keeps its own\n", kTrackWidthSite);
        return;
    }
    for (const uint32_t axle : {0u, 1u}) {
        const int32_t own = axle ? 790 : 780;
        const Capture c = RunHostCode(TrackWidthRun(record, axle, own));
        std::printf("  track offset, %s axle (0x%06X): game's own %d/1000 -> %g\n", axle ? "rear " : "front",
                    kTrackWidthSite, own, static_cast<double>(c.x87.at(0)));
    }
}

void ReportTireWidth(uint8_t* record) {
    const float width = 0.215f;
    for (int32_t wheel = 0; wheel < 4; ++wheel) {
        const Capture c = RunHostCode(TireWidthRun(record, &width, wheel));
        std::printf("  tire width, wheel %d (0x%06X%s): %g -> %g, EBX 0x%08X\n", wheel, kTireWidthSite,
                    Changed(kTireWidthSite) ? "" : ", not patched", static_cast<double>(width),
                    static_cast<double>(AsFloat(c.registers.eax)), c.registers.ebx);
    }
}

}  // namespace

void ReportWheels() {
    std::printf("\nWheel geometry (sample car SAMPLE_GT, driven through the game's wheel set-up):\n");
    const SampleCar car = MakeSampleCar();
    std::printf("  parts: body FRONT_TIRE_OFFSET 0.81; slot 68 ANGLE -3.0; slot 69 TIRE_OFFSET 0.02;\n"
                "         slot 70 FRONT_TIRE_WIDTH 1.1, REAR_TIRE_WIDTH 1.25; slot 75 TIRE_OFFSET 0.015\n");
    ReportCamber(car.ride);
    ReportTrackWidth(car.record);
    ReportTireWidth(car.record);
}

}  // namespace tour
