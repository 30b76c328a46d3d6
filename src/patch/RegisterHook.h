#pragma once
// Mid-function hooks. A site is diverted by a 5-byte jump into a small per-site entry,
// which hands over to the one shared trampoline, at its door for the handler's class:
//   - it captures EAX..EDI, EFLAGS and ESP as they were at the site into a
//     RegisterRecord on the host's stack,
//   - keeps the host's x87/MMX/SSE state (the x87 values in flight, popped whole, and
//     what a handler can change: the x87 control and status words, MXCSR, XMM0-7; where
//     the x87 state is odd, such as an exception pending, all of it), starts the handler
//     with an empty x87 stack, the default x87 and SSE control words, on a 16-byte
//     aligned stack, and calls the handler,
//   - restores the host's x87/MMX/SSE state, pushes `floatResult` onto the x87 stack
//     when `pushFloat` is set, and resumes at `resume` with every register, ESP and
//     EFLAGS taken from the record.
// Host instructions that the site's jump overwrote and whose work is still needed (a
// push, a load, a comparison whose flags the host reads) are given to the entry as
// bytes: they run after the registers are restored, then the entry jumps on to the
// resume address. They must not be relative to their address (no rel8/rel32 branch).
// A handler that moves `resume` elsewhere skips them.
// No exception leaves a handler: one that throws is abandoned, counted at the hook's
// place, and the host resumes with the record as it was on entry.
// A handler may raise ESP freely (to pop host values or return from the host routine);
// it may lower it by at most kMaxStackGrowth bytes.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "patch/TrampolineLayout.h"

// How often the trampoline has restored a game's x87 state whole (FXRSTOR, the dear way):
// from its whole save, where the state was odd, and from the image of what it kept, where
// the status word could not be set again cheaply. Counted without a lock, for diagnosis.
extern "C" uint32_t morvane_x87_whole_saves;
extern "C" uint32_t morvane_x87_image_restores;

namespace morvane {

struct HookPlace;
struct RegisterRecord;
using RegisterHandler = void (*)(RegisterRecord& registers);

// Which door a handler needs. An integer handler is integer code (see CMakeLists.txt: built
// without x87, MMX and SSE registers, and checked so after each build) that calls nothing
// outside Morvane's own integer code: its entry calls the trampoline's integer door, which
// leaves the game's floating-point state alone (and the fault path, which calls Windows, puts
// back the state it found; the first hooks' chores wait for the other door). Any other handler (one that
// computes with floats, or calls a game routine or Windows, which may change XMM0-7, the
// exception flags and every x87 register as the calling convention lets them) gets an empty
// x87 stack and the default control words, and the game its state back.
enum class HandlerClass { Integer, FloatingPoint };

// What a per-site entry hands the trampoline: the handler to run, the hook's place, for
// the log, the site's word, set once the site has met a full x87 stack (eight values in
// flight, or MMX state) so that its later passes pop them at once, and the entry's way
// back to the site's resume address (the record's `resume` as the trampoline starts).
// Made at start-up, kept until the process ends.
struct RegisterHookInfo {
    RegisterHandler handler;
    HookPlace* place;
    uint32_t* fullX87Stack;
    uint32_t tail;
};
static_assert(offsetof(RegisterHookInfo, fullX87Stack) == HOOK_FULL_X87_STACK);

// Laid out as the trampoline builds it on the stack; do not reorder.
struct RegisterRecord {
    uint32_t edi, esi, ebp, esp, ebx, edx, ecx, eax;  // as PUSHAD stores them; esp = ESP at the site
    uint32_t eflags;
    uint32_t resume;      // where execution continues; preset to the entry's way back to the site's
                          // resume address (through any displaced instructions)
    const RegisterHookInfo* hook;  // the hook being run (read-only for it)
    uint32_t pushFloat;   // nonzero: push floatResult onto the x87 stack before resuming (a
                          // floating-point handler finds it 0; an integer one cannot set it)
    float floatResult;

    // The 32-bit stack slot at ESP + offset, counted from ESP at the site.
    uint32_t& Stack(uint32_t offset) { return *reinterpret_cast<uint32_t*>(static_cast<uintptr_t>(esp + offset)); }

