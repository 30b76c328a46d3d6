#pragma once
// Primitives that change the host's code in memory. Host code pages are not writable, so
// every access makes exactly the bytes it touches writable for that one access and puts
// the old protection back afterwards. Writes report nothing; when the protection cannot
// be changed, nothing is written (a write to a read-only page would crash the game).
#include <cstdint>

namespace morvane {

// Makes [address, address + size) writable for the lifetime of the object.
class ScopedUnprotect {
public:
    ScopedUnprotect(uint32_t address, uint32_t size);
    ~ScopedUnprotect();
    ScopedUnprotect(const ScopedUnprotect&) = delete;
    ScopedUnprotect& operator=(const ScopedUnprotect&) = delete;
    // True when the range is writable now (a zero-sized scope touches nothing).
    bool writable() const { return restore_; }

private:
    uint32_t address_;
    uint32_t size_;
    uint32_t savedProtection_ = 0;
    bool restore_ = false;
};

// The 8 bytes a translator keeps about the host build it found.
struct VersionDescriptor {
    uint32_t build;
    uint32_t entryPoint;
};

// Maps host addresses of other builds onto the supported one. For the supported build
// every address stays as it is.
struct AddressTranslator {
    const char* name;
    VersionDescriptor descriptor;
};

// The process-wide translator, created on first use (safe against concurrent first use).
const AddressTranslator& GetAddressTranslator();

uint32_t TranslateHostAddress(uint32_t address);
bool UnprotectMemory(uint32_t address, uint32_t size, uint32_t* savedProtection);
bool ProtectMemory(uint32_t address, uint32_t size, uint32_t protection);

uint8_t ReadHost8(uint32_t address);
uint32_t ReadHost32(uint32_t address);
void WriteHost8(uint32_t address, uint8_t value);
void WriteHost32(uint32_t address, uint32_t value);
void WriteHostBytes(uint32_t address, const void* bytes, uint32_t count);
void WriteNops(uint32_t address, uint32_t count);

// A rel32 field: the target counts from the end of the 4-byte field.
uint32_t ReadRel32(uint32_t fieldAddress);
void WriteRel32(uint32_t fieldAddress, uint32_t destination);

// Reads `size` bytes of the running process at `address` without touching its protection;
// false (and nothing read) where they are not all committed and readable.
bool PeekMemory(uint32_t address, void* bytes, uint32_t size);
// The one decoder of a branch written at `site`: where the call or jump there leads (E8 or
// E9 rel32, FF 15 or FF 25 through a pointer, push imm32 then ret), else 0. Safe on any
// address: what cannot be read decodes to 0.
uint32_t BranchTarget(uint32_t site);
// Write a 5-byte relative jump/call at `site`; answer the branch target that was there.
uint32_t WriteJump(uint32_t site, uint32_t destination);
uint32_t WriteCall(uint32_t site, uint32_t destination);

// Plug-in routines as patch destinations.
template <typename F>
uint32_t CodeAddress(F* routine) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine)); }

}  // namespace morvane
