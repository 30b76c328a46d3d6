// Not a test: the simulated game with the plug-in of the folder it is given, ending as a
// test asks (the second argument):
//   fault    the neon colour hook meets a render record at a bad address and faults
//            inside Morvane.asi; that is not Morvane's to contain, the game ends as any
//            game whose code faulted.
//   exit     the game exits while live profiles are being read again.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "Sim.h"
#include "SimNeon.h"

int main(int argc, char** argv) {
    sim::Setup();
    if (argc < 3) return 1;
    const std::string folder = std::string(argv[1]) + "\\";
    if (sim::LoadPlugin(folder + "Morvane.asi") == nullptr) return 1;
    if (std::string(argv[2]) == "fault") {
        sim::RunHostCode(sim::neon::NeonColorRun(reinterpret_cast<uint8_t*>(0x10), 0));
        std::puts("the hook came back from a bad record");
        return 0;
    }
    std::ofstream(folder + "Morvane.ini", std::ios::app) << "; touched\n";
    Sleep(500);  // past the quiet period: the files are being read again
    ExitProcess(7);
}
