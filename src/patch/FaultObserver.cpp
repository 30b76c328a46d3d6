#include "patch/FaultObserver.h"

#include <windows.h>

#include <unwind.h>

#include <atomic>

#include "host/HostImage.h"
#include "patch/Failures.h"
#include "patch/ForeignHooks.h"
#include "patch/Patch.h"
#include "patch/Ledger.h"
#include "log/LogFile.h"

extern "C" void __cdecl morvane_restore_float_state(const void* image);

namespace morvane {

namespace {

uint32_t moduleBase = 0;
uint32_t moduleSize = 0;
char moduleName[260] = "Morvane.asi";
LPTOP_LEVEL_EXCEPTION_FILTER gameFilter = nullptr;

// The codes the processor raises for a fault in the code that ran (not a software exception:
// a C++ throw, a breakpoint, a guard page, a float exception).
bool HardwareFault(DWORD code) {
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
    return HardwareFault(code) && code != EXCEPTION_STACK_OVERFLOW && code != EXCEPTION_IN_PAGE_ERROR;
}

bool InModule(uint32_t address) { return address - moduleBase < moduleSize; }

// The hook a fault belongs to, by name and site.
struct Culprit {
    const char* name = nullptr;
    uint32_t site = 0;
};

// The entry or written site the address lies in. A site whose bytes another plug-in
// replaced (or put back as the game had them) is no longer Morvane's: its hook does not
// run there.
Culprit AtAddress(uint32_t address) {
    if (const MadeEntry* entry = EntryAt(address)) return {entry->name, entry->site};
    for (const WrittenSite& site : WrittenSites()) {
        if (address >= site.address && address < site.address + site.size && StillAsWritten(site))
            return {site.name, site.address};
    }
    return {};
}

// Code that is Morvane's: its image, the entries it made, the game bytes it wrote and
// that are still as it wrote them.
bool MorvanesCode(uint32_t address) { return InModule(address) || AtAddress(address).name != nullptr; }

// What the observer keeps per thread, for up to 64 threads at once, with no lock and no
// heap: two threads faulting at once are both observed.
constexpr int kMostThreads = 64;

// The slot the thread holds, else a free one it takes when `take` is set; null if none.
template <typename Slot>
Slot* SlotOf(Slot (&slots)[kMostThreads], DWORD thread, bool take) {
    for (Slot& slot : slots) {
        if (slot.thread.load() == thread) return &slot;
    }
    for (Slot& slot : slots) {
        DWORD none = 0;
        if (take && slot.thread.compare_exchange_strong(none, thread)) return &slot;
    }
    return nullptr;
}

// A thread's visit to the observer, by the frame it came in at and its stack. A thread
// found here in a frame still live faulted inside the observer: that fault is left to the
// game. One whose earlier visit the game's own handler cut short (that frame gone), or a
// thread that took over an ended one's number, is let in again.
struct Visit {
    std::atomic<DWORD> thread;
    uintptr_t frame, stack;
};
Visit visits[kMostThreads];

class ThreadInObserver {
public:
    ThreadInObserver() {
        const auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        uintptr_t stack;  // the thread's stack base, FS:[4]
        asm("movl %%fs:4, %0" : "=r"(stack));
        visit_ = SlotOf(visits, GetCurrentThreadId(), true);
        if (visit_ != nullptr && visit_->stack == stack && visit_->frame > frame) visit_ = nullptr;  // still under way
        if (visit_ == nullptr) return;
        visit_->frame = frame;
        visit_->stack = stack;
    }
    ~ThreadInObserver() {
        if (visit_ == nullptr) return;
        visit_->frame = 0;
        visit_->thread.store(0);
    }
    ThreadInObserver(const ThreadInObserver&) = delete;
    ThreadInObserver& operator=(const ThreadInObserver&) = delete;
    bool entered() const { return visit_ != nullptr; }

private:
    Visit* visit_;
};

// What the faulting thread's stack says, from the fault up: the innermost hook at work (a
// return to a written call or an entry, else a running hook's mark), and that mark's hook.
struct StackFindings {
    Culprit culprit;
    Culprit marked;
    const HookMark* mark = nullptr;
};

StackFindings LookUpStack(uint32_t esp) {
    uint32_t top;  // the thread's stack base: its TIB's second field, FS:[4]
    asm("movl %%fs:4, %0" : "=r"(top));
    if (top - esp > 0x10000) top = esp + 0x10000;  // the innermost 64 KB
    StackFindings found;
    found.mark = InnermostMarkAbove(esp);
    const auto markAt = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(found.mark));
    if (found.mark != nullptr && markAt < top) top = markAt;
    for (uint32_t at = esp & ~3u; at + 4 <= top; at += 4) {
        const uint32_t word = *reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(at));
        for (const MadeEntry& entry : MadeEntries()) {
            if (found.culprit.name == nullptr && word == entry.tail) found.culprit = {entry.name, entry.site};
        }
        for (const WrittenSite& site : WrittenSites()) {
            if (found.culprit.name == nullptr && site.returnAddress != 0 && word == site.returnAddress)
                found.culprit = {site.name, site.address};
        }
    }
    if (found.mark != nullptr) {
        const HookPlace* place = found.mark->place;
        if (place == nullptr) place = &RoutinePlace(found.mark->routine);
        found.marked = {place->name, place->site};
        if (found.culprit.name == nullptr) found.culprit = found.marked;
    }
    return found;
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

// "at Morvane.asi+0x00010018 in the hook 'x' at 0x...", or for code not Morvane's, named by
// its module, "at kavra.exe+0x0003C1F0, called from Morvane's hook 'x' at 0x...".
void TellPlaceAndHook(LogLine& line, uint32_t address, const Culprit& culprit) {
    const bool morvanes = MorvanesCode(address);
    line << "at ";
    if (InModule(address)) {
        line << moduleName << "+";
        line.Hex(address - moduleBase);
    } else {
        TellCodePlace(line, address);
    }
    line << (morvanes ? " in " : ", called from ");
    if (culprit.name != nullptr) {
        line << (morvanes ? "the hook '" : "Morvane's hook '") << culprit.name << "' at ";
        line.Hex(culprit.site);
    } else {
        line << "Morvane, no hook on the stack";
    }
}

// One problem, one line: a fault told once per hook, code, faulting address and outcome
// (63 threads faulting in one hook before it is switched off leave one line), the
// repeats counted and told at exit. No lock and no heap: a slot is taken with an atomic
// swap, and a fault of a kind the full table does not hold is told.
struct FaultKind {
    std::atomic<uint32_t> state;  // kFree, kFilling, kFilled
    DWORD code;
    uint32_t address;
    Culprit culprit;
    bool contained;
    std::atomic<uint32_t> count;
};
constexpr uint32_t kFree = 0, kFilling = 1, kFilled = 2;
FaultKind faultKinds[32];

bool FirstOfItsKind(DWORD code, uint32_t address, const Culprit& culprit, bool contained) {
    for (FaultKind& kind : faultKinds) {
        uint32_t state = kind.state.load(std::memory_order_acquire);
        if (state == kFree && kind.state.compare_exchange_strong(state, kFilling)) {
            kind.code = code, kind.address = address, kind.culprit = culprit, kind.contained = contained;
            kind.count.store(1, std::memory_order_relaxed);
            kind.state.store(kFilled, std::memory_order_release);
            return true;
        }
        // Another thread is filling this slot, with a fault of the same kind as likely as not.
        for (int wait = 0; state == kFilling && wait < 100000; ++wait)
            state = kind.state.load(std::memory_order_acquire);
        if (state == kFilled && kind.code == code && kind.address == address && kind.culprit.name == culprit.name &&
            kind.culprit.site == culprit.site && kind.contained == contained) {
            kind.count.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
    }
    return true;
}

void TellFault(DWORD code, const CONTEXT& c, const Culprit& culprit, bool contained) {
    const uint32_t address = c.Eip;
    if (!FirstOfItsKind(code, address, culprit, contained)) return;
    LogLine line;
    line.Time() << " fault ";
    line.Hex(code) << " ";
    TellPlaceAndHook(line, address, culprit);
    line << (contained ? ": contained, the game goes on and the hook is switched off;" : ";");
    Register(line, "EAX", c.Eax), Register(line, "EBX", c.Ebx), Register(line, "ECX", c.Ecx);
    Register(line, "EDX", c.Edx), Register(line, "ESI", c.Esi), Register(line, "EDI", c.Edi);
    Register(line, "EBP", c.Ebp), Register(line, "ESP", c.Esp), Register(line, "EIP", c.Eip);
    Register(line, "EFLAGS", c.EFlags);
    line.Append();
}

// A fault in Morvane's code under a hook's mark, handed to its own thread: it goes on as if
// the faulting instruction had called ContainOrGoOn, which asks the unwinder whether the
// hook's catcher can be reached through Morvane's frames alone (a routine of Morvane's the
// game called back while a hook ran cannot: the game's frames lie between). If so the fault
// is thrown as an exception to that catcher; if not, the thread is put back as it was and
// runs the faulting instruction again, and that fault goes on as the game would have it.
struct HandOver {
    std::atomic<DWORD> thread;
    bool putBack;  // the instruction runs again: its fault is the game's to handle
    bool integerDoor;  // the marked hook's door keeps no x87/SSE state: the fault's goes with it
    bool holdsFloatState;  // kept for the catcher to put back (the thread's slot stays taken)
    DWORD code;
    uint32_t mark;
    Culprit marked, innermost;
    CONTEXT context;
};
HandOver handOvers[kMostThreads];

struct Reach {
    uint32_t mark;
    bool reached;
};

// A frame the unwinder stepped to: past the mark's frame (its canonical frame address above
// the mark) only once every frame below it could be unwound.
_Unwind_Reason_Code UnwoundTo(_Unwind_Context* context, void* argument) {
    auto& reach = *static_cast<Reach*>(argument);
    if (_Unwind_GetCFA(context) <= reach.mark) return _URC_NO_REASON;
    reach.reached = true;
    return _URC_END_OF_STACK;
}

// Raises the exception with which a thread whose fault cannot be contained asks to be put
// back as it was when it faulted (an undefined instruction at this known address).
extern "C" void morvane_put_back();
asm(".text\n_morvane_put_back: ud2");

__attribute__((noinline)) void __fastcall ContainOrGoOn(HandOver* handOver) {
    Reach reach{handOver->mark, false};
    _Unwind_Backtrace(&UnwoundTo, &reach);
    HandOver& fault = *handOver;
    if (reach.reached) {
        TellFault(fault.code, fault.context, fault.marked, true);
        const DWORD code = fault.code, address = fault.context.Eip;
        fault.holdsFloatState = fault.integerDoor && (fault.context.ContextFlags & CONTEXT_EXTENDED_REGISTERS) ==
                                                         CONTEXT_EXTENDED_REGISTERS;
        if (!fault.holdsFloatState) fault.thread.store(0);
        RaiseContainedFault(code, address);
    }
    TellFault(fault.code, fault.context, fault.innermost, false);
    fault.putBack = true;
    morvane_put_back();
}

// The faulting thread goes on in ContainOrGoOn, as if the faulting instruction had called it.
void HandOverAtFault(CONTEXT& c, HandOver& handOver) {
    handOver.context = c;
    c.Esp -= 4;
    *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(c.Esp)) = c.Eip + 1;  // unwinding looks up (return - 1)
    c.Ecx = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&handOver));
    c.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&ContainOrGoOn));
}

