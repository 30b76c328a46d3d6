// The game's x87/MMX/SSE state around a register hook: whatever its x87 stack holds at the
// site, whichever way the trampoline keeps it (values popped and pushed back, the whole
// state saved) and whichever test of an empty stack it makes, or where it leaves the state
// alone around an integer handler, the game gets it back as it was.
#include <gtest/gtest.h>

#include <cstring>

#include "HostLayout.h"
#include "IntegerHandlers.h"
#include "Sim.h"
#include "RegisterHooks.h"
#include "feature/Site.h"
#include "patch/FaultObserver.h"
#include "patch/RegisterHook.h"
#include "log/LogFile.h"
#include "TestFolders.h"
#include <windows.h>

namespace {

using morvane::RegisterRecord;

constexpr uint32_t kSite = sim::layout::kScratchCode + 0x1000;
constexpr uint32_t kResume = kSite + 0x0C;

alignas(16) uint8_t imageBefore[512], imageAfter[512];  // FXSAVE just before the site, and on resuming
uint16_t statusBefore;
uint32_t scratch;
const float kInFlight[8] = {0.0f, -2.75f, 3e30f, 1.5f, -0.0f, 1e-30f, 7.0f, -8.5f};  // the deepest first
const float kOneAndAHalf = 1.5f;
const uint16_t kZeroDivideUnmasked = 0x037B;

void Append(std::vector<uint8_t>& code, std::initializer_list<uint8_t> opcode, const void* operand) {
    code.insert(code.end(), opcode);
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<uint8_t>(sim::Address(operand) >> (8 * i)));
}

uint32_t handlerEnvironment[7];  // x87 control, status, tag words first

// The handler sees an empty x87 stack (TOP 0, every tag empty), the default control word.
void Look(RegisterRecord&) { asm volatile("fnstenv %0; fldcw %0" : "=m"(handlerEnvironment)); }

// The same, then the handler raises the precision flag on the x87 (1/3, its stack left
// empty) and in MXCSR, through XMM0.
void RaiseFlags(RegisterRecord& r) {
    Look(r);
    asm volatile("fld1; fld1; fld1; faddp; fld1; faddp; fdivrp; fstp %%st(0);"
                 "mov $3, %%eax; cvtsi2ss %%eax, %%xmm0; rcpss %%xmm0, %%xmm0; mulss %%xmm0, %%xmm0"
                 ::: "st", "eax", "xmm0");
}

// The same, raising the precision flag in MXCSR alone: the x87 as it was.
void RaiseSseFlag(RegisterRecord& r) {
    Look(r);
    asm volatile("mov $3, %%eax; cvtsi2ss %%eax, %%xmm0; rcpss %%xmm0, %%xmm0; mulss %%xmm0, %%xmm0" ::: "eax", "xmm0");
}

// Two FXSAVE images agree on the x87 control, status and tag words, the registers in use,
// MXCSR and XMM0-7.
void ExpectSameState(const uint8_t* before, const uint8_t* after) {
    EXPECT_EQ(std::memcmp(before, after, 5), 0) << "x87 control, status and tag words";
    EXPECT_EQ(std::memcmp(before + 24, after + 24, 4), 0) << "MXCSR";
    const int top = (before[3] >> 3) & 7;
    for (int i = 0; i < 8; ++i) {
        if ((before[4] >> ((top + i) & 7)) & 1) {
            EXPECT_EQ(std::memcmp(before + 32 + 16 * i, after + 32 + 16 * i, 10), 0) << "ST" << i;
        }
    }
    EXPECT_EQ(std::memcmp(before + 160, after + 160, 128), 0) << "XMM0-7";
}

constexpr uint16_t kAny = 0xFFFF;

struct Case {
    const char* what;
    std::vector<uint8_t> before;  // the game's code just before the site
    uint16_t conditionCodes;      // C3 C2 C1 C0 it leaves
    morvane::RegisterHandler handler;
    bool ownStack;                // no value pushed after it
    int whole, image;             // passes (1, 2, both: 3) restored from the whole save, from the image
};

