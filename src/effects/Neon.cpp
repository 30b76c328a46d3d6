// Neon underglow in place of the car shadow.
//
// Two register hooks in the game's shadow code:
//   shadow texture  ESI = render record; the texture's name hash goes back in EAX.
//   shadow colour   EAX = the game's colour word, [ESP+4] = render record; the word with
//                   the neon colour added goes back in EAX.
// Eight float operands of the shadow-drawing code are pointed at constants of this
// library and one six-byte instruction there is removed.
#include "effects/Neon.h"

#include "config/Settings.h"
#include "feature/Site.h"
#include "feature/SteerAnimation.h"
#include "host/Host.h"

namespace morvane {

using namespace host;

namespace {

constexpr float kPulseRate = 1.2f;
constexpr float kPulseLow = 0.3f;
constexpr float kPulseHigh = 1.0f;

// The values the shadow-drawing code reads through the operands the table points at
// them. They stay at their addresses for as long as the process runs.
const float shadowConstants[8] = {2.0f, 2.0f, 0.5f, 70.0f, 1.2f, 1.2f, 1.05f, 1.05f};

constinit const NameHash kCarShadow{"CARSHADOW"}, kTextureName{"TEXTURE_NAME"}, kRed{"RED"}, kGreen{"GREEN"},
    kBlue{"BLUE"}, kPulse{"PULSE"};

// The pulse of the last car stepped, taken over by the next car prepared in mode 3.
float savedPulseIntensity = 0.0f;
float savedPulseRate = 0.0f;

// A channel value scaled by the brightness, truncated toward zero. Beyond the 32-bit
// range the answer is 0x80000000, as the processor's own conversion gives.
uint32_t ScaledChannel(int32_t value, float brightness) {
    const float scaled = static_cast<float>(value) * brightness;
    if (!(scaled > -2147483904.0f && scaled < 2147483648.0f)) return 0x80000000u;
    return static_cast<uint32_t>(static_cast<int32_t>(scaled));
}

// Moves the pulse one frame on, turning at either bound, unless the game is paused.
float StepPulse(uint8_t* record) {
    float& intensity = Field<float>(record, render::kPulseIntensity);
    float& rate = Field<float>(record, render::kPulseRate);
    if (HostIsPaused() == 0) {
        float next = rate * *HostFrameTime + intensity;
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
    return intensity;
}

// ESI: the render record.
void ShadowTextureHook(RegisterRecord& r) { r.eax = ShadowTexture(At<uint8_t>(r.esi)); }

// EAX: the game's colour word; [ESP+4]: the render record.
void NeonColorHook(RegisterRecord& r) { r.eax = NeonColor(At<uint8_t>(r.Stack(stack::shadow_colour::kRenderRecord)), r.eax); }

constexpr Gate kNeon = On<&PluginSettings::neon>();

constexpr Site kSites[] = {
    // Each replaces five bytes of the game's shadow code: the texture's name hash comes back
    // in EAX, and the colour word in EAX gains the neon part's colour.
    FloatHook("the shadow's texture", 0x7E5A6A, &ShadowTextureHook, 0x7E5A6F, {}, kNeon),
    FloatHook("the shadow's colour", 0x7BEA68, &NeonColorHook, 0x7BEA6D, {}, kNeon),
    PointerToData("shadow constant 1", 0x7BE4F4, &shadowConstants[0], kNeon),
    PointerToData("shadow constant 2", 0x7BE50D, &shadowConstants[1], kNeon),
    PointerToData("shadow constant 3", 0x7BE501, &shadowConstants[2], kNeon),
    PointerToData("shadow constant 4", 0x7BEA36, &shadowConstants[3], kNeon),
    PointerToData("shadow constant 5", 0x7BE5B9, &shadowConstants[4], kNeon),
    PointerToData("shadow constant 6", 0x7BE5AB, &shadowConstants[5], kNeon),
    PointerToData("shadow constant 7", 0x7BE59B, &shadowConstants[6], kNeon),
    PointerToData("shadow constant 8", 0x7BE58B, &shadowConstants[7], kNeon),
    Bytes("a shadow instruction", 0x7BEA3A, kNops<6>, kNeon),
};

}  // namespace

void InitNeonPulse(uint8_t* record) {
    float& intensity = Field<float>(record, render::kPulseIntensity);
    float& rate = Field<float>(record, render::kPulseRate);
    if (*HostGameMode == game_mode::kCustomization && savedPulseIntensity != 0.0f) {
        intensity = savedPulseIntensity;
        rate = savedPulseRate;
        return;
    }
    const int32_t drawn = HostRandomInt(101);
    intensity = static_cast<float>(drawn % 100 + 30) / 100.0f;
    rate = kPulseRate;
}

uint32_t ShadowTexture(uint8_t* record) {
    if (record == nullptr) return kCarShadow();
    InitNeonPulse(record);
    RideRecord* ride = RideOfRenderRecord(record);
    Part* part = ride == nullptr ? nullptr : HostRideGetPart(ride, slot::kNeon);
    if (part == nullptr) return kCarShadow();
    return static_cast<uint32_t>(HostPartGetAttribute(part, kTextureName(), static_cast<int32_t>(kCarShadow())));
}

uint32_t NeonColor(uint8_t* record, uint32_t hostWord) {
    StepSteerAnimation();
    RideRecord* ride = RideOfRenderRecord(record);
    if (ride == nullptr) return 0;
    Part* part = HostRideGetPart(ride, slot::kNeon);
    float brightness = 1.0f;
    int32_t red = 0, green = 0, blue = 0;
    if (part != nullptr) {
        red = HostPartGetAttribute(part, kRed(), 0);
        green = HostPartGetAttribute(part, kGreen(), 0);
        blue = HostPartGetAttribute(part, kBlue(), 0);
        if (HostPartGetAttribute(part, kPulse(), 0) != 0) brightness = StepPulse(record);
    }
    // Added, not masked: a channel above 255 carries into the next.
    const uint32_t colour = ScaledChannel(red, brightness) + ScaledChannel(green, brightness) * 0x100u +
                            ScaledChannel(blue, brightness) * 0x10000u;
    return hostWord | colour;
}

void InstallNeon() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
