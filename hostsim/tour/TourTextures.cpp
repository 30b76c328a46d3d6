// Tire and plate textures and light shaders: sample cars prepared for drawing, lit and
// given their texture lists through the patched sites.
#include <cstdio>
#include <string>
#include <vector>

#include "HostLayout.h"
#include "SimTextures.h"
#include "Tour.h"

namespace tour {

namespace {

using namespace sim;
using namespace sim::textures;

struct SampleCar {
    const char* name;
    bool copPlate;
    const char* tire;        // TEXTURE_NAME of the tire part (null: no tire part; "": none named)
    const char* tireNormal;  // TEXTURE_NAME_N
    int plate;               // 0 none, 1 stock, 2 aftermarket
    const char* plateTexture;
    const char* brakeLight;  // TEXTURE_NAME of the brake-light part (null: no part; "": none named)
};

// The texture names the sample parts give, so that the report can name their hashes.
std::vector<std::string> partTextures;

std::string Named(uint32_t hash) {
    for (const std::string& name : partTextures) {
        if (Hash(name) == hash) return name;
        if (Hash(name + "_ONF") == hash) return name + "_ONF";
    }
    return NameOf(hash);
}

void SetTexture(Part& part, const char* attribute, const char* texture) {
    if (texture == nullptr || *texture == 0) return;
    partTextures.emplace_back(texture);
    part.Set(attribute, static_cast<int32_t>(Hash(texture)));
}

// The car's type and ride record with the parts it is fitted with.
Ride& FitSampleCar(const SampleCar& car) {
    const int32_t type = AddCarType(car.name);
    if (car.copPlate) Field<int32_t>(CarTypeRecord(type), 0x94) = 1;
    Ride& ride = NewRide(type);
    if (car.tire) {
        Part& tire = AddPart(std::string(car.name) + "_TIRES", type, 70);
        SetTexture(tire, "TEXTURE_NAME", car.tire);
        SetTexture(tire, "TEXTURE_NAME_N", car.tireNormal);
        ride.parts[70] = &tire;
    }
    if (car.plate) {
        Part& plate = AddPart(std::string(car.name) + "_LICENSE_PLATE", type, 86, car.plate == 1);
        SetTexture(plate, "TEXTURE_NAME", car.plateTexture);
        ride.parts[86] = &plate;
    }
    if (car.brakeLight) {
        Part& light = AddPart(std::string(car.name) + "_KIT00_LEFT_BRAKELIGHT", type, 30, true);
        SetTexture(light, "TEXTURE_NAME", car.brakeLight);
        ride.parts[30] = &light;
    }
    return ride;
}

void PrintFitted(const SampleCar& car) {
    std::printf("  %s%s\n", car.name, car.copPlate ? " (police plate in its type record)" : "");
    auto named = [](const char* texture) { return std::string(texture && *texture ? texture : "no texture"); };
    std::printf("    fitted:        tires %s, plate %s, brake light %s\n",
                car.tire ? (named(car.tire) + (car.tireNormal ? " / " + named(car.tireNormal) : "")).c_str() : "none",
                car.plate ? ((car.plate == 1 ? "stock " : "aftermarket ") + named(car.plateTexture)).c_str() : "none",
                car.brakeLight ? named(car.brakeLight).c_str() : "none");
}

// Prepared for drawing: the routine's return at 0x7D9E14.
void ReportPrepared(uint8_t* render) {
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
        line += (line.empty() ? "" : ", ") + std::string(slot.replaced) + " -> " + Named(entry.replacement);
    }
    std::printf("    textures:      %s\n", line.empty() ? "the game's own" : line.c_str());
}

// The light shaders set through the light-shader site in the current game mode.
std::string ShadersSet(uint8_t* render) {
    ShaderObject object{0x5EAD};
    const ShaderObject* holder = &object;
    const size_t before = ShaderSlotCalls().size();
    Run light;
    light.site = kLightShader;
    light.resume = kLightShaderResume;
    light.registers.esi = Address(render);
    light.registers.edi = Address(&holder);
    light.stack = {0, 0, 0, 0, 0, 0x2D};
    RunHostCode(light);
    std::string set;
    for (size_t i = before; i < ShaderSlotCalls().size(); ++i) {
        const auto* shader = static_cast<const Shader*>(ShaderSlotCalls()[i].shader);
        set += (set.empty() ? "" : ", ") + Named(ShaderSlotCalls()[i].slotHash) + " <- " + (shader ? shader->name : "none");
    }
    return set.empty() ? "the game's own" : set;
}

// The light state the light-state site gives the car in the current game mode.
uint32_t LightState(const SampleCar& car, uint8_t* render) {
    Field<uint32_t>(render, kLightTextureKey) = Hash(std::string(car.name) + "_LIGHTS");
    Run state;
    state.site = kLightState;
    state.resume = kLightStateResume;
    state.registers.ecx = Address(render);
    return RunHostCode(state).registers.esi;
}

// Lit in game modes 3 and 6.
void ReportLights(const SampleCar& car, uint8_t* render) {
    const int32_t savedMode = Global<int32_t>(layout::kGameMode);
    std::string shaders, states;
    for (const int32_t mode : {3, 6}) {
        Global<int32_t>(layout::kGameMode) = mode;
        char text[200];
        std::snprintf(text, sizeof text, "%smode %d: %s", shaders.empty() ? "" : "; ", mode, ShadersSet(render).c_str());
        shaders += text;
        if (GameByte(kLightState) == 0xE9) {
            std::snprintf(text, sizeof text, "%s%u in mode %d", states.empty() ? "" : ", ", LightState(car, render), mode);
            states += text;
        }
    }
    Global<int32_t>(layout::kGameMode) = savedMode;
    std::printf("    light shaders: %s\n", shaders.c_str());
    if (!states.empty()) std::printf("    light state:   %s\n", states.c_str());
}

// Its texture list filled: the routine's epilogue at 0x7CF764 with the list in ESI and
// the ride record as second argument; the game already listed three textures.
void ReportTextureList(Ride& ride) {
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
    std::printf("    texture list:  %s (count %u)%s\n", added ? ("+ " + Named(added)).c_str() : "nothing added",
                TextureListCount(list), lit ? (", lit brake light " + Named(lit)).c_str() : "");
}

void ReportCar(const SampleCar& car) {
    Ride& ride = FitSampleCar(car);
    uint8_t* render = NewRenderRecord(&ride);
    PrintFitted(car);
    ReportPrepared(render);
    ReportLights(car, render);
    ReportTextureList(ride);
}

}  // namespace

void ReportTextures() {
    std::printf("\nTire and plate textures, light shaders (sample cars prepared for drawing through the patched sites):\n");
    if (GameByte(kPrepareReturn) != 0xE9) std::printf("  0x%08X not patched: the game's own textures\n", kPrepareReturn);
    if (GameByte(kLightShader) != 0xE9) std::printf("  0x%08X not patched: the game's own light shaders\n", kLightShader);
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

}  // namespace tour
