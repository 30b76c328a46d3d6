// What a hook costs, measured inside the simulated game: a host routine whose first
// instruction is diverted, called a million times, against the same routine undiverted.
// Side by side: the register hook's round trip (site jump, per-site entry, trampoline,
// an empty handler, resume), the floor of any hook that is safe inside the game (flags,
// general registers and x87/SSE state kept around a call), and a bare register-saving stub.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "HostLayout.h"
#include "BenchClock.h"
#include "Sim.h"
#include "feature/Site.h"
#include "patch/Patch.h"
#include "patch/RegisterHook.h"

extern "C" {
void bench_floor_stub();
void bench_bare_stub();
extern uint32_t bench_floor_resume;
extern uint32_t bench_bare_resume;
}

namespace {

constexpr int kCalls = 200000;
constexpr int kRounds = 25;  // the four routines take turns in each round, so load hits all alike


// A host routine at `site`: 5 bytes (diverted or not), then a return.
using Routine = void(__cdecl*)();
Routine PlantRoutine(uint32_t site) {
    sim::PlantHostBytes(site, {0x90, 0x90, 0x90, 0x90, 0x90, 0xC3});
    return reinterpret_cast<Routine>(static_cast<uintptr_t>(site));
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
    const uint32_t base = sim::layout::kScratchCode;
    const Routine plain = PlantRoutine(base);
    const Routine hooked = PlantRoutine(base + 0x100);
    const Routine floor = PlantRoutine(base + 0x200);
    const Routine bare = PlantRoutine(base + 0x300);
    InstallRegisterHook(base + 0x100, &EmptyHandler, base + 0x105);
    WriteJump(base + 0x200, CodeAddress(&bench_floor_stub));
    bench_floor_resume = base + 0x205;
    WriteJump(base + 0x300, CodeAddress(&bench_bare_stub));
    bench_bare_resume = base + 0x305;

    const std::vector<double> ns = NsPerCall({plain, hooked, floor, bare});
    const double none = ns[0], hook = ns[1] - none, safe = ns[2] - none, stub = ns[3] - none;
    std::printf("Hook cost (best of %d x %d calls, the undiverted call's %.1f ns taken off):\n", kRounds, kCalls, none);
    std::printf("  register hook round trip        %6.1f ns\n", hook);
    std::printf("  floor (flags, registers, FXSAVE) %6.1f ns   round trip / floor = %.2f\n", safe, hook / safe);
    std::printf("  bare register-saving stub       %6.1f ns\n", stub);
    return 0;
}
