#include "SimTextures.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "HostLayout.h"
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

uint32_t __cdecl HostTextureLookup(uint32_t key, int32_t, int32_t) {
    const HostCall call;
    lookups.push_back(key);
    return textures.count(key) != 0 ? 1 : 0;
}

const Shader* __cdecl HostFindShader(uint32_t nameHash, int32_t second) {
    const HostCall call;
    findShaderCalls.push_back({nameHash, second});
    for (const Shader& shader : kShaders) {
        if (Hash(shader.name) == nameHash) return &shader;
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

// ---- The report: sample cars prepared for drawing through the patched sites ----------

bool Patched(uint32_t site) { return *reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(site)) == 0xE9; }

struct SampleCar {
    const char* name;
    bool copPlate;
    const char* tire;        // TEXTURE_NAME of the tire part (null: no tire part; "": none named)
    const char* tireNormal;  // TEXTURE_NAME_N
    int plate;               // 0 none, 1 stock, 2 aftermarket
    const char* plateTexture;
    const char* brakeLight;  // TEXTURE_NAME of the brake-light part (null: no part; "": none named)
};

void ReportCar(const SampleCar& car) {
    const int32_t type = AddCarType(car.name);
    if (car.copPlate) Field<int32_t>(CarTypeRecord(type), 0x94) = 1;
    Ride& ride = NewRide(type);
    auto attribute = [](Part& part, const char* name, const char* value) {
        if (value == nullptr || *value == 0) return;
        textureNames.emplace_back(value);  // named in the report
        part.Set(name, static_cast<int32_t>(Hash(value)));
    };
    if (car.tire) {
        Part& tire = AddPart(std::string(car.name) + "_TIRES", type, 70);
        attribute(tire, "TEXTURE_NAME", car.tire);
        attribute(tire, "TEXTURE_NAME_N", car.tireNormal);
        ride.parts[70] = &tire;
    }
    if (car.plate) {
        Part& plate = AddPart(std::string(car.name) + "_LICENSE_PLATE", type, 86, car.plate == 1);
        attribute(plate, "TEXTURE_NAME", car.plateTexture);
        ride.parts[86] = &plate;
    }
    if (car.brakeLight) {
        Part& light = AddPart(std::string(car.name) + "_KIT00_LEFT_BRAKELIGHT", type, 30, true);
        attribute(light, "TEXTURE_NAME", car.brakeLight);
        ride.parts[30] = &light;
    }
    uint8_t* render = NewRenderRecord(&ride);
    std::printf("  %s%s\n", car.name, car.copPlate ? " (police plate in its type record)" : "");
    auto named = [](const char* texture) { return std::string(texture && *texture ? texture : "no texture"); };
    std::printf("    fitted:        tires %s, plate %s, brake light %s\n",
                car.tire ? (named(car.tire) + (car.tireNormal ? " / " + named(car.tireNormal) : "")).c_str() : "none",
                car.plate ? ((car.plate == 1 ? "stock " : "aftermarket ") + named(car.plateTexture)).c_str() : "none",
                car.brakeLight ? named(car.brakeLight).c_str() : "none");

    // Prepared for drawing: the routine's return at 0x7D9E14.
    Run prepare;
    prepare.site = kPrepareReturn;
    prepare.registers.esi = Address(render);
    prepare.stack = {kReturnToSimulator};
    const Capture prepared = RunHostCode(prepare);
    if (prepared.exit != Exit::Returned || prepared.esp != prepared.espAtSite + 4) {
        std::printf("    the routine did not return to its caller as the game expects\n");
    }
    std::string line;
    for (const ReplacementSlot& slot : kReplacementSlots) {
        const TextureReplacement& entry = Replacement(render, slot.offset);
        if (entry.replaced == 0) continue;
        line += (line.empty() ? "" : ", ") + std::string(slot.replaced) + " -> " + NameOf(entry.replacement);
    }
    std::printf("    textures:      %s\n", line.empty() ? "the game's own" : line.c_str());

    // Lit in game modes 3 and 6.
    const int32_t savedMode = Global<int32_t>(layout::kGameMode);
    std::string shaders, states;
    for (const int32_t mode : {3, 6}) {
        Global<int32_t>(layout::kGameMode) = mode;
        ShaderObject object{0x5EAD};
        const ShaderObject* holder = &object;
        const size_t before = shaderSlotCalls.size();
        Run light;
        light.site = kLightShader;
        light.resume = kLightShaderResume;
        light.registers.esi = Address(render);
        light.registers.edi = Address(&holder);
        light.stack = {0, 0, 0, 0, 0, 0x2D};
        RunHostCode(light);
        std::string set;
        for (size_t i = before; i < shaderSlotCalls.size(); ++i) {
            const auto* shader = static_cast<const Shader*>(shaderSlotCalls[i].shader);
            set += (set.empty() ? "" : ", ") + NameOf(shaderSlotCalls[i].slotHash) + " <- " +
                   (shader ? shader->name : "none");
        }
        char text[200];
        std::snprintf(text, sizeof text, "%smode %d: %s", shaders.empty() ? "" : "; ", mode,
                      set.empty() ? "the game's own" : set.c_str());
        shaders += text;

        if (Patched(kLightState)) {
            Field<uint32_t>(render, kLightTextureKey) = Hash(std::string(car.name) + "_LIGHTS");
            Run state;
            state.site = kLightState;
            state.resume = kLightStateResume;
            state.registers.ecx = Address(render);
            const Capture after = RunHostCode(state);
            std::snprintf(text, sizeof text, "%s%u in mode %d", states.empty() ? "" : ", ", after.registers.esi, mode);
            states += text;
        }
    }
    Global<int32_t>(layout::kGameMode) = savedMode;
    std::printf("    light shaders: %s\n", shaders.c_str());
    if (!states.empty()) std::printf("    light state:   %s\n", states.c_str());

    // Its texture list filled: the routine's epilogue at 0x7CF764 with the list in ESI and
    // the ride record as second argument; the game already listed three textures.
    uint8_t* list = NewTextureList();
    for (uint32_t i = 0; i < 3; ++i) TextureListKeys(list)[i] = Hash("CARSKIN") + i;
    TextureListCount(list) = 3;
    Run fill;
    fill.site = kTextureListEpilogue;
    fill.registers.esi = Address(list);
    fill.stack.assign(0x78 / 4, 0);
    fill.stack[0x6C / 4] = kReturnToSimulator;
    fill.stack[0x74 / 4] = Address(&ride);
    const Capture filled = RunHostCode(fill);
    if (filled.exit != Exit::Returned || filled.esp != filled.espAtSite + 0x70) {
        std::printf("    the list routine did not return to its caller as the game expects\n");
    }
    const uint32_t added = TextureListKeys(list)[3];
    const uint32_t lit = TextureListBrakeLightOn(list);
    std::printf("    texture list:  %s (count %u)%s\n", added ? ("+ " + NameOf(added)).c_str() : "nothing added",
                TextureListCount(list), lit ? (", lit brake light " + NameOf(lit)).c_str() : "");
}

void Report() {
    std::printf("\nTire and plate textures, light shaders (sample cars prepared for drawing through the patched sites):\n");
    if (!Patched(kPrepareReturn)) std::printf("  0x%08X not patched: the game's own textures\n", kPrepareReturn);
    if (!Patched(kLightShader)) std::printf("  0x%08X not patched: the game's own light shaders\n", kLightShader);
    AddTexture("SUPRA_KIT02_BRAKELIGHT_ONF");
    AddTexture("COPMIDSIZE_KIT00_BRAKELIGHT_ONF");
    for (const char* car : {"SUPRA", "FAIRLADY", "COPMIDSIZE"}) AddTexture(std::string(car) + "_LIGHTS");
    const SampleCar cars[] = {
        {"SUPRA", false, "TIRE_SLICK", "TIRE_SLICK_N", 2, "LP_JDM", "SUPRA_KIT02_BRAKELIGHT"},
        {"FAIRLADY", false, "TIRE_WHITEWALL", nullptr, 1, nullptr, ""},
        {"RX7", false, nullptr, nullptr, 0, nullptr, "RX7_KIT03_BRAKELIGHT"},
        {"COPMIDSIZE", true, "", nullptr, 1, "LP_US", ""},
    };
    for (const SampleCar& car : cars) ReportCar(car);
}

ModelRegistration reg({"textures", 50, &Place, &Reset, &Report});

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
