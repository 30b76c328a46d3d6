// Light shaders, light states and textures, and the brake light's "_ONF" texture.
//
//   light state    ECX: render record; its light state goes into ESI
//   light shaders  the replacement brake-light and headlight shaders, then the game's own
//                  comparison of [ESP+0x14] with 0x2D, whose flags the game goes on with
//   light tables   the four light-table values into EDX, EAX, EBX and EBP
//   two 32-bit operands of the light set-up
//   texture list   the brake light's "_ONF" texture added to the car's texture list, then
//                  the game routine's own epilogue, which returns to its caller
#include "effects/LightShaders.h"

#include "config/Lookups.h"
#include "config/NameText.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "feature/Site.h"

namespace morvane {

using namespace host;

namespace {


constinit const NameHash kBrakeLight{"BRAKELIGHT"}, kBrakeLightGlow{"BRAKELIGHT_GLOW"},
    kHeadlightReflector{"HEADLIGHTREFLECTOR"}, kLightGlow{"LIGHT_GLOW"}, kTextureName{"TEXTURE_NAME"};

void ReplaceShader(void* object, const NameHash& slotName, const NameHash& shaderName) {
    void* shader = HostFindShader(shaderName(), 1);
    HostSetShaderSlot(object, slotName(), shader);
}

// The key of the brake light's lit texture: the part's texture name with "_ONF", else
// the car's stock "_ONF" texture. False when there is none to name.
bool OnfTextureKey(Part* part, int32_t carType, uint32_t& key) {
    const auto name = static_cast<uint32_t>(HostPartGetAttribute(part, kTextureName(), 0));
    if (name != 0) {
        key = HostStringHashSeeded("_ONF", name);
        return true;
    }
    const char* baseName = HostCarTypeName(carType);
    if (baseName == nullptr) return false;
    char text[128];
    NameText(text) << baseName << "_KIT00_BRAKELIGHT_ONF";
    key = HostStringHash(text);
    return true;
}

// ECX: the render record. ESI receives its light state; nothing else changes.
void LightStateHook(RegisterRecord& r) { r.esi = LightStateFlag(At<const uint8_t>(r.ecx)) != 0; }

// ESI: the render record; EDI: where the object receiving the shaders is held. The
// game's comparison follows as the displaced instruction.
void LightShaderHook(RegisterRecord& r) {
    if (r.esi == 0) return;
    const RideRecord* ride = RideOfRenderRecord(r.esi);
    void* object = r.edi == 0 ? nullptr : *At<void*>(r.edi);
    ApplyLightShaders(ride, object);
}

// ECX: the record with the light tables; EAX, ESI and EDI: three indices into them.
void LightTextureSelectHook(RegisterRecord& r) {
    const uint8_t* record = At<const uint8_t>(r.ecx);
    const auto table = [record](uint32_t offset, uint32_t index) { return Read<uint32_t>(record, offset + 4 * index); };
    const uint32_t brakeValue = Read<uint32_t>(record, render::kLightBrakeValue);
    if (*HostGameMode == game_mode::kSix && brakeValue != 0 && r.eax == 0) {
        r.edx = brakeValue;
        r.ebx = brakeValue;
        r.ebp = brakeValue;
        r.eax = table(render::kLightAltTable, 0);
        return;
    }
    const uint32_t index = r.eax;
    r.edx = table(render::kLightTable, index);
    r.eax = table(render::kLightAltTable, index);
    r.ebx = table(render::kLightTable, r.esi);
    r.ebp = table(render::kLightTable, r.edi);
}

// ESI: the car texture list; the ride record is the routine's second stack argument.
// The game's epilogue follows as the displaced instructions.
void OnfTextureHook(RegisterRecord& r) {
    AddOnfTexture(At<uint8_t>(r.esi), At<RideRecord>(r.Stack(stack::texture_list_end::kRideRecord)));
}

constexpr uint8_t kCompareLightSlot[] = {0x83, 0x7C, 0x24, 0x14, 0x2D};  // cmp dword ptr [esp+0x14], 0x2D
constexpr uint8_t kTextureListEpilogue[] = {
    0x5E,              // pop esi
    0x5D,              // pop ebp
    0x5B,              // pop ebx
    0x83, 0xC4, 0x60,  // add esp, 0x60
    0xC3,              // ret
};
constexpr uint32_t kTextureListEnd = 0x7CF764;

constexpr Site kSites[] = {
    // Replaces the game's own reading of the light state into ESI (6 bytes).
    Hook("a car's light state", 0x7ADCA8, &LightStateHook, 0x7ADCAE),
    Hook("a car's light shaders", 0x7DEF18, &LightShaderHook, 0x7DEF1D, kCompareLightSlot,
         DecidedPerCar<&CarProfile::replaceBrakelightShader, &CarProfile::replaceHeadlightShader>()),
    // Replaces the game's four loads from the light tables (28 bytes).
    Hook("a car's light tables", 0x7ADE83, &LightTextureSelectHook, 0x7ADE9F),
    Value32("light set-up operand 1", 0x7CECC7, 0xD4),
    Value32("light set-up operand 2", 0x7CECCD, 0xCC),
    // The displaced epilogue returns to the routine's caller, so the entry's jump onward
    // is never taken; it is aimed past the site's jump all the same.
    Hook("end of filling a car's texture list", kTextureListEnd, &OnfTextureHook, kTextureListEnd + 5,
         kTextureListEpilogue),
};

}  // namespace

uint32_t LightStateFlag(const uint8_t* record) {
    if (*HostLightStateOverride != 0) return 1;
    if (record == nullptr) return 0;
    if (HostTextureLookup(Read<uint32_t>(record, render::kLightTextureKey), 0, 0) == 0) return 0;
    return *HostGameMode == game_mode::kCustomization ? 1 : 0;
}

void ApplyLightShaders(const RideRecord* ride, void* object) {
    if (ride == nullptr || object == nullptr) return;
    const Configuration& config = CurrentConfiguration();
    const CarProfile* profile = config.ProfileInForce(ride->carType);
    if (profile == nullptr) return;
    const bool customizing = *HostGameMode == game_mode::kCustomization;
    if (SwitchOnForCar<&CarProfile::replaceBrakelightShader>(profile, config.global)) {
        ReplaceShader(object, kBrakeLight, customizing ? kBrakeLight : kBrakeLightGlow);
    }
    if (SwitchOnForCar<&CarProfile::replaceHeadlightShader>(profile, config.global)) {
        ReplaceShader(object, kHeadlightReflector, customizing ? kHeadlightReflector : kLightGlow);
    }
}

void AddOnfTexture(uint8_t* list, RideRecord* ride) {
    if (list == nullptr || ride == nullptr) return;
    Part* part = HostRideGetPart(ride, slot::kLeftBrakeLight);
    uint32_t key;
    if (part == nullptr || !OnfTextureKey(part, ride->carType, key)) return;

    // A full list takes no key, and its count stays as it is: the game's readers go no
    // further than the count.
    auto* keys = reinterpret_cast<uint32_t*>(list);
    for (int32_t i = 0; i < texture_list::kCapacity; ++i) {
        if (keys[i] != 0) continue;
        keys[i] = key;
        ++Field<uint32_t>(list, texture_list::kCount);
        break;
    }
    if (HostTextureLookup(key, 0, 0) != 0) Field<uint32_t>(list, texture_list::kBrakeLightOn) = key;
}

void InstallLightShaders() { InstallSites(kSites, GlobalSettings()); }

}  // namespace morvane
