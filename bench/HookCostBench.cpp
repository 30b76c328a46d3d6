// What a hook costs, measured inside the simulated game: a host routine whose first
// instruction is diverted, called a million times, against the same routine undiverted.
// Side by side: a floating-point hook's round trip (site jump, per-site entry, trampoline,
// an empty handler, resume) under each test of an empty x87 stack, with no x87 value in
// flight and with some (popped and pushed back), and that test alone; an integer hook's
// round trip; the floor of any hook that is safe inside the game (flags, general registers
// and x87/SSE state kept around a call), FXAM of an empty register (which some processors
// run through a slow microcode assist), a bare register-saving stub, and the test start-up
// chooses; under the processor's name, since the figures vary with it.
#include <cpuid.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "HostLayout.h"
#include "IntegerHandlers.h"
#include "BenchClock.h"
#include "Sim.h"
#include "RegisterHooks.h"
#include "feature/Site.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"

extern "C" {
void bench_floor_stub();
void bench_bare_stub();
void bench_test_stub();
void bench_fxam_stub();
extern uint32_t bench_floor_resume;
extern uint32_t bench_bare_resume;
extern uint32_t bench_test_resume;
extern uint32_t bench_fxam_resume;
}

namespace {

constexpr int kCalls = 200000;
constexpr int kRounds = 25;  // the routines take turns in each round, so load hits all alike


// A host routine at `routine`: a comparison (its condition codes are the site's, as in
// compiled code, whatever ran before), `inFlight` x87 loads, 5 bytes at the answered site
// (diverted or not), as many pops, then a return.
using Routine = void(__cdecl*)();
uint32_t PlantRoutine(uint32_t routine, uint32_t inFlight = 0) {
    std::vector<uint8_t> code = {0xD9, 0xE8, 0xD9, 0xEE, 0xDA, 0xE9};  // fld1; fldz; fucompp
    for (uint32_t i = 0; i < inFlight; ++i) code.insert(code.end(), {0xD9, 0xE8});  // fld1
    const uint32_t site = routine + static_cast<uint32_t>(code.size());
    code.insert(code.end(), 5, 0x90);
    for (uint32_t i = 0; i < inFlight; ++i) code.insert(code.end(), {0xDD, 0xD8});  // fstp st(0)
    code.push_back(0xC3);  // ret
    sim::PlantHostBytes(routine, code);
    return site;
}
Routine At(uint32_t routine) { return reinterpret_cast<Routine>(static_cast<uintptr_t>(routine)); }

// The processor's name, as it gives it.
std::string ProcessorName() {
    unsigned words[12] = {};
    for (unsigned i = 0; i < 3; ++i) {
        if (!__get_cpuid(0x80000002 + i, &words[4 * i], &words[4 * i + 1], &words[4 * i + 2], &words[4 * i + 3])) {
            return "(not told)";
        }
    }
    char name[sizeof words + 1] = {};
    std::memcpy(name, words, sizeof words);
    const char* start = name;
    while (*start == ' ') ++start;
    return start;
}

// Best of the rounds, in nanoseconds per call, for each routine.
std::vector<double> NsPerCall(const std::vector<Routine>& routines) {
    std::vector<double> best(routines.size(), 1e9);
    for (int round = 0; round < kRounds; ++round) {
        for (size_t r = 0; r < routines.size(); ++r) {
            const double start = Seconds();
            for (int i = 0; i < kCalls; ++i) routines[r]();
            best[r] = std::min(best[r], (Seconds() - start) * 1e9 / kCalls);
        }
    }
    return best;
}

void EmptyHandler(morvane::RegisterRecord&) {}

}  // namespace

int main() {
    using namespace morvane;
    sim::Setup();
    sim::ClobberAtHostCalls(false);  // the game's routines cost what they cost, not the tests' clobbering
    // Routines with 0, 1 and 8 x87 values in flight at the site, undiverted and diverted by a
    // floating-point hook; one diverted by an integer hook; then one diverted to each stub.
    const uint32_t inFlight[3] = {0, 1, 8};
    std::vector<Routine> routines;
    uint32_t next = sim::layout::kScratchCode;
    for (int hooked = 0; hooked < 2; ++hooked) {
        for (uint32_t values : inFlight) {
            const uint32_t site = PlantRoutine(next, values);
            if (hooked) InstallRegisterHook(site, &EmptyHandler, site + 5);
            routines.push_back(At(next));
            next += 0x100;
        }
    }
    const uint32_t integerSite = PlantRoutine(next);
    InstallRegisterHook(integerSite, &integer_handlers::Nothing, integerSite + 5, {}, HandlerClass::Integer);
    routines.push_back(At(next));
    next += 0x100;
    const std::pair<void (*)(), uint32_t*> stubs[] = {{&bench_floor_stub, &bench_floor_resume},
                                                      {&bench_test_stub, &bench_test_resume},
                                                      {&bench_fxam_stub, &bench_fxam_resume},
                                                      {&bench_bare_stub, &bench_bare_resume}};
    for (const auto& [stub, resume] : stubs) {
        const uint32_t site = PlantRoutine(next);
        WriteJump(site, CodeAddress(stub));
        *resume = site + 5;
        routines.push_back(At(next));
        next += 0x100;
    }

    std::printf("Processor: %s\n", ProcessorName().c_str());
    std::printf("Hook cost (best of %d x %d calls, the undiverted call's time taken off):\n", kRounds, kCalls);
    double floor = 0, integer = 0;
    for (uint32_t test = 0; test < std::size(kX87EmptinessTestNames); ++test) {
        UseX87EmptinessTest(static_cast<X87EmptinessTest>(test));
        const std::vector<double> ns = NsPerCall(routines);
        floor = ns[7] - ns[0];
        integer = ns[6] - ns[0];
        const double none = ns[3] - ns[0], one = ns[4] - ns[1], eight = ns[5] - ns[2];
        std::printf("  floating-point hook round trip, %-16s %6.1f ns   / floor = %.2f\n", kX87EmptinessTestNames[test],
                    none, none / floor);
        std::printf("    one x87 value in flight                       %6.1f ns   / floor = %.2f\n", one, one / floor);
        std::printf("    eight values in flight (TOP 0)                %6.1f ns   / floor = %.2f\n", eight, eight / floor);
        std::printf("    the emptiness test alone                      %6.1f ns\n", ns[8] - ns[10]);
        if (test == 0) {
            std::printf("  FXAM of an empty x87 register                   %6.1f ns   (dear where a microcode assist runs it)\n",
                        ns[9] - ns[10]);
            std::printf("  bare register-saving stub                       %6.1f ns\n", ns[10] - ns[0]);
        }
    }
    std::printf("  integer hook round trip                         %6.1f ns   / floor = %.2f\n", integer, integer / floor);
    std::printf("  floor (flags, registers, FXSAVE)                %6.1f ns\n", floor);
    const X87EmptinessTiming chosen = ChooseX87EmptinessTest();
    std::printf("Chosen at start-up on this processor: %s (%u ns a floating-point hook; push test %u, FXAM %u, "
                "tag word %u)\n",
                kX87EmptinessTestNames[static_cast<uint32_t>(chosen.chosen)],
                chosen.nanoseconds[static_cast<uint32_t>(chosen.chosen)], chosen.nanoseconds[0], chosen.nanoseconds[1],
                chosen.nanoseconds[2]);
    return 0;
}
