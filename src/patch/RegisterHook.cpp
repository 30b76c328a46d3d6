#include "patch/RegisterHook.h"

#include <windows.h>

#include <cstring>

#include "patch/Patch.h"

extern "C" void morvane_register_trampoline();

namespace morvane {

namespace {

constexpr uint32_t kEntrySize = 24;  // 23 bytes of code, padded
constexpr uint32_t kPageSize = 4096;

// Executable memory for the entries, handed out in order and never released.
uint32_t NextEntrySlot() {
    static uint32_t page = 0;
    static uint32_t used = kPageSize;
    if (used + kEntrySize > kPageSize) {
        void* memory = VirtualAlloc(nullptr, kPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READ);
        if (memory == nullptr) return 0;
        page = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory));
        used = 0;
    }
    const uint32_t slot = page + used;
    used += kEntrySize;
    return slot;
}

void Put32(uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); }

}  // namespace

uint32_t MakeRegisterEntry(RegisterHandler handler, uint32_t resume) {
    const uint32_t entry = NextEntrySlot();
    if (entry == 0) return 0;
    uint8_t code[kEntrySize] = {
        0x8D, 0x64, 0x24, 0xC0,  // lea esp, [esp-0x40]
        0x6A, 0x00,              // push 0 (floatResult)
        0x6A, 0x00,              // push 0 (pushFloat)
        0x68, 0, 0, 0, 0,        // push handler
        0x68, 0, 0, 0, 0,        // push resume
        0xE9, 0, 0, 0, 0,        // jmp trampoline
        0xCC,
    };
    Put32(code + 9, CodeAddress(handler));
    Put32(code + 14, resume);
    Put32(code + 19, CodeAddress(&morvane_register_trampoline) - (entry + 23));
    WriteHostBytes(entry, code, kEntrySize);
    return entry;
}

void InstallRegisterHook(uint32_t site, RegisterHandler handler, uint32_t resume) {
    const uint32_t entry = MakeRegisterEntry(handler, resume);
    if (entry != 0) WriteJump(TranslateHostAddress(site), entry);
}

}  // namespace morvane
