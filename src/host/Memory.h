#pragma once
// The game's memory as the plug-in sees it: routines and globals at fixed 32-bit
// addresses, and records read and written at fixed offsets. Every feature reaches the
// game through these few typed accessors.
#include <cstdint>
#include <cstring>

namespace morvane::host {

// The object of type T at a 32-bit address of the process; null for 0.
template <typename T = void>
T* At(uint32_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

// The 32-bit address of an object of the process.
inline uint32_t AddressOf(const volatile void* object) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}

// A value of type T at `offset` in a game record, copied out (the game packs some of its
// fields unaligned).
template <typename T>
T Read(const void* record, uint32_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof value);
    return value;
}

// The field of type T at `offset` in a game record, to read and write in place.
template <typename T>
T& Field(void* record, uint32_t offset) {
    return *reinterpret_cast<T*>(static_cast<uint8_t*>(record) + offset);
}

// A game routine: its address, called with the convention of the pointer type Fn.
// cdecl: the caller removes the stack arguments. thiscall: the object comes in ECX and
// the routine removes its stack arguments.
template <typename Fn>
struct HostRoutine {
    uint32_t address;

    Fn get() const { return reinterpret_cast<Fn>(static_cast<uintptr_t>(address)); }
    template <typename... Arguments>
    decltype(auto) operator()(Arguments... arguments) const { return get()(arguments...); }
};

// A game global of type T at a fixed address.
template <typename T>
struct HostGlobal {
    uint32_t address;

    T* get() const { return At<T>(address); }
    T& operator*() const { return *get(); }
    T* operator->() const { return get(); }
};

}  // namespace morvane::host
