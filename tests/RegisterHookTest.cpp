// Every way a mid-function hook hands its result back, proven by running a patched site
// of the simulated game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>
#include <tuple>

#include "HostLayout.h"
#include "Sim.h"
#include "RegisterHooks.h"
#include "patch/Ledger.h"
#include "feature/Site.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"

using morvane::InstallRegisterHook;
using morvane::RegisterRecord;

namespace {

constexpr uint32_t kSite = sim::layout::kScratchCode + 0x1000;
constexpr uint32_t kResume = kSite + 0x0C;  // 7 host bytes after the jump are skipped
constexpr uint32_t kArithmeticFlags = 0x8D5;  // CF PF AF ZF SF OF

RegisterRecord seen;      // the record as the last handler received it
uint32_t seenSlots[4];    // the stack slots it read
bool seenAlignedStack;    // whether it was called on a 16-byte aligned stack
bool seenDirectionFlag;   // whether it ran with the direction flag set

void Remember(RegisterRecord& r) {
    seen = r;
    for (uint32_t i = 0; i < 4; ++i) seenSlots[i] = r.Stack(4 * i);
    const auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    seenAlignedStack = (frame + 8) % 16 == 0;
    seenDirectionFlag = (__builtin_ia32_readeflags_u32() & 0x400) != 0;
}

sim::Registers Distinct() {
    sim::Registers r = sim::DistinctRegisters();
    r.eflags = 0x202 | 0x8D5;
    return r;
}

sim::Run RunAtSite(std::vector<uint32_t> stack = {0x11, 0x22, 0x33, 0x44}) {
    sim::Run run;
    run.site = kSite;
    run.resume = kResume;
    run.registers = Distinct();
    run.stack = std::move(stack);
    return run;
}

void ExpectRegistersAsOnEntry(const sim::Registers& after, const sim::Registers& before, bool exceptEax = false,
                              bool exceptEsi = false) {
    if (!exceptEax) {
        EXPECT_EQ(after.eax, before.eax);
    }
    if (!exceptEsi) {
        EXPECT_EQ(after.esi, before.esi);
    }
    EXPECT_EQ(after.ecx, before.ecx);
    EXPECT_EQ(after.edx, before.edx);
    EXPECT_EQ(after.ebx, before.ebx);
    EXPECT_EQ(after.ebp, before.ebp);
    EXPECT_EQ(after.edi, before.edi);
}

class RegisterHookTest : public testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        // The host's own bytes at the site: 12 bytes of code the hook replaces and skips.
        sim::PlantHostBytes(kSite, std::vector<uint8_t>(0x20, 0xCC));
    }
};

TEST_F(RegisterHookTest, TheRecordHoldsTheSiteAsItWas) {
    InstallRegisterHook(kSite, &Remember, kResume);
    const sim::Run run = RunAtSite();
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(seen.eax, run.registers.eax);
    EXPECT_EQ(seen.ecx, run.registers.ecx);
    EXPECT_EQ(seen.edx, run.registers.edx);
    EXPECT_EQ(seen.ebx, run.registers.ebx);
    EXPECT_EQ(seen.ebp, run.registers.ebp);
    EXPECT_EQ(seen.esi, run.registers.esi);
    EXPECT_EQ(seen.edi, run.registers.edi);
    EXPECT_EQ(seen.esp, after.espAtSite);
    EXPECT_EQ(seen.eflags & kArithmeticFlags, kArithmeticFlags);
    EXPECT_EQ(morvane::BranchTarget(seen.resume), kResume);  // the entry's way back
    EXPECT_EQ(seen.pushFloat, 0u);
    EXPECT_TRUE(seenAlignedStack);
    EXPECT_EQ(seenSlots[0], 0x11u);
    EXPECT_EQ(seenSlots[3], 0x44u);
    // A handler that changes nothing leaves everything as it was, the direction flag too.
    ExpectRegistersAsOnEntry(after.registers, run.registers);
    EXPECT_EQ(after.esp, after.espAtSite);
    EXPECT_EQ(after.registers.eflags & (kArithmeticFlags | 0x400), kArithmeticFlags);
    for (const uint32_t flags : {0x202u | 0x400u, 0x202u | 0x800u | 0x400u, 0x202u | 0x001u}) {
        sim::Run other = RunAtSite();
        other.registers.eflags = flags;
        EXPECT_EQ(sim::RunHostCode(other).registers.eflags & (kArithmeticFlags | 0x400), flags & ~0x202u) << flags;
        EXPECT_FALSE(seenDirectionFlag) << "the handler runs with the direction flag clear, as compiled code expects";
    }
}

