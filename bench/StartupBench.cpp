// What start-up costs as the number of car profiles grows, measured inside the simulated
// game: the whole attach of the real plug-in (load, configuration, every installer) and
// its configuration steps alone, against the time merely to list and read the same files.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "BenchClock.h"
#include "Sim.h"
#include "TestFolders.h"
#include "config/Files.h"
#include "config/Profiles.h"
#include "config/Settings.h"

namespace {

constexpr int kRounds = 3;


// Best of kRounds, each after `prepare` (not timed).
template <typename P, typename F>
double BestMs(P&& prepare, F&& run) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        prepare();
        const double start = Seconds();
        run();
        best = std::min(best, (Seconds() - start) * 1e3);
    }
    return best;
}

}  // namespace

int main() {
    using namespace morvane;
    sim::Setup();
    const std::string settings = ReadWholeFile(testfolders::ExeDirectory() + "dist\\Morvane.ini");
    const std::string profile = ReadWholeFile(testfolders::ExeDirectory() + "dist\\MorvaneCars\\SUPRA");
    std::printf("Start-up with N car profiles (the shipped Morvane.ini; each profile the SUPRA example;\n"
                "reading and configuration best of %d, the attach once):\n", kRounds);
    std::printf("  %6s  %12s  %14s  %10s  %12s\n", "N", "read files", "configuration", "ratio", "whole attach");
    for (int count : {1, 100, 1000, 10000}) {
        testfolders::GameFolder folder("startup-bench");
        folder.Write("Morvane.ini", settings);
        for (int i = 0; i < count; ++i) folder.Write("MorvaneCars\\CAR" + std::to_string(i), profile);
        const std::string cars = folder.path() + "MorvaneCars";

        const double read = BestMs([] {}, [&] {
            size_t bytes = ReadWholeFile(folder.path() + "Morvane.ini").size();
            for (const std::string& name : ListDirectory(cars)) bytes += ReadWholeFile(cars + "\\" + name).size();
            if (bytes == 0) std::printf("nothing read\n");
        });
        const auto fresh = [] {
            sim::Reset();
            ResetCarProfiles();
        };
        const double configuration = BestMs(fresh, [&] {
            LoadGlobalSettings(folder.path() + "Morvane.ini");
            LoadCarProfiles(cars);
            AddBuiltInProfiles();
        });
        // Once: a plug-in attaches once per process, and the folder's copy stays loaded.
        sim::Reset();
        const std::string plugin = folder.CopyPlugin();
        const double start = Seconds();
        sim::LoadPlugin(plugin);
        const double attach = (Seconds() - start) * 1e3;
        std::printf("  %6d  %9.2f ms  %11.2f ms  %9.2fx  %9.2f ms\n", count, read, configuration, configuration / read,
                    attach);
    }
    return 0;
}
