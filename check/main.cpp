// MorvaneCheck [--version] [folder]: checks the Morvane settings in the folder (by default
// this program's own) as the plug-in reads them. Exit status 0: everything takes effect
// as written; 1: warnings; 2: the folder cannot be read, or not whole.
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "Checker.h"
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
                         "2 the folder cannot be read, or not whole (something in it is left out).\n";
            return std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ? 0 : 2;
        }
        folder = argv[i];
    }
    if (folder.empty()) folder = morvane::check::OwnFolder();
    try {
        return morvane::check::CheckFolder(folder, std::cout).status;
    } catch (const std::bad_alloc&) {
        std::cout << std::flush << "\nMorvaneCheck ran out of memory reading " << folder
                  << ": the folder holds more than settings\n";
    } catch (const std::exception& error) {
        std::cout << std::flush << "\nMorvaneCheck could not read " << folder << ": " << error.what() << "\n";
    }
    return morvane::check::kFolderUnreadable;
}
