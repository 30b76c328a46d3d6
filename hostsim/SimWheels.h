#pragma once
// The game's wheel set-up as the wheel geometry hooks meet it: the three sites, with the
// registers and stack slots the game has there.
#include <cstdint>

#include "Sim.h"

namespace sim::wheels {

constexpr uint32_t kCamberSite = 0x7DF765;
constexpr uint32_t kCamberResume = 0x7DF771;
constexpr uint32_t kTrackWidthSite = 0x7CB85F;
constexpr uint32_t kTrackWidthResume = 0x7CB869;
constexpr uint32_t kTireWidthSite = 0x7CB8C8;
constexpr uint32_t kTireWidthResume = 0x7CB8D0;

// The render record's 32-bit value the game loads into EBX right after the tire width.
constexpr uint32_t kTireWidthWord = 0x324C;

// The game's code at the tire-width site:   mov eax, [eax]   mov ebx, [esi+0x324C]
// (the width's bits in EAX, then the value for EBX).
extern const std::vector<uint8_t> kTireWidthSiteCode;

// Runs from each site as the game enters it; every other register holds a distinct value.
// Camber: ECX = the ride record.
Run CamberRun(Ride* ride);
// Track width: [ESP+8] = render record, EBP = axle (0 front), [ESP+0x18] = thousandths.
Run TrackWidthRun(uint8_t* renderRecord, uint32_t axle, int32_t thousandths);
// Tire width: EAX = address of the width, ESI = render record, [ESP+0x14] = wheel index.
Run TireWidthRun(uint8_t* renderRecord, const float* width, int32_t wheel);

}  // namespace sim::wheels