TEST_F(RegisterHookTest, ResultInEax) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) { r.eax = r.Stack(4) + r.ecx; }, kResume);
    sim::Run run = RunAtSite({0, 0x1000});
    run.registers.ecx = 5;
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(after.registers.eax, 0x1005u);
    ExpectRegistersAsOnEntry(after.registers, run.registers, /*exceptEax=*/true);
    EXPECT_EQ(after.esp, after.espAtSite);
}

TEST_F(RegisterHookTest, ResultInEsi) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) { r.esi = r.eax == 0 ? 0 : 1; }, kResume);
    sim::Run run = RunAtSite();
    const sim::Capture after = sim::RunHostCode(run);
    EXPECT_EQ(after.registers.esi, 1u);
    ExpectRegistersAsOnEntry(after.registers, run.registers, false, /*exceptEsi=*/true);
    EXPECT_EQ(after.registers.eflags & kArithmeticFlags, kArithmeticFlags);
}

TEST_F(RegisterHookTest, ResultInTheZeroFlag) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) { r.SetZeroFlag(r.ecx == 0); }, kResume);
    sim::Run run = RunAtSite();
    run.registers.ecx = 0;
    run.registers.eflags = 0x202 | 0x1;  // CF set, ZF clear
    sim::Capture after = sim::RunHostCode(run);
    EXPECT_EQ(after.registers.eflags & 0x41, 0x41u);  // ZF now set, CF kept

    run.registers.ecx = 7;
    run.registers.eflags = 0x202 | 0x40 | 0x80;  // ZF and SF set
    after = sim::RunHostCode(run);
    EXPECT_EQ(after.registers.eflags & 0xC1, 0x80u);  // ZF cleared, SF kept, CF still clear
    ExpectRegistersAsOnEntry(after.registers, run.registers);
}

TEST_F(RegisterHookTest, FloatOnTheX87TopAboveTheHostsOwnValues) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) {
        // Work the x87 hard inside the handler: the host's values in flight must survive.
        volatile double acc = 0;
        for (int i = 1; i <= 20; ++i) acc = acc + std::sqrt(static_cast<double>(i));
        r.PushFloat(static_cast<float>(r.Stack(0)) * 0.25f + static_cast<float>(acc > 0));
    }, kResume);
    sim::Run run = RunAtSite({10});
    run.x87 = {1.5f, -2.75f};  // ST(0) = -2.75, ST(1) = 1.5
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.x87.size(), 3u);
    EXPECT_EQ(after.x87[0], 3.5L);
    EXPECT_EQ(after.x87[1], -2.75L);
    EXPECT_EQ(after.x87[2], 1.5L);
    ExpectRegistersAsOnEntry(after.registers, run.registers);
    EXPECT_EQ(after.esp, after.espAtSite);
}

TEST_F(RegisterHookTest, ReturnFromTheHostRoutineToItsCaller) {
    // The host routine had pushed EBX, ESI, EDI; above them its return address and five
    // arguments. The handler restores the three and returns, removing 0x14 bytes.
    InstallRegisterHook(kSite, [](RegisterRecord& r) {
        r.edi = r.Stack(0);
        r.esi = r.Stack(4);
        r.ebx = r.Stack(8);
        r.resume = r.Stack(12);
        r.esp += 16 + 0x14;
    }, kResume);
    sim::Run run = RunAtSite({0xED1, 0xE51, 0xEB1, sim::kReturnToSimulator, 1, 2, 3, 4, 5, 0x600D});
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.exit, sim::Exit::Returned);
    EXPECT_EQ(after.esp, after.espAtSite + 0x24);
    EXPECT_EQ(after.registers.edi, 0xED1u);
    EXPECT_EQ(after.registers.esi, 0xE51u);
    EXPECT_EQ(after.registers.ebx, 0xEB1u);
    EXPECT_EQ(after.registers.eax, run.registers.eax);
    EXPECT_EQ(after.registers.ecx, run.registers.ecx);
    EXPECT_EQ(after.registers.edx, run.registers.edx);
    EXPECT_EQ(after.registers.ebp, run.registers.ebp);
    EXPECT_EQ(after.stack[9], 0x600Du);  // the caller's stack above is untouched
}

