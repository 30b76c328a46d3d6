#pragma once
// The game's own numbers that the settings name too: the part slots and the name hash
// that means "no name". Plain C++, shared by the plug-in and the settings checker.
#include <cstdint>

namespace morvane::host {

// The name hash that means "no name": the game's hash of the empty text.
constexpr uint32_t kNoName = 0xFFFFFFFFu;

// The game's numbers of the places a car's parts go in.
namespace slot {
constexpr int32_t kBody = 23;
constexpr int32_t kFrontBrake = 24;
constexpr int32_t kFrontRotor = 25;
constexpr int32_t kInterior = 29;
constexpr int32_t kLeftBrakeLight = 30;
constexpr int32_t kLeftBrakeLightGlass = 31;
constexpr int32_t kLeftHeadlight = 32;
constexpr int32_t kLeftHeadlightGlass = 33;
constexpr int32_t kLeftSideMirror = 34;
constexpr int32_t kRearBrake = 35;
constexpr int32_t kRearRotor = 36;
constexpr int32_t kRightBrakeLight = 40;
constexpr int32_t kRightBrakeLightGlass = 41;
constexpr int32_t kRightHeadlight = 42;
constexpr int32_t kRightHeadlightGlass = 43;
constexpr int32_t kRightSideMirror = 44;
constexpr int32_t kDriver = 45;
constexpr int32_t kSteeringWheel = 46;
constexpr int32_t kExhaust = 47;
constexpr int32_t kSpoiler = 48;
// Sixteen attachment slots, 56 to 71; the last four carry the plug-in's wheel and neon parts.
constexpr int32_t kFirstAttachment = 56;
constexpr int32_t kAttachmentCount = 16;
constexpr int32_t kCamber = 68;
constexpr int32_t kTrackSpacer = 69;
constexpr int32_t kTires = 70;
constexpr int32_t kNeon = 71;
constexpr int32_t kFrontBumper = 72;
constexpr int32_t kFrontBumperBadging = 73;
constexpr int32_t kRearBumper = 74;
constexpr int32_t kRearBumperBadging = 75;
constexpr int32_t kRoof = 76;
constexpr int32_t kRoofScoop = 77;
constexpr int32_t kHood = 78;
constexpr int32_t kSkirt = 79;
constexpr int32_t kLeftDoor = 82;
constexpr int32_t kRightDoor = 83;
constexpr int32_t kFrontWheel = 84;
constexpr int32_t kLicensePlate = 86;
constexpr int32_t kDoorLine = 87;
constexpr int32_t kGenericVinyls = 94;
constexpr int32_t kFrontDecal = 100;
constexpr int32_t kRearDecal = 101;
}  // namespace slot

}  // namespace morvane::host
