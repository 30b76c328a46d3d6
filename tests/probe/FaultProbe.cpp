// Not a test: the simulated game with the plug-in of the folder it is given, in which the
// neon colour hook meets a render record at a bad address and faults inside Morvane.asi.
// The fault is not Morvane's to contain: the game ends as any game whose code faulted.
#include <cstdio>
#include <string>

#include "Sim.h"
#include "SimNeon.h"

int main(int argc, char** argv) {
    sim::Setup();
    if (argc < 2 || sim::LoadPlugin(std::string(argv[1]) + "\\Morvane.asi") == nullptr) return 1;
    sim::RunHostCode(sim::neon::NeonColorRun(reinterpret_cast<uint8_t*>(0x10), 0));
    std::puts("the hook came back from a bad record");
    return 0;
}
