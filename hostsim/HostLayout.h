#pragma once
// Where the simulated game keeps what the plug-in uses, as in Kavra 1.4 English.
#include <cstdint>

namespace sim::layout {

constexpr uint32_t kImageBase = 0x400000;
constexpr uint32_t kHostBegin = 0x401000;  // the host range the plug-in may touch
constexpr uint32_t kHostEnd = 0xBC0000;
constexpr uint32_t kDataBegin = 0xA00000;  // below: code (execute-read); from here: data
constexpr uint32_t kEntryPoint = 0x87E926;

// Routines.
constexpr uint32_t kStringHash = 0x471050;
constexpr uint32_t kStringHashSeeded = 0x471080;
constexpr uint32_t kCarTypeName = 0x7B0290;
constexpr uint32_t kRideGetPart = 0x7B06F0;
constexpr uint32_t kRideSetPart = 0x7D67A0;
constexpr uint32_t kSetPartByFormat = 0x84F040;
constexpr uint32_t kPartGetAttribute = 0x7C27C0;
constexpr uint32_t kPartFindAttribute = 0x7B00E0;
constexpr uint32_t kPartIsStock = 0x7CA040;
constexpr uint32_t kFindNextCarPart = 0x7CDDF0;
constexpr uint32_t kAlloc = 0x6A1560;

// Globals.
constexpr uint32_t kCarPartDatabase = 0xB76690;
constexpr uint32_t kGameMode = 0xA99BBC;
constexpr uint32_t kFrameTime = 0xA99A5C;
constexpr uint32_t kSteeringAngle = 0xA7B668;
constexpr uint32_t kCarTypeTable = 0xB74CCC;
constexpr uint32_t kCurrentCarTypePtr = 0xB74320;
constexpr uint32_t kFrontEndObjectPtr = 0xB77970;

// A stretch of host code no routine above uses, for tests that plant their own code.
constexpr uint32_t kScratchCode = 0x500000;
constexpr uint32_t kScratchCodeEnd = 0x510000;

}  // namespace sim::layout
