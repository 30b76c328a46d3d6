#include "SimDrawing.h"

#include <string>

#include "SimNeon.h"
#include "SimTextures.h"

namespace sim::drawing {

using namespace sim::textures;

namespace {

// Where the game's code goes on after each drawing site: here, a return to the caller.
void Place() {
    for (uint32_t resume : {kLightStateResume, kLightShaderResume, kLightTextureSelectEnd,
                            neon::kShadowTextureResume, neon::kNeonColorResume}) {
        *reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(resume)) = 0xC3;
    }
}

const ModelRegistration registration({"drawing", 90, &Place, nullptr});

}  // namespace

Car MakeCar(int index) {
    const int32_t type = AddCarType("CAR" + std::to_string(index));
    Ride& ride = NewRide(type);
    ride.parts[70] = &AddPart("TIRE", type, 70).Set("TEXTURE_NAME", static_cast<int32_t>(Hash("TIRE_A")));
    ride.parts[86] = &AddPart("PLATE", type, 86).Set("TEXTURE_NAME", static_cast<int32_t>(Hash("LP_A")));
    ride.parts[71] = &AddPart("NEON", type, 71).Set("RED", 10 + index).Set("BLUE", 200);
    ride.parts[71]->Set("TEXTURE_NAME", static_cast<int32_t>(Hash("NEON_GLOW")));
    ride.parts[68] = &AddPart("CAMBER", type, 68).SetFloat("ANGLE", -2.0f - static_cast<float>(index));
    uint8_t* render = NewRenderRecord(&ride);
    Field<uint32_t>(render, kLightTextureKey) = 0x1000 + static_cast<uint32_t>(index);
    for (uint32_t i = 0; i < 3; ++i) Field<uint32_t>(render, kLightTable + 4 * i) = 0x100 * (i + 1) + index;
    AddTextureKey(0x1000 + static_cast<uint32_t>(index));
    return {&ride, render};
}

Frame DrawCar(const Car& car) {
    Frame frame{};
    for (uint32_t i = 0; i < 5; ++i) Replacement(car.render, kReplacementSlots[i].offset) = {i, 0x100 + i, 0x200 + i};
    Registers r{0xA0, 0xC1, 0xD2, 0xB3, 0xE4, Address(car.render), 0xD1, 0x202};
    CallHostCode(kPrepareReturn, r);
    for (uint32_t i = 0; i < 5; ++i) frame.entries[i] = Replacement(car.render, kReplacementSlots[i].offset).replacement;
    r.ecx = Address(car.render);
    frame.lightState = CallHostCode(kLightState, r).esi;
    static ShaderObject object{7};
    ShaderObject* holder = &object;
    r.edi = Address(&holder);
    frame.flags = CallHostCode(kLightShader, r, {0, 0, 0, 0x2D}).eflags & 0x8D5;
    frame.shadow = CallHostCode(neon::kShadowTextureSite, r).eax;
    Registers table = r;
    table.eax = 1;  // the three light-table indices
    table.esi = 2;
    table.edi = 0;
    frame.lightTable = CallHostCode(kLightTextureSelect, table).ebx;
    r.eax = 0x80000000u;
    frame.colour = CallHostCode(neon::kNeonColorSite, r, {Address(car.render)}).eax;
    return frame;
}

}  // namespace sim::drawing
