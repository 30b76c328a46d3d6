// How profile lookups scale with the number of configured cars, measured inside the
// simulated game: time per ProfileInForce and ProfileInForceForNameHash call, and how many
// times each lookup calls the game's string hash.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "Sim.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace {

constexpr int kCalls = 1000000;
constexpr int kRounds = 5;


struct Figures {
    double carTypeNs;
    double nameHashNs;
    double hashCallsPerLookup;
};

Figures Measure(int profiles) {
    using namespace morvane;
    sim::Reset();
    ResetCarProfiles();
    LoadGlobalSettings("no-such-settings.ini");
    int32_t lastCar = -1;
    for (int i = 0; i < profiles; ++i) {
        const std::string name = "CAR" + std::to_string(i);
        lastCar = sim::AddCarType(name);
        auto profile = std::make_unique<CarProfile>();
        profile->name = name;
        AddCarProfile(std::move(profile));
    }
    const int32_t carWithout = sim::AddCarType("NO_PROFILE");
    // The last profile and a car without one: the worst cases for a walk of the list.
    const int32_t carTypes[2] = {lastCar, carWithout};
    const uint32_t hashes[2] = {sim::Hash("CAR" + std::to_string(profiles - 1)), sim::Hash("NO_PROFILE")};
    const size_t hashCallsBefore = sim::HashedTexts().size();

    // Best of several rounds, so that a busy moment of the machine does not count.
    volatile uintptr_t sink = 0;
    double carTypeNs = 1e30, nameHashNs = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        double start = Seconds();
        for (int i = 0; i < kCalls; ++i) sink = sink + reinterpret_cast<uintptr_t>(ProfileInForce(carTypes[i & 1]));
        carTypeNs = std::min(carTypeNs, (Seconds() - start) * 1e9 / kCalls);
        start = Seconds();
        for (int i = 0; i < kCalls; ++i) sink = sink + reinterpret_cast<uintptr_t>(ProfileInForceForNameHash(hashes[i & 1]));
        nameHashNs = std::min(nameHashNs, (Seconds() - start) * 1e9 / kCalls);
    }
    const double hashCalls =
        static_cast<double>(sim::HashedTexts().size() - hashCallsBefore) / (2.0 * kCalls * kRounds);
    return {carTypeNs, nameHashNs, hashCalls};
}

}  // namespace

int main() {
    sim::Setup();
    std::printf("profile lookups: best of %d rounds of %d calls, alternating the last profile and a car without one\n",
                kRounds, kCalls);
    std::printf("%10s %22s %22s %22s\n", "profiles", "ProfileInForce ns", "ProfileInForceForNameHash ns", "hash calls/lookup");
    std::vector<Figures> all;
    for (int profiles : {1, 100, 1000}) {
        const Figures f = Measure(profiles);
        all.push_back(f);
        std::printf("%10d %22.1f %22.1f %22.3f\n", profiles, f.carTypeNs, f.nameHashNs, f.hashCallsPerLookup);
    }
    std::printf("1000 vs 1 profile: ProfileInForce x%.2f, ProfileInForceForNameHash x%.2f\n",
                all[2].carTypeNs / all[0].carTypeNs, all[2].nameHashNs / all[0].nameHashNs);
    return 0;
}