std::vector<Case> Cases() {
    std::vector<uint8_t> roundUp, sevenRoundUp, pending = {0xD9, 0xE8, 0xD9, 0xEE};  // fld1; fldz
    Append(roundUp, {0xD9, 0x05}, &kOneAndAHalf);           // fld [1.5]
    Append(roundUp, {0xDB, 0x1D}, &scratch);                 // fistp [scratch]: 2, rounded up
    for (int i = 0; i < 6; ++i) sevenRoundUp.push_back(0xD9), sevenRoundUp.push_back(0xE8);  // fld1
    Append(sevenRoundUp, {0xD9, 0x05}, &kOneAndAHalf);      // fld [1.5]
    Append(sevenRoundUp, {0xDB, 0x15}, &scratch);            // fist [scratch]: 2, rounded up, no pop
    Append(pending, {0xD9, 0x2D}, &kZeroDivideUnmasked);     // fldcw [zero divide unmasked]
    pending.insert(pending.end(), {0xDE, 0xF9});             // fdivp st(1), st: 1/0, held back
    return {
        {"greater", {0xD9, 0xEE, 0xD9, 0xE8, 0xDA, 0xE9}, 0x0000, &Look, false, 0, 0},  // fldz; fld1; fucompp
        {"less", {0xD9, 0xE8, 0xD9, 0xEE, 0xDA, 0xE9}, 0x0100, &Look, false, 0, 0},     // fld1; fldz; fucompp
        {"equal", {0xD9, 0xEE, 0xD9, 0xEE, 0xDA, 0xE9}, 0x4000, &Look, false, 0, 0},    // fldz; fldz; fucompp
        {"unordered, invalid operation raised", {0xD9, 0xEE, 0xD9, 0xE8, 0xD9, 0xE0, 0xD9, 0xFA, 0xDA, 0xE9},
         0x4500, &Look, false, 0, 0},                                // fldz; fld1; fchs; fsqrt; fucompp
        {"greater, the handler raising flags", {0xD9, 0xEE, 0xD9, 0xE8, 0xDA, 0xE9}, 0x0000, &RaiseFlags, false, 0, 3},
        {"greater, the handler raising an SSE flag", {0xD9, 0xEE, 0xD9, 0xE8, 0xDA, 0xE9}, 0x0000, &RaiseSseFlag, false, 0, 0},
        {"a rounding up (C1), precision raised", roundUp, 0x0200, &Look, false, 0, 0},
        {"one examined", {0xD9, 0xE8, 0xD9, 0xE5, 0xDD, 0xD8}, 0x0400, &Look, false, 0, 0},  // fld1; fxam; fstp st(0)
        {"infinity examined, zero divide raised", {0xD9, 0xE8, 0xD9, 0xEE, 0xDE, 0xF9, 0xD9, 0xE5, 0xDD, 0xD8},
         0x0500, &Look, false, 0, 0},                                // fld1; fldz; fdivp; fxam; fstp st(0)
        {"seven values, the last stored rounded up (C1)", sevenRoundUp, 0x0200, &Look, true, 0, 0},
        {"MMX state", {0xB8, 0x78, 0x56, 0x34, 0x12, 0x0F, 0x6E, 0xC0}, kAny, &Look, true, 0, 0},  // mov eax, imm; movd mm0, eax
        {"an empty stack at TOP 7", {0xD9, 0xF6}, kAny, &Look, true, 3, 0},  // fdecstp
        {"a register empty below one in use", {0xD9, 0xE8, 0xD9, 0xE8, 0xDD, 0xC1}, kAny, &Look, true, 3, 0},  // fld1 x2; ffree st(1)
        {"registers in use below TOP", {0xD9, 0xE8, 0xD9, 0xE8, 0xD9, 0xE8, 0xD9, 0xF7, 0xD9, 0xF7}, kAny, &Look, true, 3,
         0},                                                         // fld1 x3; fincstp x2
        {"an exception pending", pending, kAny, &Look, true, 3, 0},
    };
}

