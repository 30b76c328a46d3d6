#pragma once
// The game executable's routines and globals the plug-in relies on, at their fixed
// addresses in Kavra 1.4 English (image base 0x400000). Every use of the host goes
// through this one table. Its entries are constant-initialised (an address, nothing
// computed at start-up), so even a global constructor of the plug-in sees them filled.
//
// cdecl: the caller removes the stack arguments. thiscall: the object comes in ECX and
// the routine removes its stack arguments.
#include <atomic>
#include <cstdint>
#include <cstring>

namespace morvane::host {

// A ride record: the host's record of a car's fitted parts; the car type comes first.
struct RideRecord {
    int32_t carType;
};

// A car as drawn (CarRenderRecord): the host's record, opaque but for the fields the
// features name; at +0x3F0 it holds the car's ride record.
constexpr uint32_t kRenderRideRecord = 0x3F0;

// The ride record of a render record given by its address; null for none.
inline RideRecord* RideOfRenderRecord(uint32_t renderRecord) {
    if (renderRecord == 0) return nullptr;
    RideRecord* ride;
    std::memcpy(&ride, reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(renderRecord)) + kRenderRideRecord,
                sizeof ride);
    return ride;
}
inline RideRecord* RideOfRenderRecord(const void* renderRecord) {
    return RideOfRenderRecord(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(renderRecord)));
}

// Host part and part-database objects are opaque to the plug-in.
struct Part;
struct PartDatabase;

// The record HostPartFindAttribute answers: the attribute's value lies 4 bytes in, as an
// integer, a float or four bytes, depending on the attribute.
struct AttributeRecord {
    uint32_t nameHash;
    uint8_t value[4];

    int32_t IntValue() const { return Read<int32_t>(); }
    float FloatValue() const { return Read<float>(); }

private:
    template <typename T>
    T Read() const {
        T result;
        std::memcpy(&result, value, sizeof result);
        return result;
    }
};

// A host routine: its address, called with the convention of the pointer type Fn.
template <typename Fn>
struct HostRoutine {
    uint32_t address;

    Fn get() const { return reinterpret_cast<Fn>(static_cast<uintptr_t>(address)); }
    template <typename... Arguments>
    decltype(auto) operator()(Arguments... arguments) const { return get()(arguments...); }
};

// A host global of type T at a fixed address.
template <typename T>
struct HostGlobal {
    uint32_t address;

    T* get() const { return reinterpret_cast<T*>(static_cast<uintptr_t>(address)); }
    T& operator*() const { return *get(); }
    T* operator->() const { return get(); }
};

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
inline constexpr HostGlobal<volatile float> HostFrameTime{0xA99A5C};
inline constexpr HostGlobal<volatile float> HostSteeringAngle{0xA7B668};
// Points to the array of 0xD0-byte car-type records, indexed by car type.
inline constexpr HostGlobal<uint8_t* volatile> HostCarTypeTable{0xB74CCC};
// Points to the record whose first 32-bit field is the car shown in the customization screens.
inline constexpr HostGlobal<int32_t* volatile> HostCurrentCarTypePtr{0xB74320};
// Points to the front-end object; at +0xBF8 it holds the current car's marker holder.
inline constexpr HostGlobal<uint8_t* volatile> HostFrontEndObjectPtr{0xB77970};

// The name hash that means "no name": the hash of the empty text.
constexpr uint32_t kNoName = 0xFFFFFFFFu;

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

// A customization record: the parts chosen in the customization screens. Opaque but for
// the car type at +0xBC.
struct CustomizationRecord;
constexpr uint32_t kCustomizationCarType = 0xBC;
// A menu entry of a slot's part list: the part at +0x10, the slot at +0x18.
constexpr uint32_t kMenuEntryPart = 0x10;
constexpr uint32_t kMenuEntrySlot = 0x18;
// A car-type record is 0xD0 bytes; its field at +0x94 equal to 2 selects the plain body name.
constexpr uint32_t kCarTypeRecordSize = 0xD0;
constexpr uint32_t kCarTypeBodyKind = 0x94;

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



// ---- Customization menus ----------------------------------------------------------------

// The host's menus, menu items, slot entries and screens are opaque; the plug-in reads
// single fields of them at fixed offsets.
struct Menu;
struct MenuItem;
struct MenuEntry;
struct HostObject;

// A career record: its first 32-bit field is the value the autosculpt roof rule tests.
struct CareerRecord {
    int32_t state;
};

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


// ---- Exhaust effects -------------------------------------------------------------------

// An effect definition: the effect's name hash, 12 bytes the plug-in only copies, and a
// 4x4 matrix of floats whose last row is the position x, y, z and a fourth value w.
struct EffectDefinition {
    uint32_t nameHash;
    uint8_t opaque[12];
    float matrix[4][4];
};
static_assert(sizeof(EffectDefinition) == 80);

// A node of a car's effect list, from the host's node pool. The plug-in writes only these
// fields; the last node of a list points back at the list head.
struct EffectNode {
    void* next;
    float position[3];
    const EffectDefinition* definition;
};

// A car's effect list: first and last node (both the head itself while the list is empty).
struct EffectListHead {
    void* first;
    void* last;
};

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

// A car's neon pulse, kept in two 32-bit float fields of its render record.
constexpr uint32_t kRenderPulseIntensity = 0x37C;
constexpr uint32_t kRenderPulseRate = 0x38C;

// ---- Tire and plate textures, light shaders ---------------------------------------------

// Fields of a car as drawn (the render record, ride record at +0x3F0): the texture
// replacements the host applies, and the light values read while its lights are chosen.
constexpr uint32_t kRenderTireStyle01 = 0x5C4;
constexpr uint32_t kRenderLicensePlate = 0x5DC;
constexpr uint32_t kRenderTireStyle01Normal = 0x600;
constexpr uint32_t kRenderTireStyle02 = 0x60C;
constexpr uint32_t kRenderTireStyle02Normal = 0x618;
constexpr uint32_t kRenderLightTextureKey = 0x3080;
constexpr uint32_t kRenderLightTable = 0x3098;      // three 32-bit entries
constexpr uint32_t kRenderLightAltTable = 0x30A4;   // three 32-bit entries
constexpr uint32_t kRenderLightBrakeValue = 0x30B0;

// One texture replacement of a render record: the host texture, the one drawn instead.
struct TextureReplacement {
    uint32_t replacedHash;
    uint32_t replacementHash;
    uint32_t unused;  // 0xFFFFFFFF
};
static_assert(sizeof(TextureReplacement) == 12);

// The texture keys the host loads for a car (the car texture list): 100 32-bit keys at
// +0 (0: a free entry), their count, and the key of the lit brake-light texture.
constexpr int32_t kTextureListCapacity = 100;
constexpr uint32_t kTextureListCount = 0x340;
constexpr uint32_t kTextureListBrakeLightOn = 0x3F8;

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


// ---- Wheel geometry --------------------------------------------------------------------

// The 32-bit value of a render record that the host loads into EBX after the tire width.
constexpr uint32_t kRenderTireWidthWord = 0x324C;

}  // namespace morvane::host