TEST_F(RegisterHookTest, HandlerMayPushOntoTheHostStack) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) {
        const uint32_t value = r.Stack(0);
        for (uint32_t i = 0; i < morvane::kMaxStackGrowth / 4; ++i) {
            r.esp -= 4;
            r.Stack(0) = value + i;
        }
    }, kResume);
    sim::Run run = RunAtSite({0x100});
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    EXPECT_EQ(after.esp, after.espAtSite - morvane::kMaxStackGrowth);
    const auto* pushed = reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(after.esp));
    for (uint32_t i = 0; i < morvane::kMaxStackGrowth / 4; ++i) EXPECT_EQ(pushed[i], 0x100 + 13 - i);
    ExpectRegistersAsOnEntry(after.registers, run.registers);
}

TEST_F(RegisterHookTest, ResumeAddressAndSseStateFollowTheHandler) {
    constexpr uint32_t kElsewhere = kSite + 0x1A;
    InstallRegisterHook(kSite, [](RegisterRecord& r) {
        // Vector work in the handler must not leak into the host's XMM registers.
        volatile float values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        float sum = 0;
        for (float v : values) sum += v * 1.5f;
        r.eax = static_cast<uint32_t>(sum);
        r.resume = kElsewhere;
        asm volatile("pcmpeqd %%xmm0, %%xmm0; pcmpeqd %%xmm1, %%xmm1; pcmpeqd %%xmm2, %%xmm2; pcmpeqd %%xmm3, %%xmm3;"
                     "pcmpeqd %%xmm4, %%xmm4; pcmpeqd %%xmm5, %%xmm5; pcmpeqd %%xmm6, %%xmm6; pcmpeqd %%xmm7, %%xmm7"
                     ::: "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7");
    }, kResume);
    // Without an x87 value in flight and with one: the two ways the host's state is kept.
    for (const std::vector<float>& inFlight : {std::vector<float>{}, std::vector<float>{42.0f}}) {
        sim::Run run = RunAtSite();
        run.resume = kElsewhere;
        for (uint32_t i = 0; i < 32; ++i) run.xmm.push_back(0x01010101u * (i + 1));
        run.x87 = inFlight;
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.registers.eax, 54u);
        for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(after.xmm[i], 0x01010101u * (i + 1)) << "dword " << i;
        ASSERT_EQ(after.x87.size(), inFlight.size());
        if (!inFlight.empty()) EXPECT_EQ(after.x87[0], 42.0L);
    }
}

TEST_F(RegisterHookTest, TheSiteHoldsAJumpToTheEntry) {
    const size_t places = morvane::HookPlaces().size();
    InstallRegisterHook(kSite, &Remember, kResume);
    // Its place in the ledger, the last made; every place made has its name.
    ASSERT_EQ(morvane::HookPlaces().size(), places + 1);
    EXPECT_STREQ(morvane::HookPlaces().back().name, "register hook");
    for (const morvane::HookPlace& place : morvane::HookPlaces()) EXPECT_NE(place.name, nullptr);
    const auto* site = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(kSite));
    EXPECT_EQ(site[0], 0xE9);
    const auto runs = sim::ChangedRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].address, kSite);
    EXPECT_EQ(runs[0].after.size(), 5u);
    EXPECT_EQ(sim::ProtectionAt(kSite), static_cast<DWORD>(PAGE_EXECUTE_READ));
    // 16 displaced bytes are the most an entry can re-run.
    EXPECT_NE(morvane::MakeRegisterEntry(&Remember, kResume, std::vector<uint8_t>(16, 0x90)), 0u);
    EXPECT_EQ(morvane::MakeRegisterEntry(&Remember, kResume, std::vector<uint8_t>(17, 0x90)), 0u);
}

}  // namespace