// The game's code before the site: its own, `values` values pushed, the state noted.
// Answers where it starts.
uint32_t PlantCodeBefore(const std::vector<uint8_t>& own, uint32_t values) {
    std::vector<uint8_t> code = {0xDB, 0xE3};  // fninit
    code.insert(code.end(), own.begin(), own.end());
    for (uint32_t i = 0; i < values; ++i) Append(code, {0xD9, 0x05}, &kInFlight[i]);  // fld [value]
    Append(code, {0xDD, 0x3D}, &statusBefore);     // fnstsw [statusBefore]
    Append(code, {0x0F, 0xAE, 0x05}, imageBefore);  // fxsave [imageBefore]
    const uint32_t load = kSite - static_cast<uint32_t>(code.size());
    sim::PlantHostBytes(load, code);
    return load;
}

// The game's code where it resumes: the state noted (MMX registers are x87 registers in
// use), then the x87 reset. Answers where the run ends.
uint32_t PlantCodeAfter() {
    std::vector<uint8_t> code;
    Append(code, {0x0F, 0xAE, 0x05}, imageAfter);  // fxsave [imageAfter]
    code.insert(code.end(), {0xDB, 0xE3});         // fninit
    sim::PlantHostBytes(kResume, code);
    return kResume + static_cast<uint32_t>(code.size());
}

// How the hook is made: an integer one, or a floating-point one under each test of an
// empty x87 stack. A test that pops first meets eight registers in use at TOP 0 (eight
// values, MMX state) as odd the first time: that pass saves the whole state.
struct Kind {
    const char* what;
    morvane::HandlerClass handlerClass;
    morvane::X87EmptinessTest test;
    bool learnsEight;
};
constexpr Kind kKinds[] = {
    {"integer hook", morvane::HandlerClass::Integer, morvane::X87EmptinessTest::Push, false},
    {"push test", morvane::HandlerClass::FloatingPoint, morvane::X87EmptinessTest::Push, true},
    {"FXAM test", morvane::HandlerClass::FloatingPoint, morvane::X87EmptinessTest::Examine, true},
    {"tag word test", morvane::HandlerClass::FloatingPoint, morvane::X87EmptinessTest::TagWord, true},
    {"FXSAVE test", morvane::HandlerClass::FloatingPoint, morvane::X87EmptinessTest::SavedTags, false},
};

// One pass through the hooked site: the game's state back, the handler's as promised, and
// the dear ways of restoring the state taken only where they must be (never around an
// integer handler, which runs without a look at the state).
void ExpectKept(const Case& c, const Kind& kind, const sim::Run& run, uint32_t values, int pass) {
    SCOPED_TRACE(testing::Message() << c.what << ", " << kind.what << ", " << values << " values in flight, pass "
                                    << pass);
    std::memset(handlerEnvironment, 0, sizeof handlerEnvironment);
    const uint32_t wholeSaves = morvane_x87_whole_saves, imageRestores = morvane_x87_image_restores;
    const uint32_t integerRuns = integer_handlers::runs;
    EXPECT_EQ(sim::RunHostCode(run).exit, sim::Exit::Resumed);
    ExpectSameState(imageBefore, imageAfter);
    if (kind.handlerClass == morvane::HandlerClass::Integer) {
        EXPECT_EQ(integer_handlers::runs - integerRuns, 1u);
        EXPECT_TRUE(integer_handlers::alignedStack);
        EXPECT_EQ(morvane_x87_whole_saves - wholeSaves, 0u);
        EXPECT_EQ(morvane_x87_image_restores - imageRestores, 0u);
        return;
    }
    EXPECT_EQ(handlerEnvironment[0] & 0xFFFF, 0x037Fu);
    EXPECT_EQ(handlerEnvironment[1] & 0x3800, 0u) << "TOP";
    EXPECT_EQ(handlerEnvironment[2] & 0xFFFF, 0xFFFFu) << "tags";
    const bool eightInUse = imageBefore[4] == 0xFF;  // the abridged tags
    const bool whole = ((c.whole >> (pass - 1)) & 1) || (kind.learnsEight && eightInUse && pass == 1);
    EXPECT_EQ(morvane_x87_whole_saves - wholeSaves, whole ? 1u : 0u);
    EXPECT_EQ(morvane_x87_image_restores - imageRestores, !whole && ((c.image >> (pass - 1)) & 1) ? 1u : 0u);
    if (c.conditionCodes != kAny && values == 0) {
        EXPECT_EQ(statusBefore & 0x4700, c.conditionCodes);
    }
}

