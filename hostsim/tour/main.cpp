// The simulated game as a program: loads every plug-in beside it, as a plug-in loader
// would at game start, and prints what happened, as a tour: the checks and the plug-in's
// state, every game byte it changed, the settings (as MorvaneCheck reads them), then each
// feature at work on sample cars, driven through the patched game code.
#include <cstdio>

#include "Tour.h"

int main() {
    sim::Setup();
    const std::string folder = tour::GameFolder();
    tour::ReportGame(folder);
    const tour::Plugins plugins = tour::LoadPlugins(folder);
    if (!plugins.any) {
        std::printf("\nNo plug-in (*.asi) in the game folder.\n");
        return 1;
    }
    tour::ReportRuns();
    if (plugins.active) {
        tour::ReportSettings(folder);
        for (void (*report)() : {&tour::ReportMenus, &tour::ReportCatalogue, &tour::ReportExhaust, &tour::ReportNeon,
                                 &tour::ReportTextures, &tour::ReportWheels}) {
            report();
        }
        tour::ReportLiveProfiles(folder);
    }
    return 0;
}
