#include "patch/RegisterHook.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <new>

#include "patch/Failures.h"
#include "patch/FaultObserver.h"
#include "patch/Ledger.h"
#include "patch/Patch.h"

extern "C" {
// The trampoline's doors: for an integer handler, and for a floating-point one.
void morvane_integer_trampoline();
void morvane_float_trampoline();
// Calls a per-site entry as a game site would enter it, resuming at morvane_hook_entered,
// which returns to the caller.
void __cdecl morvane_enter_hook(uint32_t entry);
void morvane_hook_entered();
extern uint32_t morvane_x87_emptiness_test;
}

namespace morvane {

namespace {

// A per-site entry as written into executable memory: the head hands over to the
// trampoline; the tail, where the trampoline returns to, re-runs the displaced game
// instructions and jumps on to the resume address.
#pragma pack(push, 1)
struct EntryHead {
    uint8_t lea[3] = {0x8D, 0x64, 0x24};  // lea esp, [esp-ENTRY_STACK_RESERVE-8]: the reserve,
    int8_t reserve = -ENTRY_STACK_RESERVE - 8;  // then room for floatResult and pushFloat
    uint8_t pushHook = 0x68;                    // push hook (its RegisterHookInfo)
    uint32_t hook = 0;
    uint8_t call = 0xE8;  // call trampoline (pushes the tail: the record's resume slot)
    int32_t trampoline = 0;
};
struct JumpRel32 {
    uint8_t opcode = 0xE9;  // jmp resume
    int32_t displacement = 0;
};
#pragma pack(pop)
// The entry's room for two fields, its push and the call's return address complete the record
// above PUSHAD's.
static_assert(SITE_ESP_ABOVE_PUSHAD == ENTRY_STACK_RESERVE + 4 * 4 + 4);
static_assert(sizeof(EntryHead) == 14 && sizeof(JumpRel32) == 5);

// The entry's code, then its RegisterHookInfo on an 8-byte boundary.
constexpr uint32_t EntryCodeSize(uint32_t displacedCount) {
    return (sizeof(EntryHead) + displacedCount + sizeof(JumpRel32) + 7) & ~7u;
}
constexpr uint32_t EntrySize(uint32_t displacedCount) { return EntryCodeSize(displacedCount) + sizeof(RegisterHookInfo); }

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

}  // namespace

namespace {
std::atomic<void (*)()> firstHookWork{nullptr};
std::atomic<bool (*)() noexcept> everyHookWork{nullptr};

// Asked of every so many hooks only; counted without a lock (a count lost costs nothing).
uint32_t askEveryNth = 1;
int32_t hooksUntilAsked = 0;

// What start-up left for the hooks to do. It calls Windows, which may change the game's
// x87/SSE state as any called routine may: it runs only behind the floating-point door,
// which keeps that state whole (every hook that calls the game has that door, so every game
// meets one). Two loads once the first hook's work is done and no work recurs; a count
// while it does.
void HookChores() noexcept {
    if (firstHookWork.load(std::memory_order_relaxed) == nullptr) {
        if (everyHookWork.load(std::memory_order_relaxed) == nullptr || --hooksUntilAsked > 0) return;
        hooksUntilAsked = static_cast<int32_t>(askEveryNth);
    }
    try {
        if (void (*work)() = firstHookWork.exchange(nullptr)) work();
    } catch (...) {
    }
    if (bool (*work)() noexcept = everyHookWork.load(std::memory_order_relaxed)) {
        if (work()) everyHookWork.compare_exchange_strong(work, nullptr);
    }
}
}  // namespace

void RunOnFirstHook(void (*work)()) { firstHookWork.store(work); }
void RunOnEveryHookUntilDone(bool (*work)() noexcept, uint32_t everyNth) {
    askEveryNth = everyNth != 0 ? everyNth : 1;
    hooksUntilAsked = 0;
    everyHookWork.store(work);
}

// What the trampoline keeps below the record: the site's registers and flags as the game
// reached it, in the record's order.
struct SiteState {
    uint32_t edi, esi, ebp, esp, ebx, edx, ecx, eax, eflags;
};
static_assert(sizeof(SiteState) == SITE_STATE_SIZE && offsetof(SiteState, esp) == RECORD_ESP &&
              offsetof(SiteState, eflags) == RECORD_EFLAGS);

// Runs a hook's handler, for the trampoline: no exception may leave into host code. A
// handler switched off whole after a fault in it is not run: the game gets its registers.
// One that fails leaves the record as the game reached the site, with no float result;
// behind the integer door, which keeps none of the game's x87/SSE state, with the state the
// fault found put back (telling it and unwinding to here call code that may change it).
// Only a handler behind the floating-point door may call code not Morvane's.
template <bool kIntegerDoor>
[[gnu::always_inline]] inline void RunHandler(RegisterRecord* record, const SiteState* site) noexcept {
    HookPlace* place = HookPlaceOf(*record);
    try {
        if (!kIntegerDoor) HookChores();
        if (place != nullptr && place->off.load(std::memory_order_relaxed) == SwitchedOff::WholeHandler) return;
        const HookMark mark(place, 0, !kIntegerDoor);
        record->hook->handler(*record);
        return;
    } catch (...) {
        std::memcpy(record, site, sizeof *site);
        record->resume = record->hook->tail;
        record->pushFloat = 0;
        ContainFailure(place != nullptr ? *place : SharedHookPlace(), SwitchedOff::WholeHandler);
    }
    if (kIntegerDoor) PutBackFloatStateAtFault();
}

extern "C" void __cdecl morvane_run_handler(RegisterRecord* record, const SiteState* site) noexcept {
    RunHandler<false>(record, site);
}
extern "C" void __cdecl morvane_run_integer_handler(RegisterRecord* record, const SiteState* site) noexcept {
    RunHandler<true>(record, site);
}

uint32_t MakeRegisterEntry(RegisterHandler handler, uint32_t resume, std::span<const uint8_t> displaced,
                           HookPlace* place, HandlerClass handlerClass) {
    if (displaced.size() > kMaxDisplacedBytes) return 0;
    const uint32_t count = static_cast<uint32_t>(displaced.size());
    const uint32_t size = EntrySize(count);
    const uint32_t entry = NextEntrySlot(size);
    // Written by the trampoline: outside the entry's code, which is not writable.
    auto* fullX87Stack = entry != 0 ? new (std::nothrow) uint32_t{0} : nullptr;
    if (fullX87Stack == nullptr) return 0;
    if (place != nullptr) place->integerDoor = handlerClass == HandlerClass::Integer;
    // The call's return address is the record's resume slot: the trampoline's final return
    // comes back to the tail right after the call, as the processor's return predictor
    // expects, and the tail runs the displaced instructions and jumps on to `resume`.
    uint8_t code[EntrySize(kMaxDisplacedBytes)];
    std::memset(code, 0xCC, sizeof code);
    const RegisterHookInfo hook{handler, place, fullX87Stack, entry + sizeof(EntryHead)};
    const uint32_t hookAt = entry + EntryCodeSize(count);
    std::memcpy(code + EntryCodeSize(count), &hook, sizeof hook);
    EntryHead head;
    head.hook = hookAt;
    const uint32_t door = CodeAddress(handlerClass == HandlerClass::Integer ? &morvane_integer_trampoline
                                                                            : &morvane_float_trampoline);
    head.trampoline = static_cast<int32_t>(door - (entry + sizeof head));
    std::memcpy(code, &head, sizeof head);
    std::memcpy(code + sizeof head, displaced.data(), count);
    const uint32_t tailJump = sizeof head + count;
    JumpRel32 jump;
    jump.displacement = static_cast<int32_t>(resume - (entry + tailJump + sizeof jump));
    std::memcpy(code + tailJump, &jump, sizeof jump);
    WriteHostBytes(entry, code, size);
    NoteEntry(entry, size, entry + sizeof head, place != nullptr ? place->name : "a register hook",
              place != nullptr ? place->site : 0);
    return entry;
}

void UseX87EmptinessTest(X87EmptinessTest test) {
    __atomic_store_n(&morvane_x87_emptiness_test, static_cast<uint32_t>(test), __ATOMIC_RELAXED);
}

X87EmptinessTest X87EmptinessTestInUse() {
    return static_cast<X87EmptinessTest>(__atomic_load_n(&morvane_x87_emptiness_test, __ATOMIC_RELAXED));
}

namespace {
void NothingToDo(RegisterRecord&) {}
}  // namespace

X87EmptinessTiming ChooseX87EmptinessTest() {
    constexpr uint32_t kCalls = 256, kRounds = 3;
    X87EmptinessTiming timing{{UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX}, X87EmptinessTest::Push};
    const uint32_t entry = MakeRegisterEntry(&NothingToDo, CodeAddress(&morvane_hook_entered));
    LARGE_INTEGER frequency;
    if (entry == 0 || !QueryPerformanceFrequency(&frequency)) return timing;
    // The tests take turns in each round, so that whatever else the processor does hits
    // them alike.
    for (uint32_t round = 0; round < kRounds; ++round) {
        for (uint32_t test = 0; test < std::size(timing.nanoseconds); ++test) {
            UseX87EmptinessTest(static_cast<X87EmptinessTest>(test));
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            for (uint32_t call = 0; call < kCalls; ++call) morvane_enter_hook(entry);
            QueryPerformanceCounter(&end);
            const uint64_t ns = static_cast<uint64_t>(end.QuadPart - start.QuadPart) * 1000000000u /
                                static_cast<uint64_t>(frequency.QuadPart) / kCalls;
            timing.nanoseconds[test] = std::min<uint32_t>(timing.nanoseconds[test], static_cast<uint32_t>(ns));
        }
    }
    const uint32_t* const cheapest = std::min_element(std::begin(timing.nanoseconds), std::end(timing.nanoseconds));
    timing.chosen = static_cast<X87EmptinessTest>(cheapest - timing.nanoseconds);
    UseX87EmptinessTest(timing.chosen);
    return timing;
}

}  // namespace morvane
