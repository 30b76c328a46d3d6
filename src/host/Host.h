#pragma once
// The game executable's routines and globals the plug-in relies on, at their fixed
// addresses in Kavra 1.4 English (image base 0x400000). Every use of the host goes
// through this one table. Its entries are constant-initialised (an address, nothing
// computed at start-up), so even a global constructor of the plug-in sees them filled.
//
// cdecl: the caller removes the stack arguments. thiscall: the object comes in ECX and
// the routine removes its stack arguments.
#include <cstdint>
#include <cstring>

namespace morvane::host {

// A ride record: the host's record of a car's fitted parts; the car type comes first.
struct RideRecord {
    int32_t carType;
};

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
using PartIsStockFn = uint32_t(__thiscall*)(Part* part);
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


// ---- Exhaust effects -------------------------------------------------------------------


// ---- Neon ------------------------------------------------------------------------------


// ---- Tire and plate textures, light shaders ---------------------------------------------


// ---- Wheel geometry --------------------------------------------------------------------


}  // namespace morvane::host