// First chance, on every exception of the process: only Morvane's own faults are looked at.
LONG CALLBACK Observe(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    if (!HardwareFault(record.ExceptionCode) || !MorvanesCode(address)) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT& c = *info->ContextRecord;
    const DWORD self = GetCurrentThreadId();
    if (HandOver* own = SlotOf(handOvers, self, false); own != nullptr && own->holdsFloatState) {
        own->holdsFloatState = false;  // a catcher that never came for it
        own->thread.store(0);
    }
    if (HandOver* own = SlotOf(handOvers, self, false)) {
        if (own->putBack && address == CodeAddress(&morvane_put_back)) {
            const DWORD flags = c.ContextFlags;
            c = own->context;  // the faulting instruction runs again
            c.ContextFlags = flags;
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        // The instruction put back faulted again (told already), or the hand-over itself
        // faulted: either is left to the game.
        const bool again = own->putBack && own->context.Eip == c.Eip && own->context.Esp == c.Esp;
        const bool handingOver = !own->putBack;
        own->thread.store(0);
        if (again) return EXCEPTION_CONTINUE_SEARCH;
        if (handingOver) return TellFault(record.ExceptionCode, c, {}, false), EXCEPTION_CONTINUE_SEARCH;
    }
    const ThreadInObserver visit;
    if (!visit.entered()) return EXCEPTION_CONTINUE_SEARCH;
    const StackFindings stack = LookUpStack(c.Esp);
    Culprit culprit = AtAddress(address);
    if (culprit.name == nullptr) culprit = stack.culprit;
    if (stack.mark != nullptr && InModule(address) && Containable(record.ExceptionCode) && Unwindable(address)) {
        if (HandOver* handOver = SlotOf(handOvers, self, true)) {
            handOver->putBack = false;
            handOver->holdsFloatState = false;
            handOver->integerDoor = stack.mark->place != nullptr && stack.mark->place->integerDoor;
            handOver->code = record.ExceptionCode;
            handOver->mark = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stack.mark));
            handOver->marked = stack.marked;
            handOver->innermost = culprit;
            HandOverAtFault(c, *handOver);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
    }
    TellFault(record.ExceptionCode, c, culprit, false);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Last chance: a fault no handler took is about to end the game. One in game code that a
// running hook called is told with that hook; then the game's own filter, if it had one.
LONG WINAPI TellUnhandled(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress));
    if (HardwareFault(record.ExceptionCode) && !MorvanesCode(address)) {  // Morvane's own were told as they happened
        const ThreadInObserver visit;
        const StackFindings stack = visit.entered() ? LookUpStack(info->ContextRecord->Esp) : StackFindings{};
        if (stack.mark != nullptr) TellFault(record.ExceptionCode, *info->ContextRecord, stack.culprit, false);
    }
    return gameFilter != nullptr ? gameFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void LogRepeatedFaults() noexcept {
    for (FaultKind& kind : faultKinds) {
        // A contained fault counts as a failure at its hook's place, whose count is told.
        const uint32_t count = kind.count.load(std::memory_order_relaxed);
        if (kind.state.load(std::memory_order_acquire) != kFilled || kind.contained || count < 2) continue;
        LogLine line;
        line << "at exit: ";
        line.Hex(kind.code) << " ";
        TellPlaceAndHook(line, kind.address, kind.culprit);
        line << ": ";
        line.Decimal(count) << " faults, told once";
        line.Append();
    }
}

void PutBackFloatStateAtFault() noexcept {
    HandOver* own = SlotOf(handOvers, GetCurrentThreadId(), false);
    if (own == nullptr || !own->holdsFloatState) return;
    morvane_restore_float_state(own->context.ExtendedRegisters);
    own->holdsFloatState = false;
    own->thread.store(0);
}

void ObserveFaults(const void* module) {
    static std::atomic<bool> observing{false};
    if (observing.exchange(true)) return;
    moduleSize = ImageHeaderField(module, kImageSizeField);
    moduleBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module));
    HolderName(moduleBase, moduleName);
    AddVectoredExceptionHandler(1, &Observe);
    gameFilter = SetUnhandledExceptionFilter(&TellUnhandled);
}

}  // namespace morvane
