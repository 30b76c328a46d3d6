#include "patch/RegisterHook.h"

#include <windows.h>

#include <cstring>

#include "patch/Patch.h"

extern "C" void morvane_register_trampoline();

namespace morvane {

namespace {

constexpr uint32_t kEntryCodeSize = 18;  // up to the call into the trampoline
constexpr uint32_t kPageSize = 4096;

// Executable memory for the entries, handed out in order and never released.
uint32_t NextEntrySlot(uint32_t size) {
    static uint32_t page = 0;
    static uint32_t used = kPageSize;
    if (used + size > kPageSize) {
        void* memory = VirtualAlloc(nullptr, kPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READ);
        if (memory == nullptr) return 0;
        page = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory));
        used = 0;
    }
    const uint32_t slot = page + used;
    used += size;
    return slot;
}

void Put32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }

}  // namespace

// Called by the trampoline for every hook: no exception may leave into host code.
extern "C" void __cdecl morvane_run_handler(RegisterRecord* record) noexcept {
    const RegisterRecord onEntry = *record;
    try {
        reinterpret_cast<RegisterHandler>(static_cast<uintptr_t>(record->handler))(*record);
    } catch (...) {
        *record = onEntry;
    }
}

uint32_t MakeRegisterEntry(RegisterHandler handler, uint32_t resume, std::initializer_list<uint8_t> displaced) {
    if (displaced.size() > kMaxDisplacedBytes) return 0;
    const uint32_t count = static_cast<uint32_t>(displaced.size());
    const uint32_t size = (kEntryCodeSize + count + 5 + 7) & ~7u;
    const uint32_t entry = NextEntrySlot(size);
    if (entry == 0) return 0;
    // The call's return address is the record's resume slot: the trampoline's final return
    // comes back to the tail right after the call, as the processor's return predictor
    // expects, and the tail runs the displaced instructions and jumps on to `resume`.
    uint8_t code[(kEntryCodeSize + kMaxDisplacedBytes + 5 + 7) & ~7u];
    std::memset(code, 0xCC, sizeof code);
    const uint8_t head[kEntryCodeSize] = {
        0x8D, 0x64, 0x24, 0xC0,  // lea esp, [esp-0x40]
        0x6A, 0x00,              // push 0 (floatResult)
        0x6A, 0x00,              // push 0 (pushFloat)
        0x68, 0, 0, 0, 0,        // push handler
        0xE8, 0, 0, 0, 0,        // call trampoline (pushes the tail: the resume slot)
    };
    std::memcpy(code, head, sizeof head);
    Put32(code + 9, CodeAddress(handler));
    Put32(code + 14, CodeAddress(&morvane_register_trampoline) - (entry + kEntryCodeSize));
    std::memcpy(code + kEntryCodeSize, displaced.begin(), count);
    const uint32_t jump = entry + kEntryCodeSize + count;
    code[jump - entry] = 0xE9;  // jmp resume
    Put32(code + (jump - entry) + 1, resume - (jump + 5));
    WriteHostBytes(entry, code, size);
    return entry;
}

void InstallRegisterHook(uint32_t site, RegisterHandler handler, uint32_t resume,
                         std::initializer_list<uint8_t> displaced) {
    const uint32_t entry = MakeRegisterEntry(handler, resume, displaced);
    if (entry != 0) WriteJump(TranslateHostAddress(site), entry);
}

}  // namespace morvane
