// Neon underglow in place of the car shadow.
//
// Two register hooks in the host's shadow code:
//   0x7E5A6A shadow texture  ESI = render record; the texture's name hash goes back in EAX.
//   0x7BEA68 shadow colour   EAX = the host's colour word, [ESP+4] = render record; the
//                            word with the neon colour added goes back in EAX.
// Eight float operands of the shadow-drawing code are pointed at constants of this
// library and one six-byte instruction there is removed.
// The neon part is the part in slot 71; its "PULSE" makes the colour's brightness swing
// between 0.3 and 1.0, a state kept per car in its render record.
#include <cstdint>

#include "config/Settings.h"
#include "effects/SteerAnimation.h"
#include "host/Host.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

namespace {

using host::RideRecord;

constexpr int32_t kSlotNeon = 71;

constexpr uint32_t kShadowTextureSite = 0x7E5A6A;
constexpr uint32_t kShadowTextureResume = 0x7E5A6F;
constexpr uint32_t kNeonColorSite = 0x7BEA68;
constexpr uint32_t kNeonColorResume = 0x7BEA6D;
constexpr uint32_t kRemovedInstruction = 0x7BEA3A;
constexpr uint32_t kRemovedInstructionSize = 6;

constexpr float kPulseRate = 1.2f;
constexpr float kPulseLow = 0.3f;
constexpr float kPulseHigh = 1.0f;

// The values the shadow-drawing code reads through the operands at these sites. They
// stay at their addresses for as long as the process runs.
constexpr uint32_t kConstantSites[8] = {0x7BE4F4, 0x7BE50D, 0x7BE501, 0x7BEA36,
                                        0x7BE5B9, 0x7BE5AB, 0x7BE59B, 0x7BE58B};
const float shadowConstants[8] = {2.0f, 2.0f, 0.5f, 70.0f, 1.2f, 1.2f, 1.05f, 1.05f};

constinit const host::NameHash kCarShadow{"CARSHADOW"}, kTextureName{"TEXTURE_NAME"}, kRed{"RED"},
    kGreen{"GREEN"}, kBlue{"BLUE"}, kPulse{"PULSE"};

// The pulse of the last car stepped, taken over by the next car prepared in mode 3.
float savedPulseIntensity = 0.0f;
float savedPulseRate = 0.0f;

template <typename T>
T& FieldAt(uint8_t* record, uint32_t offset) {
    return *reinterpret_cast<T*>(record + offset);
}

// A channel value scaled by the brightness, truncated toward zero. Beyond the 32-bit
// range the answer is 0x80000000, as the processor's own conversion gives.
uint32_t ScaledChannel(int32_t value, float brightness) {
    const float scaled = static_cast<float>(value) * brightness;
    if (!(scaled > -2147483904.0f && scaled < 2147483648.0f)) return 0x80000000u;
    return static_cast<uint32_t>(static_cast<int32_t>(scaled));
}

}  // namespace

void InitNeonPulse(uint8_t* record) {
    float& intensity = FieldAt<float>(record, host::kRenderPulseIntensity);
    float& rate = FieldAt<float>(record, host::kRenderPulseRate);
    if (*host::HostGameMode == 3 && savedPulseIntensity != 0.0f) {
        intensity = savedPulseIntensity;
        rate = savedPulseRate;
        return;
    }
    const int32_t drawn = host::HostRandomInt(101);
    intensity = static_cast<float>(drawn % 100 + 30) / 100.0f;
    rate = kPulseRate;
}

uint32_t ShadowTexture(uint8_t* record) {
    if (record == nullptr) return kCarShadow();
    InitNeonPulse(record);
    RideRecord* ride = host::RideOfRenderRecord(record);
    host::Part* part = ride == nullptr ? nullptr : host::HostRideGetPart(ride, kSlotNeon);
    if (part == nullptr) return kCarShadow();
    return static_cast<uint32_t>(host::HostPartGetAttribute(part, kTextureName(), static_cast<int32_t>(kCarShadow())));
}

uint32_t NeonColor(uint8_t* record, uint32_t hostWord) {
    StepSteerAnimation();
    RideRecord* ride = host::RideOfRenderRecord(record);
    if (ride == nullptr) return 0;
    host::Part* part = host::HostRideGetPart(ride, kSlotNeon);
    float brightness = 1.0f;
    int32_t red = 0, green = 0, blue = 0;
    if (part != nullptr) {
        red = host::HostPartGetAttribute(part, kRed(), 0);
        green = host::HostPartGetAttribute(part, kGreen(), 0);
        blue = host::HostPartGetAttribute(part, kBlue(), 0);
        if (host::HostPartGetAttribute(part, kPulse(), 0) != 0) {
            float& intensity = FieldAt<float>(record, host::kRenderPulseIntensity);
            float& rate = FieldAt<float>(record, host::kRenderPulseRate);
            if (host::HostIsPaused() == 0) {
                float next = rate * *host::HostFrameTime + intensity;
                float nextRate = rate;
                if (next > kPulseHigh || next < kPulseLow) {
                    nextRate = rate * -1.0f;
                    next = next > kPulseHigh ? kPulseHigh : kPulseLow;
                }
                intensity = next;
                rate = nextRate;
                savedPulseIntensity = next;
                savedPulseRate = nextRate;
            }
            brightness = intensity;
        }
    }
    // Added, not masked: a channel above 255 carries into the next.
    const uint32_t colour =
        ScaledChannel(red, brightness) + ScaledChannel(green, brightness) * 0x100u + ScaledChannel(blue, brightness) * 0x10000u;
    return hostWord | colour;
}

namespace {

void ShadowTextureHook(RegisterRecord& r) { r.eax = ShadowTexture(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(r.esi))); }

void NeonColorHook(RegisterRecord& r) {
    r.eax = NeonColor(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(r.Stack(0x04))), r.eax);
}

}  // namespace

void InstallNeon() {
    const PluginSettings* settings = GlobalSettings();
    if (settings == nullptr || !settings->neon) return;
    InstallRegisterHook(kShadowTextureSite, &ShadowTextureHook, kShadowTextureResume);
    InstallRegisterHook(kNeonColorSite, &NeonColorHook, kNeonColorResume);
    for (int i = 0; i < 8; ++i) WriteHost32(TranslateHostAddress(kConstantSites[i]), CodeAddress(&shadowConstants[i]));
    WriteNops(TranslateHostAddress(kRemovedInstruction), kRemovedInstructionSize);
}

}  // namespace morvane