// Every row, through each kind of hook, at one site with no value in flight, one, eight
// (TOP 0 again: where the test pops first, the first pass saves the whole state, and the
// site's word has the next store eight values), then none again (the word wrong now, and
// cleared), then eight again (learnt anew), each met twice; a row with a stack
// of its own as it is. The condition codes the row's own code leaves are checked with
// nothing pushed after it.
TEST(HookFloatState, TheGameGetsItsStateBackWhicheverWayItIsKept) {
    for (const Kind& kind : kKinds) {
        morvane::UseX87EmptinessTest(kind.test);
        for (const Case& c : Cases()) {
            sim::Reset();
            sim::PlantHostBytes(kSite, std::vector<uint8_t>(0x20, 0xCC));
            sim::Run run{0, PlantCodeAfter(), sim::DistinctRegisters(), {0, 0, 0, 0}, {}, {}};
            for (uint32_t i = 0; i < 32; ++i) run.xmm.push_back(0x01010101u * (i + 1));
            const bool integer = kind.handlerClass == morvane::HandlerClass::Integer;
            morvane::InstallRegisterHook(kSite, integer ? &integer_handlers::CopyAndCount : c.handler, kResume, {},
                                         kind.handlerClass);
            for (uint32_t values : c.ownStack ? std::vector<uint32_t>{0} : std::vector<uint32_t>{0, 1, 8, 0, 8}) {
                run.site = PlantCodeBefore(c.before, values);
                for (int pass = 1; pass <= 2; ++pass) ExpectKept(c, kind, run, values, pass);
            }
        }
    }
    morvane::UseX87EmptinessTest(morvane::X87EmptinessTest::Push);
}

// A fault in an integer hook's own code is contained and told in the log, both of which
// call code that may change the x87/SSE state; the game gets its state back all the same.
TEST(HookFloatState, AFaultInAnIntegerHookLeavesTheGamesStateAsItWas) {
    sim::Reset();
    testfolders::GameFolder folder("integer-fault");
    morvane::SetLogPath(sim::Wide(folder.path() + "Morvane.log"), "");
    morvane::ObserveFaults(GetModuleHandleA(nullptr));
    sim::PlantHostBytes(kSite, std::vector<uint8_t>(0x20, 0xCC));
    morvane::InstallRegisterHook(kSite, &integer_handlers::Faulting, kResume, {}, morvane::HandlerClass::Integer);
    sim::Run run{kSite, kResume, sim::DistinctRegisters(), {}, {1.5f, -2.5f}, {}};
    for (uint32_t i = 0; i < 32; ++i) run.xmm.push_back(0x01010101u * (i + 1));
    const sim::Capture after = sim::RunHostCode(run);
    EXPECT_EQ(after.registers.eax, run.registers.eax);
    EXPECT_EQ(std::vector<uint32_t>(after.xmm, after.xmm + 32), run.xmm);
    EXPECT_EQ(after.x87, (std::vector<long double>{-2.5L, 1.5L}));
    EXPECT_NE(folder.Read("Morvane.log").find("contained"), std::string::npos);
}

}  // namespace
