#include "GameSites.h"

#include <cstdlib>
#include <sstream>

#include "HostLayout.h"
#include "SimExhaust.h"
#include "SimMenus.h"
#include "SimNeon.h"
#include "SimTextures.h"
#include "SimWheels.h"

namespace sim {

namespace {

constexpr const char* kCarEffects = "car effects";
constexpr const char* kFittingParts = "fitting parts";
constexpr const char* kScreens = "customization screens";
constexpr const char* kDrawing = "drawing cars";
constexpr const char* kPartSlots = "part slots";
constexpr const char* kShadow = "car shadow";
constexpr const char* kGameData = "game data";

// Built on first use: tests take addresses from it while their own statics are built.
const std::vector<GameSite>& Sites() {
    const std::vector<uint8_t> kRimRoutine = {0x8B, 0x44, 0x24, 0x04, 0x85, 0xC0, 0x55};  // its first bytes
    static const std::vector<GameSite> sites = {
        // Exhaust effects.
        {exhaust::kEffectCountSite, 5, kCarEffects, "count of a car's effects", "ExhaustFX", Patch::Bytes, {0xB8, 0x01, 0x00, 0x00, 0x00}},
        {exhaust::kEffectListSite, 5, kCarEffects, "adding an effect to a car's effect list", "ExhaustFX", Patch::Hook},
        {exhaust::kPartSelectSite, 5, kCarEffects, "choosing the part that carries the exhaust", "", Patch::Hook},
        {exhaust::kMarkerSiteA, 5, kCarEffects, "exhaust marker test", "", Patch::Hook},
        {exhaust::kMarkerSiteB, 5, kCarEffects, "exhaust marker test (second place)", "", Patch::Hook},
        // Kit part names.
        {0x85EAEC, 5, kFittingParts, "call that fits the dependent parts", "", Patch::Call},
        {0x8420F0, 5, kFittingParts, "routine that records the chosen part", "", Patch::Jump},
        {0x865278, 5, kFittingParts, "pop-up headlight query", "", Patch::Call},
        {0x865280, 60, kFittingParts, "the query's own answer", "", Patch::Bytes, std::vector<uint8_t>(60, 0x90)},
        // Customization menus, then the part list.
        {menus::kAddCategoriesSite, 5, kScreens, "building the main menu", "", Patch::Hook},
        {menus::kCategoryTestSite, 5, kScreens, "the selected category", "", Patch::Hook},
        {menus::kFillSlotMenuSite, 5, kScreens, "filling a category's slot menu", "", Patch::Hook},
        {menus::kSlotChosenSite, 5, kScreens, "whether a slot may be chosen", "", Patch::Hook},
        {menus::kItemChosenSite, 5, kScreens, "whether a menu item may be chosen", "", Patch::Hook},
        // push dword [esp+0x18]; nop
        {menus::kHintArgumentSite, 5, kScreens, "an argument of the slot menu", "", Patch::Bytes, {0xFF, 0x74, 0x24, 0x18, 0x90}, {},
         Runs::Pushes, kRunSlot + 6},
        {0x9F9D14, 4, kScreens, "virtual table entry of a slot's title", "", Patch::Routine},
        {menus::kCameraNameSite, 5, kScreens, "call for a slot's camera", "", Patch::Call},
        {0x85FA37, 5, kScreens, "call that lists a slot's parts", "", Patch::Call},
        // Level of detail, textures, lights, then wheel geometry.
        {0x7CDC85, 5, kDrawing, "hash of a model name (level of detail)", "", Patch::Hook},
        {0x7E585D, 3, kDrawing, "wheel mirroring", "FixWheelMirror", Patch::Bytes, {0xB0, 0x00, 0x90}},
        {textures::kPrepareReturn, 5, kDrawing, "end of preparing a car for drawing", "", Patch::Hook},
        {textures::kLightState, 5, kDrawing, "a car's light state", "", Patch::Hook},
        {textures::kLightShader, 5, kDrawing, "a car's light shaders", "", Patch::Hook},
        {textures::kLightTextureSelect, 5, kDrawing, "a car's light tables", "", Patch::Hook},
        {textures::kFirstOperand, 4, kDrawing, "light set-up operand 1", "", Patch::Bytes, {0xD4, 0x00, 0x00, 0x00}},
        {textures::kSecondOperand, 4, kDrawing, "light set-up operand 2", "", Patch::Bytes, {0xCC, 0x00, 0x00, 0x00}},
        {textures::kTextureListEpilogue, 5, kDrawing, "end of filling a car's texture list", "", Patch::Hook},
        {wheels::kCamberSite, 5, kDrawing, "wheel camber", "Camber", Patch::Hook},
        {wheels::kTrackWidthSite, 5, kDrawing, "track width", "TrackWidth", Patch::Hook},
        {wheels::kTireWidthSite, 5, kDrawing, "tire width", "TireWidth", Patch::Hook},
        // Part-slot fixes: stock rim paint wins the routine at 0x83F749 over vinyls.
        {0x6B7887, 5, kPartSlots, "upgrade groups of the decal slots", "FixFrontRearDecals", Patch::Hook},
        // xor al, al; ret
        {0x83F749, 6, kPartSlots, "stock rim paint answer", "AllowStockRimsPaint", Patch::Bytes,
         {0x32, 0xC0, 0xC3, 0x90, 0x90, 0x90}, kRimRoutine, Runs::Returns, 0},
        {0x7E5FB2, 2, kPartSlots, "stock rim paint check", "AllowStockRimsPaint", Patch::Bytes, {0x90, 0x90},
         {0x8B, 0xC8}},
        // mov eax, 1; ret
        {0x83F749, 6, kPartSlots, "vinyl mirroring answer", "AllVinylsMirrorable!AllowStockRimsPaint", Patch::Bytes,
         {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC3}, kRimRoutine, Runs::Returns, 1},
        // Conditional short jumps made unconditional: the displacement stays.
        {0x7E0472, 1, kPartSlots, "a conditional jump", "", Patch::Bytes, {0xEB}, {0x74, 0x12}},
        {0x7E0216, 1, kPartSlots, "a conditional jump (second place)", "", Patch::Bytes, {0xEB}, {0x75, 0x34}},
        // Neon: two hooks, eight float operands pointed at constants, six no-operation bytes.
        {neon::kShadowTextureSite, 5, kShadow, "the shadow's texture", "Neon", Patch::Hook},
        {neon::kNeonColorSite, 5, kShadow, "the shadow's colour", "Neon", Patch::Hook},
        {0x7BE4F4, 4, kShadow, "shadow constant 1", "Neon", Patch::Constant, {0x00, 0x00, 0x00, 0x40}},
        {0x7BE50D, 4, kShadow, "shadow constant 2", "Neon", Patch::Constant, {0x00, 0x00, 0x00, 0x40}},
        {0x7BE501, 4, kShadow, "shadow constant 3", "Neon", Patch::Constant, {0x00, 0x00, 0x00, 0x3F}},
        {0x7BEA36, 4, kShadow, "shadow constant 4", "Neon", Patch::Constant, {0x00, 0x00, 0x8C, 0x42}},
        {0x7BE5B9, 4, kShadow, "shadow constant 5", "Neon", Patch::Constant, {0x9A, 0x99, 0x99, 0x3F}},
        {0x7BE5AB, 4, kShadow, "shadow constant 6", "Neon", Patch::Constant, {0x9A, 0x99, 0x99, 0x3F}},
        {0x7BE59B, 4, kShadow, "shadow constant 7", "Neon", Patch::Constant, {0x66, 0x66, 0x86, 0x3F}},
        {0x7BE58B, 4, kShadow, "shadow constant 8", "Neon", Patch::Constant, {0x66, 0x66, 0x86, 0x3F}},
        {0x7BEA3A, 6, kShadow, "a shadow instruction", "Neon", Patch::Bytes, std::vector<uint8_t>(6, 0x90)},
        // Data: the front wheels' steering angle (20.0 when FrontSteerAngle = 20).
        {layout::kSteeringAngle, 4, kGameData, "front wheels' steering angle", "FrontSteerAngle", Patch::Bytes,
         {0x00, 0x00, 0xA0, 0x41}},
        {layout::kGameMode, 4, kGameData, "game mode", "", Patch::Read},
        {layout::kFrameTime, 4, kGameData, "frame time", "", Patch::Read},
    };
    return sites;
}

}  // namespace

const std::vector<GameSite>& GameSites() { return Sites(); }

uint32_t AddressOf(const std::string& what) {
    for (const GameSite& site : Sites()) {
        if (what == site.what) return site.address;
    }
    return 0;
}

bool Written(const GameSite& site, const std::set<std::string>& on) {
    if (site.patch == Patch::Read) return false;
    const std::string gate = site.gate;
    if (gate.empty()) return true;
    const size_t unless = gate.find('!');
    if (unless != std::string::npos && on.count(gate.substr(unless + 1))) return false;
    return on.count(gate.substr(0, unless)) != 0;
}

size_t SitesWritten(const std::set<std::string>& on) {
    size_t count = 0;
    for (const GameSite& site : Sites()) count += site.area != kGameData && Written(site, on);
    return count;
}

std::set<std::string> KeysOn(const std::string& ini) {
    std::set<std::string> on;
    std::istringstream lines(ini);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find(" = ");
        if (line.empty() || line[0] == ';' || line[0] == '[' || equals == std::string::npos) continue;
        if (std::atoi(line.c_str() + equals + 3) != 0) on.insert(line.substr(0, equals));
    }
    return on;
}

}  // namespace sim
