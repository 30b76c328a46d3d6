// Camber, track width and tire width from fitted parts.
//
// Three register hooks in the game's wheel set-up:
//   camber       ECX = ride record; the camber goes back on the x87 top.
//   track width  [ESP+8] = render record, EBP = rear axle, [ESP+0x18] = the game's offset
//                in thousandths; the offset goes on the x87 top.
//   tire width   EAX = address of the game's width, ESI = render record, [ESP+0x14] =
//                wheel index; the width's bits go back in EAX, then the game's own load
//                of EBX from [ESI+0x324C] runs.
// All arithmetic is in 32-bit floats.
#include "effects/WheelGeometry.h"

#include <bit>

#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {

// The attribute record of the part in `slot`, or null.
const AttributeRecord* FindPartAttribute(RideRecord* ride, int32_t slot, const char* name) {
    if (ride == nullptr) return nullptr;
    Part* part = HostRideGetPart(ride, slot);
    if (part == nullptr) return nullptr;
    return HostPartFindAttribute(part, HostStringHash(name), 0);
}

// Each hook hands back a value whatever happens: when reading the parts fails, the value
// the game would have had without the part (no camber, its own offset, its own width).
void CamberHook(RegisterRecord& r) {
    r.PushFloat(Guarded(GuardPlace(r), 0.0f, [&] { return CamberAngle(At<RideRecord>(r.ecx)); }));
}

void TrackWidthHook(RegisterRecord& r) {
    const auto thousandths = static_cast<int32_t>(r.Stack(stack::track_width::kThousandths));
    const float own = static_cast<float>(thousandths) * 0.001f;
    r.PushFloat(Guarded(GuardPlace(r), own, [&] {
        return TrackOffset(RideOfRenderRecord(r.Stack(stack::track_width::kRenderRecord)), r.ebp != 0, thousandths);
    }));
}

void TireWidthHook(RegisterRecord& r) {
    const float width = *At<const float>(r.eax);
    const auto wheel = static_cast<int32_t>(r.Stack(stack::tire_width::kWheel));
    r.eax = std::bit_cast<uint32_t>(Guarded(GuardPlace(r), width, [&] { return TireWidth(RideOfRenderRecord(r.esi), width, wheel); }));
}

// The game's   mov ebx, [esi+0x324C]   that the tire width site's jump displaces.
static_assert(render::kTireWidthWord == 0x324C);
constexpr uint8_t kLoadTireWidthWord[] = {0x8B, 0x9E, 0x4C, 0x32, 0x00, 0x00};

constexpr Site kSites[] = {
    // Camber and track width replace the game's loading of its own value onto the x87 stack
    // (12 and 10 bytes, never run again): the hook pushes the value from the car's part.
    // Tire width replaces the game's load of the width (EAX): its load of EBX re-runs.
    FloatHook("wheel camber", 0x7DF765, &CamberHook, 0x7DF771, {}, On<&PluginSettings::camber>()),
    FloatHook("track width", 0x7CB85F, &TrackWidthHook, 0x7CB869, {}, On<&PluginSettings::trackWidth>()),
    FloatHook("tire width", 0x7CB8C8, &TireWidthHook, 0x7CB8D0, kLoadTireWidthWord, On<&PluginSettings::tireWidth>()),
};

}  // namespace

float ReadPartFloat(RideRecord* ride, int32_t slot, const char* name) {
    const AttributeRecord* attribute = FindPartAttribute(ride, slot, name);
    return attribute == nullptr ? 0.0f : attribute->FloatValue();
}

float CamberAngle(RideRecord* ride) { return ReadPartFloat(ride, slot::kCamber, "ANGLE"); }

float TrackOffset(RideRecord* ride, bool rear, int32_t thousandths) {
    float base = static_cast<float>(thousandths) * 0.001f;
    // The body's own offset for the axle replaces the game's.
    if (const AttributeRecord* body =
            FindPartAttribute(ride, slot::kBody, rear ? "REAR_TIRE_OFFSET" : "FRONT_TIRE_OFFSET")) {
        base = body->FloatValue();
    }
    float sum = ReadPartFloat(ride, rear ? slot::kRearBumperBadging : slot::kFrontBumperBadging, "TIRE_OFFSET") + base;
    sum = ReadPartFloat(ride, slot::kTrackSpacer, "TIRE_OFFSET") + sum;
    sum = ReadPartFloat(ride, slot::kCamber, "ANGLE") / 30.0f + sum;
    return sum;
}

float TireWidth(RideRecord* ride, float width, int32_t wheel) {
    float factor = ReadPartFloat(ride, slot::kTires, wheel >= 2 ? "REAR_TIRE_WIDTH" : "FRONT_TIRE_WIDTH");
    if (factor == 0.0f) factor = 1.0f;
    return width * factor;
}

void InstallWheelGeometry() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
