#pragma once
// The game executable's routines, globals and keys the plug-in relies on, at their fixed
// addresses in Kavra 1.4 English (image base 0x400000), with the records they take
// (Records.h) and the part slots (GameIds.h). Every use of the game goes through these
// headers. The entries are constant-initialised (an address, nothing computed at
// start-up), so even a global constructor of the plug-in sees them filled.
#include <atomic>
#include <cstdint>

#include "host/GameIds.h"
#include "host/Memory.h"
#include "host/Records.h"
#include "host/StackSlots.h"

namespace morvane::host {

// ---- Shared by several features -------------------------------------------------------

using StringHashFn = uint32_t(__cdecl*)(const char* text);
using StringHashSeededFn = uint32_t(__cdecl*)(const char* text, uint32_t seed);
using CarTypeNameFn = const char*(__cdecl*)(int32_t carType);
using RideGetPartFn = Part*(__thiscall*)(RideRecord* ride, int32_t slot);
using RideSetPartFn = void(__thiscall*)(RideRecord* ride, int32_t slot, Part* part, int32_t one);
using SetPartByFormatFn = void(__cdecl*)(void* hostObject, RideRecord* ride, void* customization,
                                         int32_t slot, int32_t one, const char* format, ...);
using PartGetAttributeFn = int32_t(__thiscall*)(Part* part, uint32_t attributeHash, int32_t fallback);
using PartFindAttributeFn = AttributeRecord*(__thiscall*)(Part* part, uint32_t attributeHash, int32_t index);
// A boolean: only AL carries the answer.
using PartIsStockFn = bool(__thiscall*)(Part* part);
using FindNextCarPartFn = Part*(__thiscall*)(PartDatabase* database, int32_t zero, int32_t carType,
                                             int32_t slot, int32_t zero2, Part* previous, int32_t minusOne);
using AllocFn = void*(__cdecl*)(uint32_t size);

inline constexpr HostRoutine<StringHashFn> HostStringHash{0x471050};
inline constexpr HostRoutine<StringHashSeededFn> HostStringHashSeeded{0x471080};
inline constexpr HostRoutine<CarTypeNameFn> HostCarTypeName{0x7B0290};
inline constexpr HostRoutine<RideGetPartFn> HostRideGetPart{0x7B06F0};
inline constexpr HostRoutine<RideSetPartFn> HostRideSetPart{0x7D67A0};
inline constexpr HostRoutine<SetPartByFormatFn> HostSetPartByFormat{0x84F040};
inline constexpr HostRoutine<PartGetAttributeFn> HostPartGetAttribute{0x7C27C0};
inline constexpr HostRoutine<PartFindAttributeFn> HostPartFindAttribute{0x7B00E0};
inline constexpr HostRoutine<PartIsStockFn> HostPartIsStock{0x7CA040};
inline constexpr HostRoutine<FindNextCarPartFn> HostFindNextCarPart{0x7CDDF0};
inline constexpr HostRoutine<AllocFn> HostAlloc{0x6A1560};

inline constexpr HostGlobal<PartDatabase> HostCarPartDatabase{0xB76690};
inline constexpr HostGlobal<volatile int32_t> HostGameMode{0xA99BBC};
// Values of HostGameMode the hooks tell apart.
namespace game_mode {
constexpr int32_t kCustomization = 3;  // the customization screens
constexpr int32_t kSix = 6;            // a mode with its own light tables and brake-light shader
}  // namespace game_mode
inline constexpr HostGlobal<volatile float> HostFrameTime{0xA99A5C};
inline constexpr HostGlobal<volatile float> HostSteeringAngle{0xA7B668};
// Points to the array of 0xD0-byte car-type records, indexed by car type.
inline constexpr HostGlobal<uint8_t* volatile> HostCarTypeTable{0xB74CCC};
// Points to the record whose first 32-bit field is the car shown in the customization screens.
inline constexpr HostGlobal<int32_t* volatile> HostCurrentCarTypePtr{0xB74320};
// Points to the front-end object (front_end:: in Records.h).
inline constexpr HostGlobal<uint8_t* volatile> HostFrontEndObjectPtr{0xB77970};

// The class field of a car type's record (car_type:: in Records.h); false when the game
// has no table yet or the type is negative.
inline bool CarTypeClass(int32_t carType, int32_t& value) {
    const uint8_t* table = *HostCarTypeTable;
    if (table == nullptr || carType < 0) return false;
    value = Read<int32_t>(table + car_type::kRecordSize * static_cast<uint32_t>(carType), car_type::kClass);
    return true;
}

// The game's hash of a fixed name, asked for on first use and kept: the game hashes a text
// the same way every time, and hooks that run for every car drawn need not ask again.
// Constant-initialised; safe to use from several threads (at worst two ask at once).
class NameHash {
public:
    explicit constexpr NameHash(const char* name) : name_(name) {}
    uint32_t operator()() const {
        uint32_t hash = hash_.load(std::memory_order_relaxed);
        if (hash == 0) {
            hash = HostStringHash(name_);
            hash_.store(hash, std::memory_order_relaxed);
        }
        return hash;
    }

private:
    const char* name_;
    mutable std::atomic<uint32_t> hash_{0};
};

// ---- Part catalogue: kit part names, part lists, level of detail, part-slot fixes ------

using CustomizationGetSlotPartFn = Part*(__thiscall*)(CustomizationRecord* record, int32_t carType, int32_t slot);
using CustomizationSetSlotPartFn = uint32_t(__thiscall*)(CustomizationRecord* record, int32_t slot, Part* part,
                                                         int32_t carType, uint8_t flag);
using CustomizationClearSlotFn = void(__thiscall*)(CustomizationRecord* record, int32_t carType, int32_t slot);
using PartGetNameHashFn = uint32_t(__cdecl*)(Part* part, int32_t zero, int32_t zero2, int32_t zero3);
using PartGetStyleHashFn = uint32_t(__thiscall*)(Part* part);
using GetCarTypeFn = int32_t(__thiscall*)(void* hostObject);
using FindModelFn = uint32_t(__thiscall*)(void* models, uint32_t nameHash);

inline constexpr HostRoutine<CustomizationGetSlotPartFn> HostCustomizationGetSlotPart{0x4AE350};
inline constexpr HostRoutine<CustomizationSetSlotPartFn> HostCustomizationSetSlotPart{0x4BAC50};
inline constexpr HostRoutine<CustomizationClearSlotFn> HostCustomizationClearSlot{0x4AE380};
inline constexpr HostRoutine<PartGetNameHashFn> HostPartGetNameHash{0x7CDA40};
inline constexpr HostRoutine<PartGetStyleHashFn> HostPartGetStyleHash{0x7CD930};
inline constexpr HostRoutine<GetCarTypeFn> HostGetCarType{0x4AE150};
inline constexpr HostRoutine<FindModelFn> HostFindModel{0x55B670};

// The object HostFindModel is called on: it knows every loaded model by name hash.
inline constexpr HostGlobal<uint8_t> HostModelTable{0xA8FFF4};
// The customization record the host uses when it hands none in.
inline constexpr HostGlobal<CustomizationRecord> HostGlobalCustomization{0xBBABC0};
// 32-bit upgrade groups indexed by slot identifier.
inline constexpr HostGlobal<volatile int32_t> HostUpgradeGroupTable{0xA73398};
// The answer of the pop-up headlight query for a car whose headlights pop up (else 0).
constexpr uint32_t kPopUpHeadlightsAnswer = 5;

// ---- Customization menus ----------------------------------------------------------------

using MenuItemInitFn = void(__thiscall*)(MenuItem* item, uint32_t nameHash, int32_t value, const uint8_t* one,
                                          const uint8_t* zero);
using MenuAddItemFn = void(__thiscall*)(Menu* menu, MenuItem* item);
using PrepareSlotMenuFn = void(__cdecl*)(uint32_t screenValue, uint32_t key);
using SetMenuSlotStateFn = void(__thiscall*)(void* screen, uint32_t headerHash, int32_t slot, int32_t autosculpt,
                                             int32_t extra);
using MenuDefaultSlotHandlerFn = uint32_t(__thiscall*)(MenuEntry* entry);
using ShowMenuHintFn = uint32_t(__thiscall*)(void* one, uint32_t key, uint32_t hostValue);
using CustomizationGetPartNameFn = uint32_t(__thiscall*)(HostObject* customization, int32_t slot, int32_t one);
using GetCareerRecordFn = CareerRecord*(__thiscall*)(HostObject* career, uint32_t key, int32_t zero);

inline constexpr HostRoutine<MenuItemInitFn> HostMenuItemInit{0x5869C0};
inline constexpr HostRoutine<MenuAddItemFn> HostMenuAddItem{0x5B2320};
inline constexpr HostRoutine<PrepareSlotMenuFn> HostPrepareSlotMenu{0x583A90};
inline constexpr HostRoutine<SetMenuSlotStateFn> HostSetMenuSlotState{0x85FE30};
inline constexpr HostRoutine<MenuDefaultSlotHandlerFn> HostMenuDefaultSlotHandler{0x842670};
inline constexpr HostRoutine<ShowMenuHintFn> HostShowMenuHint{0x85F8F0};
inline constexpr HostRoutine<CustomizationGetPartNameFn> HostCustomizationGetPartName{0x85EE80};
inline constexpr HostRoutine<GetCareerRecordFn> HostGetCareerRecord{0x463A80};

// The object HostCustomizationGetPartName answers for (the parts chosen in the screens).
inline constexpr HostGlobal<HostObject> HostCustomizationObject{0xBBABA8};
// The object HostGetCareerRecord answers for.
inline constexpr HostGlobal<HostObject> HostCareerObject{0xBBABB0};

// Keys the screens hand to the game's routines.
constexpr uint32_t kBlockedSlotHintKey = 0x22105094;  // HostShowMenuHint: the slot is blocked
constexpr uint32_t kAutosculptMenuKey = 0x663D2A11;   // HostPrepareSlotMenu in autosculpt mode
constexpr uint32_t kPartsMenuKey = 0xAC258B54;        // HostPrepareSlotMenu otherwise
constexpr uint32_t kCareerKey = 0x247E0956;           // HostGetCareerRecord

// The categories of the customization menus, as the category test sees them: the game's
// own are below kAttachments.
namespace menu_category {
constexpr int32_t kAttachments = 5;
constexpr int32_t kSpecialties = 6;
constexpr int32_t kDoors = 7;
}  // namespace menu_category
// In autosculpt mode: the front wheel slot's extra value, and the career state that opens
// the roof slot.
constexpr int32_t kAutosculptFrontWheelExtra = 17;
constexpr int32_t kAutosculptRoofCareerState = 2;

// ---- Exhaust effects -------------------------------------------------------------------

using AllocEffectNodeFn = EffectNode*(__cdecl*)(uint32_t pool);

inline constexpr HostRoutine<AllocEffectNodeFn> HostAllocEffectNode{0x477BE0};
// The effect node pool's handle, read afresh for every node.
inline constexpr HostGlobal<volatile uint32_t> HostEffectNodePool{0xB74C34};

// ---- Neon ------------------------------------------------------------------------------

// The host's random number routine: an integer drawn for the bound it is given.
using RandomIntFn = int32_t(__cdecl*)(int32_t bound);
// Nonzero in AL while the game is paused (the rest of EAX means nothing).
using IsPausedFn = uint8_t(__cdecl*)();

inline constexpr HostRoutine<RandomIntFn> HostRandomInt{0x46DB30};
inline constexpr HostRoutine<IsPausedFn> HostIsPaused{0x4A62E0};

// ---- Tire and plate textures, light shaders ---------------------------------------------

// Answers nonzero when the host has a texture for the key; the other two arguments are 0.
using TextureLookupFn = uint32_t(__cdecl*)(uint32_t key, int32_t zero, int32_t zero2);
// The shader of that name; the second argument is 1.
using FindShaderFn = void*(__cdecl*)(uint32_t nameHash, int32_t one);
// Puts a shader into a named light slot of the object that carries a car's light shaders.
using SetShaderSlotFn = void(__thiscall*)(void* object, uint32_t slotHash, void* shader);

inline constexpr HostRoutine<TextureLookupFn> HostTextureLookup{0x55CFD0};
inline constexpr HostRoutine<FindShaderFn> HostFindShader{0x7473A0};
inline constexpr HostRoutine<SetShaderSlotFn> HostSetShaderSlot{0x55C0B0};
// Nonzero: the light state of every car is 1.
inline constexpr HostGlobal<volatile uint8_t> HostLightStateOverride{0xB74C18};

}  // namespace morvane::host
