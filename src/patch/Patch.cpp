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

bool PeekMemory(uint32_t address, void* bytes, uint32_t size) {
    // The range may straddle a page boundary: every region it touches must be readable.
    for (uint32_t at = address; at - address < size;) {
        MEMORY_BASIC_INFORMATION info{};
        if (!VirtualQuery(Ptr(at), &info, sizeof info) || info.State != MEM_COMMIT ||
            (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
            return false;
        const auto regionEnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize);
        if (regionEnd <= at) return false;
        at = regionEnd;
    }
    std::memcpy(bytes, Ptr(address), size);
    return true;
}

uint32_t BranchTarget(uint32_t site) {
    uint8_t code[6];
    if (!PeekMemory(site, code, sizeof code)) return 0;
    uint32_t operand;
    std::memcpy(&operand, code + 1, 4);
    if (code[0] == 0xE8 || code[0] == 0xE9) return site + 5 + operand;  // call/jmp rel32
    if (code[0] == 0x68 && code[5] == 0xC3) return operand;             // push target; ret
    if (code[0] == 0xFF && (code[1] == 0x15 || code[1] == 0x25)) {      // call/jmp dword [slot]
        uint32_t slot, target;
        std::memcpy(&slot, code + 2, 4);
        return PeekMemory(slot, &target, 4) ? target : 0;
    }
    return 0;
}

namespace {
uint32_t WriteBranch(uint8_t opcode, uint32_t site, uint32_t destination) {
    const uint32_t previous = BranchTarget(site);
    WriteHost8(site, opcode);
    WriteRel32(site + 1, destination);
    return previous;
}
}  // namespace

uint32_t WriteJump(uint32_t site, uint32_t destination) { return WriteBranch(0xE9, site, destination); }
uint32_t WriteCall(uint32_t site, uint32_t destination) { return WriteBranch(0xE8, site, destination); }

}  // namespace morvane