namespace {

// Displaced host instructions run after the registers are restored, then the host resumes.
TEST_F(RegisterHookTest, DisplacedInstructionsRunWithTheRestoredRegisters) {
    struct Case {
        const char* what;
        std::initializer_list<uint8_t> displaced;
        uint32_t result;    // the handler's EAX (it copies the first stack slot)
        uint32_t espDrop;   // how far ESP lies below the site's on resume
        uint32_t ebxAfter, flagsSet, flagsClear;
    };
    const Case cases[] = {
        {"push 0x98", {0x68, 0x98, 0x00, 0x00, 0x00}, 7, 4, 0xB3B3B3B3, 0, 0},
        {"test eax,eax on 0", {0x85, 0xC0}, 0, 0, 0xB3B3B3B3, 0x40, 0x80},
        {"test eax,eax on <0", {0x85, 0xC0}, 0x80000000, 0, 0xB3B3B3B3, 0x84, 0x41},
        {"mov ebx,[esp+4]", {0x8B, 0x5C, 0x24, 0x04}, 7, 0, 0x2222, 0, 0},
        {"16 bytes, the most an entry takes", {0x8D, 0x64, 0x24, 0x00, 0x8B, 0x5C, 0x24, 0x04, 0x90, 0x90, 0x90, 0x90,
                                               0x90, 0x90, 0x90, 0x90}, 7, 0, 0x2222, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Reset();
        sim::PlantHostBytes(kSite, std::vector<uint8_t>(0x20, 0xCC));
        InstallRegisterHook(kSite, [](RegisterRecord& r) { r.eax = r.Stack(0); }, kResume, c.displaced);
        const sim::Run run = RunAtSite({c.result, 0x2222});
        const sim::Capture after = sim::RunHostCode(run);
        ASSERT_EQ(after.exit, sim::Exit::Resumed);
        EXPECT_EQ(after.registers.eax, c.result);
        EXPECT_EQ(after.registers.ebx, c.ebxAfter);
        EXPECT_EQ(after.espAtSite - after.esp, c.espDrop);
        if (c.espDrop == 4) {
            EXPECT_EQ(sim::Global<uint32_t>(after.esp), 0x98u);
        }
        EXPECT_EQ(after.registers.eflags & c.flagsSet, c.flagsSet);
        EXPECT_EQ(after.registers.eflags & c.flagsClear, 0u);
        EXPECT_EQ(after.registers.ecx, run.registers.ecx);
        EXPECT_EQ(after.registers.edi, run.registers.edi);
    }
}

// The comparison's flags are the processor's own, for values below, equal, above and negative.
TEST_F(RegisterHookTest, ADisplacedComparisonLeavesExactlyItsFlags) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) { r.eflags = 0x202; }, kResume, {0x83, 0x7C, 0x24, 0x04, 0x2D});
    const struct {
        uint32_t value, flags;  // CF PF AF ZF SF OF after cmp value, 0x2D
    } cases[] = {{0x2C, 0x95}, {0x2D, 0x44}, {0x2E, 0x00}, {0xFFFFFFD3, 0x94}, {0x8000000C, 0x810}};
    for (const auto& c : cases) {
        const sim::Capture after = sim::RunHostCode(RunAtSite({0, c.value}));
        EXPECT_EQ(after.registers.eflags & kArithmeticFlags, c.flags) << std::hex << c.value;
    }
}

// A handler that throws is abandoned: the host resumes with everything as on entry.
TEST_F(RegisterHookTest, AThrowingHandlerLeavesTheHostAsOnEntry) {
    InstallRegisterHook(kSite, [](RegisterRecord& r) {
        r.eax = 1;
        r.esp += 8;
        r.SetZeroFlag(false);
        throw std::bad_alloc();
    }, kResume);
    const sim::Run run = RunAtSite();
    const sim::Capture after = sim::RunHostCode(run);
    ASSERT_EQ(after.exit, sim::Exit::Resumed);
    ExpectRegistersAsOnEntry(after.registers, run.registers);
    EXPECT_EQ(after.esp, after.espAtSite);
    EXPECT_EQ(after.registers.eflags & kArithmeticFlags, kArithmeticFlags);
}

}  // namespace

namespace {

uint16_t handlerControlWord, hostControlWord, hostWordToLoad;
uint32_t handlerEnvironment[7], handlerMxcsr, hostMxcsr, hostMxcsrToLoad;  // x87 control, status, tag words first

void RecordFloatingPointState(RegisterRecord&) {
    asm volatile("fnstcw %0; fnstenv %1; stmxcsr %2"
                 : "=m"(handlerControlWord), "=m"(handlerEnvironment), "=m"(handlerMxcsr));
    seenAlignedStack = (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 8) % 16 == 0;
}

void Append(std::vector<uint8_t>& code, std::initializer_list<uint8_t> opcode, const void* operand) {
    code.insert(code.end(), opcode);
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<uint8_t>(sim::Address(operand) >> (8 * i)));
}

