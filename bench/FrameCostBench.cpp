// What the drawing hooks cost a frame, measured inside the simulated game: 100 cars drawn,
// each through the game code of its tire and plate textures, light state, light texture,
// light shader, neon shadow texture and neon colour, with every one of those hooks
// installed. Against the same frame with no hook installed, and a 60 fps frame.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchClock.h"
#include "Sim.h"
#include "SimDrawing.h"
#include "SimNeon.h"
#include "SimTextures.h"
#include "TestFolders.h"
#include "config/Settings.h"
#include "effects/LightShaders.h"
#include "effects/Neon.h"
#include "effects/Textures.h"
#include "patch/RegisterHook.h"

namespace {

constexpr int kCars = 100;
constexpr int kFrames = 200;


// The best frame of kFrames, in microseconds.
double FrameMicroseconds(const std::vector<sim::drawing::Car>& cars) {
    double best = 1e9;
    for (int frame = 0; frame < kFrames; ++frame) {
        const double start = Seconds();
        for (const sim::drawing::Car& car : cars) sim::drawing::DrawCar(car);
        best = std::min(best, (Seconds() - start) * 1e6);
    }
    return best;
}

std::vector<sim::drawing::Car> Cars() {
    std::vector<sim::drawing::Car> cars;
    for (int i = 0; i < kCars; ++i) cars.push_back(sim::drawing::MakeCar(i));
    return cars;
}

}  // namespace

int main() {
    sim::Setup();
    sim::ClobberAtHostCalls(false);  // the game's routines cost what they cost, not the tests' clobbering
    // The game's own drawing code, no hook: every site plainly returns.
    for (uint32_t site : {sim::textures::kPrepareReturn, sim::textures::kLightState, sim::textures::kLightShader,
                          sim::textures::kLightTextureSelect, sim::neon::kShadowTextureSite, sim::neon::kNeonColorSite}) {
        sim::PlantHostBytes(site, {0xC3});
    }
    const double bare = FrameMicroseconds(Cars());

    sim::Reset();
    testfolders::GameFolder folder("frame-bench");
    folder.Write("Morvane.ini", "[GENERAL]\nReplaceHeadlightShader = 1\nReplaceBrakelightShader = 1\n"
                                "[MODS]\nNeon = 1\nTires = 1\nLicensePlate = 1\n");
    morvane::LoadGlobalSettings(folder.path() + "Morvane.ini");
    const morvane::X87EmptinessTiming timing = morvane::ChooseX87EmptinessTest();
    morvane::InstallTextures();
    morvane::InstallLightShaders();
    morvane::InstallNeon();
    const std::vector<sim::drawing::Car> cars = Cars();
    const double hooked = FrameMicroseconds(cars);
    const double cost = hooked - bare;
    std::printf("Drawing hooks for %d cars (6 hooks a car, each of the class its code gives it, the x87 test %s; best of "
                "%d frames):\n",
                kCars, morvane::kX87EmptinessTestNames[static_cast<uint32_t>(timing.chosen)], kFrames);
    std::printf("  a frame with the hooks   %8.1f us\n", hooked);
    std::printf("  the same, no hook        %8.1f us\n", bare);
    std::printf("  the hooks' share         %8.1f us = %.3f%% of a 60 fps frame (16.667 ms)\n", cost,
                cost / 16666.7 * 100.0);
    return 0;
}
