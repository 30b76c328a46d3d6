#pragma once
// The game's side of car textures and light shaders: the texture and shader look-ups, the
// light slots of the object that carries a car's light shaders, the light override byte,
// the texture replacements and light values of a render record, the car texture list,
// and the game's own code at the places where it prepares and lights a car.
#include <cstdint>
#include <string>
#include <vector>

namespace sim::textures {

// ---- Addresses ----------------------------------------------------------------------
constexpr uint32_t kTextureLookup = 0x55CFD0;      // cdecl (key, 0, 0) -> nonzero if present
constexpr uint32_t kFindShader = 0x7473A0;         // cdecl (name hash, 1) -> shader
constexpr uint32_t kSetShaderSlot = 0x55C0B0;      // thiscall object (slot hash, shader)
constexpr uint32_t kLightStateOverride = 0xB74C18;  // byte

// Host code: the end of the routine that prepares a car for drawing (a plain return,
// ESI: render record), the light state of a car (ECX: render record; ESI receives it),
// the light-shader choice (ESI: render record, EDI: holder of the shader object; then
// cmp dword [esp+0x14], 0x2D), the four light-table loads, the two operands, and the
// epilogue of the routine that fills a car texture list (ESI: list; second argument:
// ride record).
constexpr uint32_t kPrepareReturn = 0x7D9E14;
constexpr uint32_t kLightState = 0x7ADCA8;
constexpr uint32_t kLightStateResume = 0x7ADCAE;
constexpr uint32_t kLightShader = 0x7DEF18;
constexpr uint32_t kLightShaderResume = 0x7DEF1D;
constexpr uint32_t kLightTextureSelect = 0x7ADE83;
constexpr uint32_t kLightTextureSelectEnd = 0x7ADE9F;
constexpr uint32_t kFirstOperand = 0x7CECC7;
constexpr uint32_t kSecondOperand = 0x7CECCD;
constexpr uint32_t kTextureListEpilogue = 0x7CF764;

// ---- Render record fields -------------------------------------------------------------
constexpr uint32_t kTireStyle01 = 0x5C4;
constexpr uint32_t kLicensePlate = 0x5DC;
constexpr uint32_t kTireStyle01Normal = 0x600;
constexpr uint32_t kTireStyle02 = 0x60C;
constexpr uint32_t kTireStyle02Normal = 0x618;
constexpr uint32_t kLightTextureKey = 0x3080;
constexpr uint32_t kLightTable = 0x3098;
constexpr uint32_t kLightAltTable = 0x30A4;
constexpr uint32_t kLightBrakeValue = 0x30B0;

struct TextureReplacement {
    uint32_t replaced;
    uint32_t replacement;
    uint32_t third;
};
TextureReplacement& Replacement(uint8_t* renderRecord, uint32_t offset);

// The five replacements of a render record, with their offsets and replaced names.
struct ReplacementSlot {
    uint32_t offset;
    const char* replaced;
};
extern const ReplacementSlot kReplacementSlots[5];

// ---- Car texture list -----------------------------------------------------------------
constexpr int kTextureListCapacity = 100;
constexpr uint32_t kTextureListCount = 0x340;
constexpr uint32_t kTextureListBrakeLightOn = 0x3F8;
uint8_t* NewTextureList();  // zeroed, until the next Reset
uint32_t* TextureListKeys(uint8_t* list);
uint32_t& TextureListCount(uint8_t* list);
uint32_t& TextureListBrakeLightOn(uint8_t* list);

// ---- Textures and shaders the game has --------------------------------------------------
// The game has a texture of this name (or key) from now until Reset.
void AddTexture(const std::string& name);
void AddTextureKey(uint32_t key);
// The keys the texture look-up was asked about, in call order.
const std::vector<uint32_t>& TextureLookups();

struct Shader {
    const char* name;
};
// The game's shaders are fixed: BRAKELIGHT, BRAKELIGHT_GLOW, HEADLIGHTREFLECTOR,
// LIGHT_GLOW, and a few others. Null for any other name.
const Shader* ShaderNamed(const std::string& name);

struct FindShaderCall {
    uint32_t nameHash;
    int32_t second;
};
const std::vector<FindShaderCall>& FindShaderCalls();

// The object that receives a car's light shaders; the host's setter records each call.
struct ShaderObject {
    uint32_t tag;
};
struct ShaderSlotCall {
    const ShaderObject* object;
    uint32_t slotHash;
    const void* shader;
};
const std::vector<ShaderSlotCall>& ShaderSlotCalls();

uint8_t& LightStateOverride();

// A name the model or the game hashed, for reports ("0x........" when none matches).
std::string NameOf(uint32_t hash);

}  // namespace sim::textures