    void SetZeroFlag(bool set) { eflags = set ? (eflags | kZeroFlag) : (eflags & ~kZeroFlag); }
#ifndef MORVANE_INTEGER_CODE
    // A floating-point handler's result, pushed onto the x87 stack as the game resumes.
    void PushFloat(float value) { pushFloat = 1; floatResult = value; }
#endif
    static constexpr uint32_t kZeroFlag = 0x40;
};
// The trampoline's assembly relies on this layout.
static_assert(offsetof(RegisterRecord, edi) == RECORD_EDI && offsetof(RegisterRecord, esi) == RECORD_ESI &&
              offsetof(RegisterRecord, ebp) == RECORD_EBP && offsetof(RegisterRecord, esp) == RECORD_ESP &&
              offsetof(RegisterRecord, ebx) == RECORD_EBX && offsetof(RegisterRecord, edx) == RECORD_EDX &&
              offsetof(RegisterRecord, ecx) == RECORD_ECX && offsetof(RegisterRecord, eax) == RECORD_EAX);
static_assert(offsetof(RegisterRecord, eflags) == RECORD_EFLAGS && offsetof(RegisterRecord, resume) == RECORD_RESUME &&
              offsetof(RegisterRecord, hook) == RECORD_HOOK &&
              offsetof(RegisterRecord, pushFloat) == RECORD_PUSH_FLOAT &&
              offsetof(RegisterRecord, floatResult) == RECORD_FLOAT_RESULT);
static_assert(sizeof(RegisterRecord) == RECORD_SIZE);
// PUSHAD stores eight registers from EDI up; PUSHFD's EFLAGS lie just above them.
static_assert(RECORD_EAX - RECORD_EDI == 7 * 4 && RECORD_EFLAGS == 8 * 4);

// The place of the hook a record belongs to (null for one made without a place).
inline HookPlace* HookPlaceOf(const RegisterRecord& record) { return record.hook->place; }

// How far below ESP at the site a handler may move the stack pointer: the entry's
// reserve, less the two slots the trampoline lays below the ESP it resumes with.
constexpr uint32_t kMaxStackGrowth = ENTRY_STACK_RESERVE - RESUME_SLOTS_SIZE;
static_assert(kMaxStackGrowth == 56);

// The most bytes of displaced host instructions one entry can re-run.
constexpr uint32_t kMaxDisplacedBytes = 16;

// Work that must not start inside the loader's attach notification (a thread of the
// plug-in's own: one started there may meet a game that ends at once half-made): it runs
// once, on the game thread of the first register hook entered behind the floating-point
// door (which keeps the game's x87/SSE state whole around the Windows calls it makes).
void RunOnFirstHook(void (*work)());
// Work asked of every `everyNth` register hook entered behind the floating-point door, until
// it answers true (done; work that recurs never does). It may call Windows; a hook that is
// not asked pays only a count.
void RunOnEveryHookUntilDone(bool (*work)() noexcept, uint32_t everyNth);
// How often the game's hooks ask the work that recurs while the game runs: a game runs
// thousands of hooks a second.
constexpr uint32_t kRecurringWorkEveryNthHook = 256;

// Builds the entry for one site: it runs the handler with the record's resume address
// preset to the entry's tail, which runs the displaced instructions and jumps to `resume`. Answers the
// entry's address (a jump destination), or 0 when no executable memory could be had or
// the displaced run is too long. Entries live until the process ends.
uint32_t MakeRegisterEntry(RegisterHandler handler, uint32_t resume, std::span<const uint8_t> displaced = {},
                           HookPlace* place = nullptr, HandlerClass handlerClass = HandlerClass::FloatingPoint);

// The exact tests of an empty x87 stack a floating-point hook can make (after popping the
// values in flight), each dear on some processor: zero pushed onto each register with
// invalid operations unmasked (a refused push tells a register in use), FXAM of each
// register, the tag word stored by FNSTENV, the abridged tags of an FXSAVE made before
// anything is popped (its image then keeps the values, MXCSR and XMM0-7).
enum class X87EmptinessTest : uint32_t {
    Push = X87_TEST_PUSH,
    Examine = X87_TEST_EXAMINE,
    TagWord = X87_TEST_TAG_WORD,
    SavedTags = X87_TEST_SAVED_TAGS,
};
inline constexpr const char* kX87EmptinessTestNames[] = {"push test", "FXAM", "FNSTENV tag word", "FXSAVE tags"};
// The test every floating-point hook makes from now on.
void UseX87EmptinessTest(X87EmptinessTest test);
X87EmptinessTest X87EmptinessTestInUse();

// A floating-point hook's round trip with an empty x87 stack under each test, timed on this
// processor (best of a few hundred, in nanoseconds), and the cheapest, now in use. Runs a
// hook made for it: only at start-up, before any work is left for the first hook.
struct X87EmptinessTiming {
    uint32_t nanoseconds[4];
    X87EmptinessTest chosen;
};
X87EmptinessTiming ChooseX87EmptinessTest();

}  // namespace morvane
