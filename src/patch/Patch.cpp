#include "patch/Patch.h"

#include "host/HostImage.h"

#include <windows.h>

#include <array>
#include <cstring>

namespace morvane {

namespace {

void* Ptr(uint32_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }

// Entry points (at base 0x400000) of host builds whose sites would need translating.
// The supported build, 0x87E926, is never among them; none is known so far.
constexpr std::array<uint32_t, 0> kOtherHostEntryPoints{};

}  // namespace

ScopedUnprotect::ScopedUnprotect(uint32_t address, uint32_t size) : address_(address), size_(size) {
    if (size_ != 0) restore_ = UnprotectMemory(address_, size_, &savedProtection_);
}

ScopedUnprotect::~ScopedUnprotect() {
    if (restore_) ProtectMemory(address_, size_, savedProtection_);
}

const AddressTranslator& GetAddressTranslator() {
    static const AddressTranslator translator = [] {
        AddressTranslator t{"Unknown Plugin Name", {0, 0}};
        const uint32_t entry = NormalisedHostEntryPoint();
        for (uint32_t i = 0; i < kOtherHostEntryPoints.size(); ++i) {
            if (kOtherHostEntryPoints[i] == entry) {
                t.descriptor = {i + 1, entry};
            }
        }
        return t;
    }();
    return translator;
}

uint32_t TranslateHostAddress(uint32_t address) {
    GetAddressTranslator();
    return address;
}

bool UnprotectMemory(uint32_t address, uint32_t size, uint32_t* savedProtection) {
    DWORD old = 0;
    const bool ok = VirtualProtect(Ptr(address), size, PAGE_EXECUTE_READWRITE, &old) != 0;
    *savedProtection = old;
    return ok;
}

bool ProtectMemory(uint32_t address, uint32_t size, uint32_t protection) {
    DWORD scratch = 0;
    return VirtualProtect(Ptr(address), size, protection, &scratch) != 0;
}

uint8_t ReadHost8(uint32_t address) {
    ScopedUnprotect scope(address, 1);
    return *static_cast<volatile uint8_t*>(Ptr(address));
}

uint32_t ReadHost32(uint32_t address) {
    ScopedUnprotect scope(address, 4);
    uint32_t value;
    std::memcpy(&value, Ptr(address), 4);
    return value;
}

void WriteHost8(uint32_t address, uint8_t value) { WriteHostBytes(address, &value, 1); }

void WriteHost32(uint32_t address, uint32_t value) { WriteHostBytes(address, &value, 4); }

void WriteHostBytes(uint32_t address, const void* bytes, uint32_t count) {
    ScopedUnprotect scope(address, count);
    if (scope.writable()) std::memcpy(Ptr(address), bytes, count);
}

void WriteNops(uint32_t address, uint32_t count) {
    ScopedUnprotect scope(address, count);
    if (scope.writable()) std::memset(Ptr(address), 0x90, count);
}

uint32_t ReadRel32(uint32_t fieldAddress) { return fieldAddress + 4 + ReadHost32(fieldAddress); }

void WriteRel32(uint32_t fieldAddress, uint32_t destination) {
    WriteHost32(fieldAddress, destination - (fieldAddress + 4));
}

uint32_t GetBranchTarget(uint32_t site) {
    const uint8_t op = ReadHost8(site);
    if (op == 0xE8 || op == 0xE9) return ReadRel32(site + 1);
    if (op == 0xFF) {
        const uint8_t modrm = ReadHost8(site + 1);
        if (modrm == 0x15 || modrm == 0x25) {
            const uint32_t slot = ReadHost32(site + 2);
            return *static_cast<const uint32_t*>(Ptr(slot));
        }
    }
    return 0;
}

namespace {
uint32_t WriteBranch(uint8_t opcode, uint32_t site, uint32_t destination) {
    const uint32_t previous = GetBranchTarget(site);
    WriteHost8(site, opcode);
    WriteRel32(site + 1, destination);
    return previous;
}
}  // namespace

uint32_t WriteJump(uint32_t site, uint32_t destination) { return WriteBranch(0xE9, site, destination); }
uint32_t WriteCall(uint32_t site, uint32_t destination) { return WriteBranch(0xE8, site, destination); }

}  // namespace morvane
