// MorvaneCheck [--version] [folder]: checks the Morvane settings in the folder (by default
// this program's own) as the plug-in reads them. Exit status 0: everything takes effect
// as written; 1: warnings; 2: the folder cannot be read. In a console window of its own
// (started from Explorer) it waits for a key before the window closes.
#include <cstring>
#include <iostream>
#include <string>

#include "Checker.h"
#include "Console.h"
#include "Version.h"

int main(int argc, char** argv) {
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "MorvaneCheck " << kMorvaneVersion << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 || !folder.empty()) {
            std::cout << "usage: MorvaneCheck [--version] [folder]\n"
                         "Checks Morvane.ini and MorvaneCars in the folder (by default the one this program is in)\n"
                         "as Morvane reads them. Exit status: 0 everything takes effect as written, 1 warnings,\n"
                         "2 the folder cannot be read.\n";
            return std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ? 0 : 2;
        }
        folder = argv[i];
    }
    if (folder.empty()) folder = morvane::check::OwnFolder();
    const int status = morvane::check::CheckFolder(folder, std::cout).status;
    if (morvane::check::WaitsForKey(morvane::check::CurrentConsole())) morvane::check::WaitForKey();
    return status;
}
