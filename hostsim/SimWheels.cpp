#include "SimWheels.h"

#include <cstring>

namespace sim::wheels {

const std::vector<uint8_t> kTireWidthSiteCode = {0x8B, 0x00, 0x8B, 0x9E, 0x4C, 0x32, 0x00, 0x00};

namespace {

void Place() {
    // The host range is still writable while the models are placed.
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(kTireWidthSite)), kTireWidthSiteCode.data(),
                kTireWidthSiteCode.size());
}

ModelRegistration registration({"wheel geometry", 60, &Place, nullptr});

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

}  // namespace sim::wheels
