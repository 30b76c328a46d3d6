// Light shaders, light states and textures, and the brake light's "_ONF" texture.
//
// Six patches, written whatever the settings; the shader replacement follows the car's
// profile each time the host runs the patched code:
//   0x7ADCA8  light state of a car into ESI (ECX: render record)
//   0x7DEF18  replacement brake-light and headlight shaders, then the host's own
//             comparison of [ESP+0x14] with 0x2D, whose flags the host goes on with
//   0x7ADE83  the four light-table values into EDX, EAX, EBX and EBP
//   0x7CECC7, 0x7CECCD  two 32-bit operands
//   0x7CF764  the brake light's "_ONF" texture added to the car's texture list, then the
//             host routine's own epilogue, which returns to its caller
#include <cstdint>
#include <cstdio>

#include "config/Profiles.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"
#include "startup/Installers.h"

namespace morvane {

namespace {

constexpr uint32_t kLightStateSite = 0x7ADCA8;
constexpr uint32_t kLightStateResume = 0x7ADCAE;

constexpr uint32_t kLightShaderSite = 0x7DEF18;
constexpr uint32_t kLightShaderResume = 0x7DEF1D;

constexpr uint32_t kLightTextureSelectSite = 0x7ADE83;
constexpr uint32_t kLightTextureSelectResume = 0x7ADE9F;

constexpr uint32_t kFirstOperandSite = 0x7CECC7;
constexpr uint32_t kFirstOperand = 0xD4;
constexpr uint32_t kSecondOperandSite = 0x7CECCD;
constexpr uint32_t kSecondOperand = 0xCC;

constexpr uint32_t kOnfTextureSite = 0x7CF764;
// The displaced epilogue returns to the host routine's caller, so the entry's jump
// onward is never taken; it is aimed past the site's jump all the same.
constexpr uint32_t kAfterOnfTextureJump = kOnfTextureSite + 5;
constexpr uint32_t kOnfTextureRideSlot = 0x74;  // the routine's second stack argument

constexpr int32_t kLeftBrakeLightSlot = 30;
constexpr int32_t kModeThree = 3;
constexpr int32_t kModeSix = 6;

template <typename T>
T& At(uint32_t address) {
    return *reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

constinit const host::NameHash kBrakeLight{"BRAKELIGHT"}, kBrakeLightGlow{"BRAKELIGHT_GLOW"},
    kHeadlightReflector{"HEADLIGHTREFLECTOR"}, kLightGlow{"LIGHT_GLOW"}, kTextureName{"TEXTURE_NAME"};

void ReplaceShader(void* object, const host::NameHash& slot, const host::NameHash& shaderName) {
    void* shader = host::HostFindShader(shaderName(), 1);
    host::HostSetShaderSlot(object, slot(), shader);
}

}  // namespace

uint32_t LightStateFlag(const uint8_t* record) {
    if (*host::HostLightStateOverride != 0) return 1;
    if (record == nullptr) return 0;
    const uint32_t key = *reinterpret_cast<const uint32_t*>(record + host::kRenderLightTextureKey);
    if (host::HostTextureLookup(key, 0, 0) == 0) return 0;
    return *host::HostGameMode == kModeThree ? 1 : 0;
}

void ApplyLightShaders(const host::RideRecord* ride, void* object) {
    if (ride == nullptr || object == nullptr) return;
    const CarProfile* profile = ProfileForCarType(ride->carType);
    if (profile == nullptr) return;
    const bool modeThree = *host::HostGameMode == kModeThree;
    if (profile->replaceBrakelightShader) {
        ReplaceShader(object, kBrakeLight, modeThree ? kBrakeLight : kBrakeLightGlow);
    }
    if (profile->replaceHeadlightShader) {
        ReplaceShader(object, kHeadlightReflector, modeThree ? kHeadlightReflector : kLightGlow);
    }
}

void AddOnfTexture(uint8_t* list, host::RideRecord* ride) {
    if (list == nullptr || ride == nullptr) return;
    host::Part* part = host::HostRideGetPart(ride, kLeftBrakeLightSlot);
    if (part == nullptr) return;
    const auto name =
        static_cast<uint32_t>(host::HostPartGetAttribute(part, kTextureName(), 0));
    uint32_t key;
    if (name != 0) {
        key = host::HostStringHashSeeded("_ONF", name);
    } else {
        const char* baseName = host::HostCarTypeName(ride->carType);
        if (baseName == nullptr) return;
        char text[128];
        std::snprintf(text, sizeof text, "%s_KIT00_BRAKELIGHT_ONF", baseName);
        key = host::HostStringHash(text);
    }

    // A full list takes no key, and its count stays as it is: the host's readers go no
    // further than the count.
    auto* keys = reinterpret_cast<uint32_t*>(list);
    for (int32_t i = 0; i < host::kTextureListCapacity; ++i) {
        if (keys[i] != 0) continue;
        keys[i] = key;
        ++*reinterpret_cast<uint32_t*>(list + host::kTextureListCount);
        break;
    }
    if (host::HostTextureLookup(key, 0, 0) != 0) {
        *reinterpret_cast<uint32_t*>(list + host::kTextureListBrakeLightOn) = key;
    }
}

// ECX: the render record. ESI receives its light state; nothing else changes.
void LightStateHook(RegisterRecord& registers) {
    registers.esi = LightStateFlag(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(registers.ecx))) != 0;
}

// ESI: the render record; EDI: where the object receiving the shaders is held. The
// host's comparison follows as the displaced instruction.
void LightShaderHook(RegisterRecord& registers) {
    if (registers.esi == 0) return;
    const host::RideRecord* ride = host::RideOfRenderRecord(registers.esi);
    void* object = registers.edi == 0 ? nullptr : At<void*>(registers.edi);
    ApplyLightShaders(ride, object);
}

// ECX: the record with the light tables; EAX, ESI and EDI: three indices into them.
void LightTextureSelectHook(RegisterRecord& registers) {
    const uint32_t record = registers.ecx;
    const uint32_t brakeValue = At<uint32_t>(record + host::kRenderLightBrakeValue);
    if (*host::HostGameMode == kModeSix && brakeValue != 0 && registers.eax == 0) {
        registers.edx = brakeValue;
        registers.ebx = brakeValue;
        registers.ebp = brakeValue;
        registers.eax = At<uint32_t>(record + host::kRenderLightAltTable);
        return;
    }
    const uint32_t index = registers.eax;
    registers.edx = At<uint32_t>(record + host::kRenderLightTable + 4 * index);
    registers.eax = At<uint32_t>(record + host::kRenderLightAltTable + 4 * index);
    registers.ebx = At<uint32_t>(record + host::kRenderLightTable + 4 * registers.esi);
    registers.ebp = At<uint32_t>(record + host::kRenderLightTable + 4 * registers.edi);
}

// ESI: the car texture list; the ride record is the routine's second stack argument.
// The host's epilogue follows as the displaced instructions.
void OnfTextureHook(RegisterRecord& registers) {
    AddOnfTexture(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(registers.esi)),
                  reinterpret_cast<host::RideRecord*>(static_cast<uintptr_t>(registers.Stack(kOnfTextureRideSlot))));
}

void InstallLightPatches() {
    if (GlobalSettings() == nullptr) return;
    InstallRegisterHook(kLightStateSite, &LightStateHook, TranslateHostAddress(kLightStateResume));
    InstallRegisterHook(kLightShaderSite, &LightShaderHook, TranslateHostAddress(kLightShaderResume),
                        {0x83, 0x7C, 0x24, 0x14, 0x2D});  // cmp dword ptr [esp+0x14], 0x2D
    InstallRegisterHook(kLightTextureSelectSite, &LightTextureSelectHook,
                        TranslateHostAddress(kLightTextureSelectResume));
    WriteHost32(TranslateHostAddress(kFirstOperandSite), kFirstOperand);
    WriteHost32(TranslateHostAddress(kSecondOperandSite), kSecondOperand);
    InstallRegisterHook(kOnfTextureSite, &OnfTextureHook, TranslateHostAddress(kAfterOnfTextureJump),
                        {0x5E,                 // pop esi
                         0x5D,                 // pop ebp
                         0x5B,                 // pop ebx
                         0x83, 0xC4, 0x60,     // add esp, 0x60
                         0xC3});               // ret
}

}  // namespace morvane
