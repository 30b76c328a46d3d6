#include "SimTextures.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "Sim.h"

namespace sim::textures {

namespace {

std::set<uint32_t> textures;
std::vector<std::string> textureNames;
std::vector<uint32_t> lookups;
std::vector<FindShaderCall> findShaderCalls;
std::vector<ShaderSlotCall> shaderSlotCalls;

const Shader kShaders[] = {{"BRAKELIGHT"}, {"BRAKELIGHT_GLOW"}, {"HEADLIGHTREFLECTOR"}, {"LIGHT_GLOW"},
                           {"CARSKIN"},    {"WINDSHIELD"}};

// The game's own texture table is the one looked in with (key, 0, 0); what other arguments
// reach is not modelled, and found empty.
uint32_t __cdecl HostTextureLookup(uint32_t key, int32_t where, int32_t how) {
    const HostCall call;
    lookups.push_back(key);
    return where == 0 && how == 0 && textures.count(key) != 0 ? 1 : 0;
}

// The shaders' name hashes, taken once: the game looks its shaders up by hash.
const std::vector<uint32_t>& ShaderHashes() {
    static const std::vector<uint32_t> hashes = [] {
        std::vector<uint32_t> all;
        for (const Shader& shader : kShaders) all.push_back(Hash(shader.name));
        return all;
    }();
    return hashes;
}

const Shader* __cdecl HostFindShader(uint32_t nameHash, int32_t second) {
    const HostCall call;
    findShaderCalls.push_back({nameHash, second});
    for (size_t i = 0; i < std::size(kShaders); ++i) {
        if (ShaderHashes()[i] == nameHash) return &kShaders[i];
    }
    return nullptr;
}

void __thiscall HostSetShaderSlot(ShaderObject* object, uint32_t slotHash, const void* shader) {
    const HostCall call;
    shaderSlotCalls.push_back({object, slotHash, shader});
}

void Plant(uint32_t address, std::initializer_list<uint8_t> bytes) {
    std::memcpy(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), bytes.begin(), bytes.size());
}

void Place() {
    PlaceRoutine(kTextureLookup, reinterpret_cast<const void*>(&HostTextureLookup));
    PlaceRoutine(kFindShader, reinterpret_cast<const void*>(&HostFindShader));
    PlaceRoutine(kSetShaderSlot, reinterpret_cast<const void*>(&HostSetShaderSlot));
    // The game's own code where the plug-in takes over (the host range is writable while
    // models are placed, and the snapshot takes these bytes as the game's).
    Plant(kPrepareReturn, {0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC});  // ret
    Plant(kLightShader, {0x83, 0x7C, 0x24, 0x14, 0x2D});  // cmp dword ptr [esp+0x14], 0x2D
    Plant(kLightTextureSelect, {0x8B, 0x94, 0x81, 0x98, 0x30, 0x00, 0x00,    // mov edx, [ecx+eax*4+0x3098]
                                0x8B, 0x84, 0x81, 0xA4, 0x30, 0x00, 0x00,    // mov eax, [ecx+eax*4+0x30A4]
                                0x8B, 0x9C, 0xB1, 0x98, 0x30, 0x00, 0x00,    // mov ebx, [ecx+esi*4+0x3098]
                                0x8B, 0xAC, 0xB9, 0x98, 0x30, 0x00, 0x00});  // mov ebp, [ecx+edi*4+0x3098]
    Plant(kTextureListEpilogue, {0x5E, 0x5D, 0x5B, 0x83, 0xC4, 0x60, 0xC3});  // pop esi/ebp/ebx; add esp,0x60; ret
}

void Reset() {
    textures.clear();
    textureNames.clear();
    lookups.clear();
    findShaderCalls.clear();
    shaderSlotCalls.clear();
    LightStateOverride() = 0;
}

ModelRegistration reg({"textures", 50, &Place, &Reset});

}  // namespace

const ReplacementSlot kReplacementSlots[5] = {{kTireStyle01, "TIRE_STYLE01"},
                                              {kTireStyle02, "TIRE_STYLE02"},
                                              {kTireStyle01Normal, "TIRE_STYLE01_N"},
                                              {kTireStyle02Normal, "TIRE_STYLE02_N"},
                                              {kLicensePlate, "LICENSEPLATE"}};

TextureReplacement& Replacement(uint8_t* renderRecord, uint32_t offset) {
    return Field<TextureReplacement>(renderRecord, offset);
}

uint8_t* NewTextureList() { return NewBlock(0x400); }
uint32_t* TextureListKeys(uint8_t* list) { return reinterpret_cast<uint32_t*>(list); }
uint32_t& TextureListCount(uint8_t* list) { return Field<uint32_t>(list, kTextureListCount); }
uint32_t& TextureListBrakeLightOn(uint8_t* list) { return Field<uint32_t>(list, kTextureListBrakeLightOn); }

void AddTexture(const std::string& name) {
    textureNames.push_back(name);
    textures.insert(Hash(name));
}

void AddTextureKey(uint32_t key) { textures.insert(key); }

const std::vector<uint32_t>& TextureLookups() { return lookups; }

const Shader* ShaderNamed(const std::string& name) {
    for (const Shader& shader : kShaders) {
        if (name == shader.name) return &shader;
    }
    return nullptr;
}

const std::vector<FindShaderCall>& FindShaderCalls() { return findShaderCalls; }
const std::vector<ShaderSlotCall>& ShaderSlotCalls() { return shaderSlotCalls; }

uint8_t& LightStateOverride() { return Global<uint8_t>(kLightStateOverride); }

std::string NameOf(uint32_t hash) {
    std::vector<std::string> known(HashedTexts().begin(), HashedTexts().end());
    known.insert(known.end(), textureNames.begin(), textureNames.end());
    for (const Shader& shader : kShaders) known.emplace_back(shader.name);
    for (const ReplacementSlot& slot : kReplacementSlots) known.emplace_back(slot.replaced);
    for (const std::string& name : known) {
        if (Hash(name) == hash) return name;
        if (Hash(name + "_ONF") == hash) return name + "_ONF";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", hash);
    return text;
}

}  // namespace sim::textures
