#include "patch/FaultObserver.h"

#include <windows.h>

#include <atomic>
#include <cstring>

#include "host/HostImage.h"
#include "patch/Failures.h"
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

// The faults a hook's own code may have made on a record not as the game was expected to
// lay it out: every fatal one but a stack overflow, or a page the system could not bring
// in, which are never contained: the game ends as it would.
bool Containable(DWORD code) {
    return Fatal(code) && code != EXCEPTION_STACK_OVERFLOW && code != EXCEPTION_IN_PAGE_ERROR;
}

bool InModule(uint32_t address) { return address - moduleBase < moduleSize; }

// The hook a fault belongs to, by name and site.
struct Culprit {
    const char* name = nullptr;
    uint32_t site = 0;
};

// The entry or written site the address lies in.
Culprit AtAddress(uint32_t address) {
    if (const MadeEntry* entry = EntryAt(address)) return {entry->name, entry->site};
    for (const WrittenSite& site : WrittenSites()) {
        if (address >= site.address && address < site.address + site.size) return {site.name, site.address};
    }
    return {};
}

// The innermost hook at work on the faulting thread: its mark (then `marked` is set: a
// catcher is there), else the return address of an entry or a written call on the stack.
Culprit OnStack(uint32_t esp, bool& marked) {
    uint32_t top;  // the thread's stack base: its TIB's second field, FS:[4]
    asm("movl %%fs:4, %0" : "=r"(top));
    if (top - esp > 0x10000) top = esp + 0x10000;  // the innermost 64 KB
    const auto word = [](uint32_t at) { return *reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(at)); };
    if (const HookMark* mark = InnermostHookMark(esp, top)) {
        const HookPlace* place = mark->place != nullptr ? mark->place : &RoutinePlace(mark->routine);
        marked = true;
        return {place->name, place->site};
    }
    marked = false;
    for (uint32_t at = esp & ~3u; at + 4 <= top; at += 4) {
        for (const MadeEntry& entry : MadeEntries()) {
            if (word(at) == entry.tail) return {entry.name, entry.site};
        }
        for (const WrittenSite& site : WrittenSites()) {
            if (site.returnAddress != 0 && word(at) == site.returnAddress) return {site.name, site.address};
        }
    }
    return {};
}

// Where unwinding can start: code of Morvane's compiled with unwind tables (not the
// trampoline's or an entry's hand-written bytes).
extern "C" const void* _Unwind_Find_FDE(void* pc, void* bases);
bool Unwindable(uint32_t address) {
    uint32_t bases[3];
    return _Unwind_Find_FDE(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), bases) != nullptr;
}

void Register(LogLine& line, const char* name, DWORD value) {
    line << " " << name << "=";
    line.Hex(value);
}

void TellFault(const EXCEPTION_RECORD& record, const CONTEXT& c, const Culprit& culprit, bool contained) {
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    LogLine line;
    line << "fault ";
    line.Hex(record.ExceptionCode) << " ";
    if (InModule(address)) {
        line << "at " << moduleName << "+";
        line.Hex(address - moduleBase);
        line << " in ";
    } else {
        line << "in game code at ";
        line.Hex(address);
        line << ", called from ";
    }
    if (culprit.name != nullptr) {
        line << (InModule(address) ? "the hook '" : "Morvane's hook '") << culprit.name << "' at ";
        line.Hex(culprit.site);
    } else {
        line << "Morvane, no hook on the stack";
    }
    line << (contained ? ": contained, the game goes on and the hook is switched off;" : ";");
    Register(line, "EAX", c.Eax), Register(line, "EBX", c.Ebx), Register(line, "ECX", c.Ecx);
    Register(line, "EDX", c.Edx), Register(line, "ESI", c.Esi), Register(line, "EDI", c.Edi);
    Register(line, "EBP", c.Ebp), Register(line, "ESP", c.Esp), Register(line, "EIP", c.Eip);
    Register(line, "EFLAGS", c.EFlags);
    line.Append();
}

// The faulting thread goes on as if the faulting instruction had called
// RaiseContainedFault: the exception it throws unwinds to the hook's catcher.
void RaiseAtFault(CONTEXT& c, DWORD code) {
    c.Esp -= 4;
    *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.Esp)) = c.Eip + 1;  // unwinding looks up (return - 1)
    c.Ecx = code;
    c.Edx = c.Eip;
    c.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&RaiseContainedFault));
}

LONG CALLBACK Observe(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    if (!Fatal(record.ExceptionCode) || busy.exchange(true)) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT& c = *info->ContextRecord;
    bool marked = false;
    Culprit culprit = AtAddress(address);
    // The stack is looked at for a fault in Morvane's code, or in game code a hook called.
    if (culprit.name == nullptr) {
        const Culprit onStack = OnStack(c.Esp, marked);
        if (InModule(address) || marked) culprit = onStack;
    }
    const bool contain = marked && InModule(address) && Containable(record.ExceptionCode) && Unwindable(address);
    if (culprit.name != nullptr || InModule(address)) TellFault(record, c, culprit, contain);
    if (contain) RaiseAtFault(c, record.ExceptionCode);
    busy = false;
    return contain ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ObserveFaults(const void* module) {
    moduleSize = ImageHeaderField(module, kImageSizeField);
    moduleBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    HolderName(moduleBase, moduleName);
    AddVectoredExceptionHandler(1, &Observe);
}

}  // namespace morvane
