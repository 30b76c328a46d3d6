#pragma once
// While a hook runs, a mark says so, in two places. On the hook's stack, for the fault
// observer: it finds the innermost mark above a fault, for the hook it belongs to and the
// certainty that a catcher is there. In its thread's record of marks, for live profiles,
// which free a replaced configuration once no mark that stood when it was replaced stands
// any more (live/Reclaim.h): the record is read without touching any stack, so a mark on a
// fiber switched out inside its hook is seen as well as one on the running stack.
//
// A mark goes when its hook ends, whichever way: its destructor takes it down, and so does
// any unwind past the hook's frame that Morvane's destructors do not see (a long jump out
// of a game routine the hook called, the game's own exception unwinding, a foreign C++
// exception), through a structured-exception registration the mark keeps linked on the
// thread's chain while it stands (but for a hook that calls nothing outside Morvane's
// integer code, where no such unwind can start). A thread that ends inside a hook leaves its record
// cleared (at the thread's detach notification); one killed there leaves its marks, which
// count for as long as their memory still holds them.
//
// Configuration (CurrentConfiguration) is taken only under a mark, and each mark holds its
// slot before its hook's first step: a configuration retired after a flush of every
// thread's writes can only be held by marks the record shows then.
#include <atomic>
#include <cstdint>
#include <vector>

namespace morvane {

struct HookPlace;

struct ThreadMarks;

struct HookMark {
    static constexpr uint32_t kMagic = 0x4B4F4F48;  // "HOOK"
    // The mark stands before the hook's first step is taken and goes after its last (the
    // compiler may move no memory access across it). `foreignCode`: the hook may call code
    // not Morvane's, from which an unwind may start that skips the destructor.
    HookMark(HookPlace* hookPlace, uint32_t hookRoutine, bool foreignCode = true);
    ~HookMark();
    HookMark(const HookMark&) = delete;
    HookMark& operator=(const HookMark&) = delete;

    // Takes the mark down where an unwind skips its destructor.
    void Lower() volatile;

    // A structured-exception registration, {next, handler}, as the thread's chain (FS:[0])
    // links them: first in the mark, whose address the handler is given (null: not linked).
    HookMark* volatile nextRegistration;
    void* unwindHandler;
    volatile uint32_t magic;  // kMagic: the memory of a mark a killed thread left still holds one
    HookPlace* volatile place;
    volatile uint32_t routine;
    // Where the mark is counted: its slot in its thread's record (given back as it goes, from
    // whichever thread), or, where the record had no slot free, the record's count.
    const HookMark* volatile* slot;
    ThreadMarks* counted;
};

// A thread's marks standing: a slot each, holding the mark's address. (A later mark of the
// same hook may stand at the same address: the reclaimer then waits for it too, which
// costs time, never safety.)
constexpr uint32_t kMarkSlots = 15;
struct ThreadMarks {
    std::atomic<uint32_t> owner;  // the thread's id; 0: a free record
    const HookMark* volatile slots[kMarkSlots];
    std::atomic<uint32_t> uncounted;  // marks standing that found no slot free
    bool readsFreely;                 // the live-profiles thread
};

// The calling thread's record, taken the first time a hook runs on it. Never null: a
// thread that finds no record free shares one whose marks are only counted.
ThreadMarks& CurrentThreadMarks();
// The calling thread is ending (its detach notification): the marks on its own stack go,
// and its record is free again once no fiber's mark is left in it.
void LeaveThreadMarks();

// A mark that stood at a moment, as the reclaimer waits for it to go.
struct StandingMark {
    const HookMark* const volatile* slot;   // its slot, holding `mark` while it stands; or null and
    const std::atomic<uint32_t>* uncounted;  // a record's count of marks without a slot, nonzero
    const HookMark* mark;
    uint32_t owner;  // the thread whose record holds it
};
// Every mark standing now, on every thread and fiber: after a flush of every thread's
// writes, so that a hook that had taken its slot before is seen.
std::vector<StandingMark> StandingMarks();
// Whether it stands still: its slot holds it, and where its thread has ended without
// taking it down, its memory still holds the mark.
bool StillStanding(const StandingMark& standing);

// Whether the calling thread may read the configuration now: a mark stands on its running
// stack, or it is the thread that builds and retires configurations (which says so once
// with ReadConfigurationFreely). Fails loudly otherwise where it checks each reading
// (CheckConfigurationReads, in a debug build).
bool ConfigurationReadAllowed();
void ReadConfigurationFreely();
void CheckConfigurationReads();

// The innermost mark standing on the calling thread's running stack at or above `esp`
// (below the hook that made it, nothing of its own; above it, what called the hook), or null.
const HookMark* InnermostMarkAbove(uint32_t esp);

// ---- What every hook runs: a few plain loads and stores, no lock -------------------------

namespace detail {
// The thread-local slot that points to a thread's record.
extern const uint32_t marksIndex;
ThreadMarks& AdoptThreadMarks();
// A slot past the first, or the record's count.
void TakeAnotherSlot(HookMark& mark, ThreadMarks& marks);
extern "C" int __cdecl morvane_mark_unwound(void* record, void* frame, void* context, void* dispatcher);

// The calling thread's record, or null: its thread-local slot read from its information
// block, TlsSlots at FS:[0xE10] for the first 64, else the array TlsExpansionSlots
// (FS:[0xF94]) points to, if any.
inline ThreadMarks* ThisThreadsRecord() {
    const uint32_t index = marksIndex;
    ThreadMarks* marks;
    if (__builtin_expect(index < 64, 1)) {
        // volatile: the slot changes as the thread takes its record (no two reads merged)
        asm volatile("movl %%fs:0xE10(,%1,4), %0" : "=r"(marks) : "r"(index));
        return marks;
    }
    ThreadMarks** expansion;
    asm volatile("movl %%fs:0xF94, %0" : "=r"(expansion));
    return expansion != nullptr && index < 64 + 1024 ? expansion[index - 64] : nullptr;
}
}  // namespace detail

inline ThreadMarks& CurrentThreadMarks() {
    ThreadMarks* marks = detail::ThisThreadsRecord();
    return marks != nullptr ? *marks : detail::AdoptThreadMarks();
}

inline HookMark::HookMark(HookPlace* hookPlace, uint32_t hookRoutine, bool foreignCode)
    : place(hookPlace), routine(hookRoutine) {
    magic = kMagic;
    ThreadMarks& marks = CurrentThreadMarks();
    if (__builtin_expect(marks.slots[0] == nullptr, 1)) {
        marks.slots[0] = this;
        slot = &marks.slots[0];
    } else {
        detail::TakeAnotherSlot(*this, marks);
    }
    unwindHandler = nullptr;
    if (foreignCode) {
        unwindHandler = reinterpret_cast<void*>(&detail::morvane_mark_unwound);
        HookMark* next;
        asm volatile("movl %%fs:0, %0" : "=r"(next));
        nextRegistration = next;
        asm volatile("movl %0, %%fs:0" ::"r"(this) : "memory");
    }
    asm volatile("" ::: "memory");
}

// The hook's own end: its slot still holds it (only an unwind that skips this, or
// its thread's end, gives it back otherwise).
inline HookMark::~HookMark() {
    asm volatile("" ::: "memory");
    if (unwindHandler != nullptr) asm volatile("movl %0, %%fs:0" ::"r"(nextRegistration) : "memory");
    if (__builtin_expect(slot != nullptr, 1)) {
        *slot = nullptr;
    } else {
        counted->uncounted.fetch_sub(1);
    }
}

}  // namespace morvane
