// Not a test: the simulated game with the plug-in of the folder it is given, ending as a
// test asks (the second argument):
//   fault      the neon colour hook meets a render record at a bad address, twice, and
//              faults inside Morvane.asi: contained, the game goes on to its end.
//   gamefault  the pop-up headlight query hands a bad object to a game routine, which
//              faults: the game ends as any game whose code faulted.
//   exit       the game exits while live profiles are being read again.
//   start      the game starts and ends; it prints the message box shown, if any.
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
        for (int i = 0; i < 2; ++i) sim::RunHostCode(sim::neon::NeonColorRun(reinterpret_cast<uint8_t*>(0x10), 0));
        std::puts("the hook came back from a bad record twice");
        return 0;
    }
    if (std::string(argv[2]) == "start") {
        const auto& boxes = sim::MessageBoxes();
        std::puts(boxes.empty() ? "no message box" : boxes[0].text.c_str());
        return 0;
    }
    if (std::string(argv[2]) == "gamefault") {
        sim::Run query;  // the game's call of its pop-up headlight query, on an object at a bad address
        query.site = 0x865278;
        query.resume = 0x86527D;
        query.registers.ecx = 0x10;
        sim::RunHostCode(query);
        std::puts("the game routine came back from a bad object");
        return 0;
    }
    std::ofstream(folder + "Morvane.ini", std::ios::app) << "; touched\n";
    Sleep(500);  // past the quiet period: the files are being read again
    ExitProcess(7);
}
