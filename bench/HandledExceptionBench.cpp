// What an exception the game raises and handles itself costs, with and without Morvane in
// the process: a game routine probing memory under its own handler, near the top of its
// thread's stack and 48 KB deep, and under a hook (a game routine the pop-up headlight
// query calls). Morvane looks only at faults in its own code: the cost should not grow.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "GameSites.h"
#include "Sim.h"
#include "SimCatalogue.h"
#include "TestFolders.h"

namespace {

constexpr int kProbes = 2000;
constexpr int kRounds = 5;

// Microseconds per handled exception, the median of kRounds.
template <typename Probe>
double Microseconds(Probe&& probe) {
    std::vector<double> rounds;
    for (int round = 0; round < kRounds; ++round) {
        const double start = Seconds();
        for (int i = 0; i < kProbes; ++i) probe();
        rounds.push_back((Seconds() - start) * 1e6 / kProbes);
    }
    std::nth_element(rounds.begin(), rounds.begin() + kRounds / 2, rounds.end());
    return rounds[kRounds / 2];
}

// Runs `probe` with 48 KB more of the stack in use above it.
template <typename Probe>
__attribute__((noinline)) double Deep(Probe&& probe) {
    volatile char used[48 * 1024];
    std::memset(const_cast<char*>(used), 0x48, sizeof used);  // text that spells "HHHH"
    const double cost = Microseconds(probe);
    asm volatile("" : : "r"(used) : "memory");
    return cost;
}

void Probe() { sim::ProbeRead(0x10); }

int32_t __thiscall ProbingCarType(void*) { return sim::ProbeRead(0x10) ? 0 : -1; }


}  // namespace

int main() {
    sim::Setup();
    const double shallowWithout = Microseconds(Probe), deepWithout = Deep(Probe);
    testfolders::GameFolder folder("handled-bench");
    if (sim::LoadPlugin(folder.CopyPlugin()) == nullptr) return std::puts("Morvane.asi refused to load"), 1;
    const double shallowWith = Microseconds(Probe), deepWith = Deep(Probe);
    // The pop-up headlight query's routine (the call at 0x865278 is Morvane's once it is
    // loaded), as the game calls it: the game's car-type routine, replaced by one that
    // probes, runs under the hook.
    sim::PlantJump(sim::catalogue::kGetCarType, reinterpret_cast<const void*>(&ProbingCarType));
    const uint32_t popUpQuery = sim::CallTarget(sim::AddressOf("pop-up headlight query"));
    const double underHook = Microseconds([popUpQuery] { sim::CallHostCode(popUpQuery, {.ecx = 0x1000}); });
    std::printf("An exception the game handles itself (median of %d rounds of %d):\n", kRounds, kProbes);
    std::printf("  %-32s %8s %8s  %s\n", "", "without", "with", "with / without");
    std::printf("  %-32s %6.1f us %6.1f us  %.2f\n", "near the top of the stack", shallowWithout, shallowWith,
                shallowWith / shallowWithout);
    std::printf("  %-32s %6.1f us %6.1f us  %.2f\n", "48 KB deep", deepWithout, deepWith, deepWith / deepWithout);
    std::printf("  %-32s %6s    %6.1f us  %.2f\n", "under a hook", "", underHook, underHook / shallowWithout);
    return 0;
}
