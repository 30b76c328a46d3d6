// Camber, track width and tire width from fitted parts; the steering animation.
//
// Three register hooks in the host's wheel set-up:
//   0x7DF765 camber       ECX = ride record; the camber goes back on the x87 top.
//   0x7CB85F track width  [ESP+8] = render record, EBP = rear axle, [ESP+0x18] = the
//                         host's offset in thousandths; the offset goes on the x87 top.
//   0x7CB8C8 tire width   EAX = address of the host's width, ESI = render record,
//                         [ESP+0x14] = wheel index; the width's bits go back in EAX, then
//                         the host's own load of EBX from [ESI+0x324C] runs.
// All arithmetic is in 32-bit floats.
#include <bit>
#include <cmath>
#include <cstdint>

#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "host/Host.h"
#include "patch/Guard.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

namespace {

using host::RideRecord;

constexpr int32_t kSlotBody = 23;
constexpr int32_t kSlotCamber = 68;
constexpr int32_t kSlotTrackSpacer = 69;
constexpr int32_t kSlotTires = 70;
constexpr int32_t kSlotFrontBadging = 73;
constexpr int32_t kSlotRearBadging = 75;

constexpr uint32_t kCamberSite = 0x7DF765;
constexpr uint32_t kCamberResume = 0x7DF771;
constexpr uint32_t kTrackWidthSite = 0x7CB85F;
constexpr uint32_t kTrackWidthResume = 0x7CB869;
constexpr uint32_t kTireWidthSite = 0x7CB8C8;
constexpr uint32_t kTireWidthResume = 0x7CB8D0;

// The steering animation's state, shared by the customization screens (which set the
// target) and the neon colour hook (which steps).
float steerTarget = 0.0f;
bool steerAnimating = false;

template <typename T>
T* Pointer(uint32_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}


// The attribute record of the part in `slot`, or null.
const host::AttributeRecord* FindPartAttribute(RideRecord* ride, int32_t slot, const char* name) {
    if (ride == nullptr) return nullptr;
    host::Part* part = host::HostRideGetPart(ride, slot);
    if (part == nullptr) return nullptr;
    return host::HostPartFindAttribute(part, host::HostStringHash(name), 0);
}

}  // namespace

float ReadPartFloat(RideRecord* ride, int32_t slot, const char* name) {
    const host::AttributeRecord* attribute = FindPartAttribute(ride, slot, name);
    return attribute == nullptr ? 0.0f : attribute->FloatValue();
}

float CamberAngle(RideRecord* ride) { return ReadPartFloat(ride, kSlotCamber, "ANGLE"); }

float TrackOffset(RideRecord* ride, bool rear, int32_t thousandths) {
    float base = static_cast<float>(thousandths) * 0.001f;
    // The body's own offset for the axle replaces the host's.
    if (const host::AttributeRecord* body =
            FindPartAttribute(ride, kSlotBody, rear ? "REAR_TIRE_OFFSET" : "FRONT_TIRE_OFFSET")) {
        base = body->FloatValue();
    }
    float sum = ReadPartFloat(ride, rear ? kSlotRearBadging : kSlotFrontBadging, "TIRE_OFFSET") + base;
    sum = ReadPartFloat(ride, kSlotTrackSpacer, "TIRE_OFFSET") + sum;
    sum = ReadPartFloat(ride, kSlotCamber, "ANGLE") / 30.0f + sum;
    return sum;
}

float TireWidth(RideRecord* ride, float width, int32_t wheel) {
    float factor = ReadPartFloat(ride, kSlotTires, wheel >= 2 ? "REAR_TIRE_WIDTH" : "FRONT_TIRE_WIDTH");
    if (factor == 0.0f) factor = 1.0f;
    return width * factor;
}

void SetSteerTarget(float angle) {
    steerTarget = angle;
    steerAnimating = true;
}

void StepSteerAnimation() {
    if (*host::HostGameMode != 3 || !steerAnimating) return;
    const float angle = *host::HostSteeringAngle;
    const float distance = std::fabs(angle - steerTarget);
    if (distance > 1.0f) {
        const float rate = steerTarget - angle > 0.0f ? 35.0f : -35.0f;
        *host::HostSteeringAngle = rate * *host::HostFrameTime + angle;
    } else {
        // Within 1.0 of the target (or no number at all): the animation is over.
        steerAnimating = false;
    }
}

namespace {

// Each hook hands back a value whatever happens: when reading the parts fails, the value
// the game would have had without the part (no camber, its own offset, its own width).
void CamberHook(RegisterRecord& r) {
    r.PushFloat(Guarded(0.0f, [&] { return CamberAngle(Pointer<RideRecord>(r.ecx)); }));
}

void TrackWidthHook(RegisterRecord& r) {
    const auto thousandths = static_cast<int32_t>(r.Stack(0x18));
    const float own = static_cast<float>(thousandths) * 0.001f;
    r.PushFloat(Guarded(own, [&] { return TrackOffset(host::RideOfRenderRecord(r.Stack(0x08)), r.ebp != 0, thousandths); }));
}

void TireWidthHook(RegisterRecord& r) {
    const float width = *Pointer<const float>(r.eax);
    const auto wheel = static_cast<int32_t>(r.Stack(0x14));
    r.eax = std::bit_cast<uint32_t>(Guarded(width, [&] { return TireWidth(host::RideOfRenderRecord(r.esi), width, wheel); }));
}

}  // namespace

void InstallWheelGeometry() {
    const PluginSettings* settings = GlobalSettings();
    if (settings == nullptr) return;
    if (settings->camber) InstallRegisterHook(kCamberSite, &CamberHook, kCamberResume);
    if (settings->trackWidth) InstallRegisterHook(kTrackWidthSite, &TrackWidthHook, kTrackWidthResume);
    if (settings->tireWidth) {
        // The host's   mov ebx, [esi+0x324C]   that the jump displaces.
        static_assert(host::kRenderTireWidthWord == 0x324C);
        InstallRegisterHook(kTireWidthSite, &TireWidthHook, kTireWidthResume, {0x8B, 0x9E, 0x4C, 0x32, 0x00, 0x00});
    }
}

}  // namespace morvane
