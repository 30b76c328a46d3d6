#include "patch/FaultObserver.h"

#include <windows.h>

#include <atomic>
#include <cstring>

#include "host/HostImage.h"
#include "patch/ForeignHooks.h"
#include "patch/Ledger.h"
#include "log/LogFile.h"

namespace morvane {

namespace {

uint32_t moduleBase = 0;
uint32_t moduleSize = 0;
char moduleName[260] = "Morvane.asi";
std::atomic<bool> busy{false};

bool Fatal(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: case EXCEPTION_ILLEGAL_INSTRUCTION: case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO: case EXCEPTION_INT_OVERFLOW: case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR: case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: case EXCEPTION_DATATYPE_MISALIGNMENT:
        return true;
    default:
        return false;
    }
}

bool InModule(uint32_t address) { return address - moduleBase < moduleSize; }

// The hook a fault belongs to, by name and site: the entry or written site it lies in,
// else the innermost hook whose return address is on the faulting thread's stack.
struct Culprit {
    const char* name = nullptr;
    uint32_t site = 0;
};

Culprit AtAddress(uint32_t address) {
    for (const MadeEntry& entry : MadeEntries()) {
        if (address >= entry.begin && address < entry.end) return {entry.name, entry.site};
    }
    for (const WrittenSite& site : WrittenSites()) {
        if (address >= site.address && address < site.address + site.size) return {site.name, site.address};
    }
    return {};
}

Culprit OnStack(uint32_t esp) {
    uint32_t top;  // the thread's stack base: its TIB's second field, FS:[4]
    asm("movl %%fs:4, %0" : "=r"(top));
    for (uint32_t at = esp & ~3u; at + 4 <= top && at - esp < 0x10000; at += 4) {
        const uint32_t value = *reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(at));
        for (const MadeEntry& entry : MadeEntries()) {
            if (value == entry.tail) return {entry.name, entry.site};
        }
        for (const WrittenSite& site : WrittenSites()) {
            if (site.returnAddress != 0 && value == site.returnAddress) return {site.name, site.address};
        }
    }
    return {};
}

void Register(LogLine& line, const char* name, DWORD value) {
    line << " " << name << "=";
    line.Hex(value);
}

LONG CALLBACK Observe(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    if (!Fatal(record.ExceptionCode) || busy.exchange(true)) return EXCEPTION_CONTINUE_SEARCH;
    const CONTEXT& c = *info->ContextRecord;
    Culprit culprit = AtAddress(address);
    if (culprit.name == nullptr && InModule(address)) culprit = OnStack(c.Esp);
    if (culprit.name != nullptr || InModule(address)) {
        LogLine line;
        line << "fault ";
        line.Hex(record.ExceptionCode) << " at ";
        if (InModule(address)) {
            line << moduleName << "+";
            line.Hex(address - moduleBase);
        } else {
            line.Hex(address);
        }
        line << " in ";
        if (culprit.name != nullptr) {
            line << "the hook '" << culprit.name << "' at ";
            line.Hex(culprit.site);
        } else {
            line << "Morvane, no hook on the stack";
        }
        line << ";";
        Register(line, "EAX", c.Eax), Register(line, "EBX", c.Ebx), Register(line, "ECX", c.Ecx);
        Register(line, "EDX", c.Edx), Register(line, "ESI", c.Esi), Register(line, "EDI", c.Edi);
        Register(line, "EBP", c.Ebp), Register(line, "ESP", c.Esp), Register(line, "EIP", c.Eip);
        Register(line, "EFLAGS", c.EFlags);
        line.Append();
    }
    busy = false;
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ObserveFaults(const void* module) {
    moduleSize = ImageHeaderField(module, kImageSizeField);
    moduleBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    HolderName(moduleBase, moduleName);
    AddVectoredExceptionHandler(1, &Observe);
}

}  // namespace morvane