// Start-up times each test of an empty x87 stack and puts the cheapest in use.
TEST_F(RegisterHookTest, TheCheapestEmptinessTestIsChosen) {
    const morvane::X87EmptinessTiming timing = morvane::ChooseX87EmptinessTest();
    const uint32_t* const cheapest = std::min_element(std::begin(timing.nanoseconds), std::end(timing.nanoseconds));
    EXPECT_EQ(static_cast<uint32_t>(timing.chosen), static_cast<uint32_t>(cheapest - timing.nanoseconds));
    EXPECT_EQ(morvane::X87EmptinessTestInUse(), timing.chosen);
    for (const uint32_t ns : timing.nanoseconds) EXPECT_LT(ns, 100000u);  // each timed
    morvane::UseX87EmptinessTest(morvane::X87EmptinessTest::Push);
}

// The handler always starts with an empty x87 stack (TOP 0, every tag empty), the default
// control words of the x87 and of SSE, whatever the host set (a game often runs at 24-bit
// precision; the SSE exception flags the host raised stand), and a 16-byte aligned stack,
// whatever the site's. The host gets its own state back, with 0 to 8 values in flight.
TEST_F(RegisterHookTest, TheHandlerStartsWithACleanFloatingPointStateOnAnAlignedStack) {
    // 24-bit precision with flush-to-zero and denormals-are-zero; 53-bit rounding toward
    // zero; the defaults; the defaults with the precision flag raised. Then the handler's MXCSR.
    const std::tuple<uint16_t, uint32_t, uint32_t> hostWords[] = {
        {0x007F, 0x9FC0, 0x1F80}, {0x0E7F, 0x7F80, 0x1F80}, {0x037F, 0x1F80, 0x1F80}, {0x037F, 0x1FA0, 0x1FA0}};
    std::vector<uint8_t> code = {0xD9, 0x3D};  // fnstcw [hostControlWord]
    Append(code, {}, &hostControlWord);
    Append(code, {0x0F, 0xAE, 0x1D}, &hostMxcsr);  // stmxcsr [hostMxcsr]
    sim::PlantHostBytes(kResume, code);
    const uint32_t store = static_cast<uint32_t>(code.size());
    InstallRegisterHook(kSite, &RecordFloatingPointState, kResume);
    for (uint32_t values = 0; values <= 8; ++values) {
        SCOPED_TRACE(testing::Message() << values << " values in flight");
        uint32_t handlerMxcsrExpected;
        std::tie(hostWordToLoad, hostMxcsrToLoad, handlerMxcsrExpected) = hostWords[values % 4];
        code.assign(values % 4, 0x50);  // push eax: each run meets the site at another stack alignment
        Append(code, {0xD9, 0x2D}, &hostWordToLoad);      // fldcw [hostWordToLoad]
        Append(code, {0x0F, 0xAE, 0x15}, &hostMxcsrToLoad);  // ldmxcsr [hostMxcsrToLoad]
        const uint32_t load = kSite - static_cast<uint32_t>(code.size());
        sim::PlantHostBytes(load, code);
        sim::Run run = RunAtSite();
        run.site = load;
        run.resume = kResume + store;
        for (uint32_t i = 0; i < values; ++i) run.x87.push_back(1.5f + i);
        seenAlignedStack = false;
        const sim::Capture after = sim::RunHostCode(run);
        EXPECT_EQ(handlerControlWord, 0x037F);
        EXPECT_EQ(handlerEnvironment[1] & 0x3800, 0u) << "TOP";
        EXPECT_EQ(handlerEnvironment[2] & 0xFFFF, 0xFFFFu);
        EXPECT_EQ(handlerMxcsr, handlerMxcsrExpected);
        EXPECT_TRUE(seenAlignedStack);
        EXPECT_EQ(hostControlWord, hostWordToLoad);
        EXPECT_EQ(hostMxcsr, hostMxcsrToLoad);
        ASSERT_EQ(after.x87.size(), values);
        for (uint32_t i = 0; i < values; ++i) EXPECT_EQ(after.x87[i], 1.5L + (values - 1 - i));
        EXPECT_EQ(after.esp, after.espAtSite - 4 * (values % 4));
        ExpectRegistersAsOnEntry(after.registers, run.registers);
    }
}

}  // namespace
