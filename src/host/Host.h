#pragma once
// The game executable's routines and globals the plug-in relies on, at their fixed
// addresses in Kavra 1.4 English (image base 0x400000). Every use of the host goes
// through this one table of typed pointers.
//
// cdecl: the caller removes the stack arguments. thiscall: the object comes in ECX and
// the routine removes its stack arguments.
#include <cstdint>

namespace morvane::host {

// A ride record: the host's record of a car's fitted parts; the car type comes first.
struct RideRecord {
    int32_t carType;
};

// Host part and part-database objects are opaque to the plug-in.
struct Part;
struct PartDatabase;

// The record HostPartFindAttribute answers: the attribute's value lies 4 bytes in.
struct AttributeRecord {
    uint32_t nameHash;
    union {
        int32_t asInt;
        float asFloat;
        uint8_t bytes[4];
    } value;
};

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

template <typename T>
T At(uint32_t address) { return reinterpret_cast<T>(static_cast<uintptr_t>(address)); }

// Routines.
inline const StringHashFn HostStringHash = At<StringHashFn>(0x471050);
inline const StringHashSeededFn HostStringHashSeeded = At<StringHashSeededFn>(0x471080);
inline const CarTypeNameFn HostCarTypeName = At<CarTypeNameFn>(0x7B0290);
inline const RideGetPartFn HostRideGetPart = At<RideGetPartFn>(0x7B06F0);
inline const RideSetPartFn HostRideSetPart = At<RideSetPartFn>(0x7D67A0);
inline const SetPartByFormatFn HostSetPartByFormat = At<SetPartByFormatFn>(0x84F040);
inline const PartGetAttributeFn HostPartGetAttribute = At<PartGetAttributeFn>(0x7C27C0);
inline const PartFindAttributeFn HostPartFindAttribute = At<PartFindAttributeFn>(0x7B00E0);
inline const PartIsStockFn HostPartIsStock = At<PartIsStockFn>(0x7CA040);
inline const FindNextCarPartFn HostFindNextCarPart = At<FindNextCarPartFn>(0x7CDDF0);

// Globals.
inline PartDatabase* const HostCarPartDatabase = At<PartDatabase*>(0xB76690);
inline volatile int32_t* const HostGameMode = At<volatile int32_t*>(0xA99BBC);
inline volatile float* const HostFrameTime = At<volatile float*>(0xA99A5C);
inline volatile float* const HostSteeringAngle = At<volatile float*>(0xA7B668);

// The name hash that means "no name": the hash of the empty text.
constexpr uint32_t kNoName = 0xFFFFFFFFu;

}  // namespace morvane::host
