// MorvaneCheck [--version] [folder]: checks the Morvane settings in the folder (by default
// this program's own) as the plug-in reads them. Exit status 0: everything takes effect
// as written; 1: warnings; 2: the folder cannot be read, or not whole. In a console window
// of its own (started from Explorer) it waits for a key before the window closes. Text is
// UTF-8 inside; on Windows the command line is taken as UTF-16, so a folder named in any
// language arrives whole.
#include <algorithm>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "Checker.h"
#include "Console.h"
#include "Version.h"

#ifdef _WIN32
#include <windows.h>

#include "config/Files.h"
#endif

namespace {

// What the arguments ask for, told to `out`; `checked` says whether a folder was checked.
int Run(const std::vector<std::string>& arguments, std::ostream& out, bool& checked) {
    std::string folder;
    for (const std::string& argument : arguments) {
        if (argument == "--version") {
            out << "MorvaneCheck " << kMorvaneVersion << "\n";
            return 0;
        }
        const bool help = argument == "--help" || argument == "-h";
        if (help || !folder.empty()) {
            out << "usage: MorvaneCheck [--version] [folder]\n"
                   "Checks Morvane.ini and MorvaneCars in the folder (by default the one this program is in)\n"
                   "as Morvane reads them. Exit status: 0 everything takes effect as written, 1 warnings,\n"
                   "2 the folder cannot be read, or not whole (something in it is left out).\n";
            return help ? 0 : 2;
        }
        folder = argument;
    }
    if (folder.empty()) folder = morvane::check::OwnFolder();
    checked = true;
    try {
        return morvane::check::CheckFolder(folder, out).status;
    } catch (const std::bad_alloc&) {
        out << "\nMorvaneCheck ran out of memory reading " << morvane::check::Printable(folder)
            << ": the folder holds more than settings\n";
    } catch (const std::exception& error) {
        out << "\nMorvaneCheck could not read " << morvane::check::Printable(folder) << ": "
            << morvane::check::Printable(error.what()) << "\n";
    }
    return morvane::check::kFolderUnreadable;
}

}  // namespace

#ifdef _WIN32
// The report to a console as UTF-16, which it shows whatever its code page; to a file or
// a pipe as UTF-8.
void Show(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (!GetConsoleMode(out, &mode)) {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::wstring wide = morvane::WideName(text, CP_UTF8);
    constexpr size_t kPiece = 8192;  // what one console write surely takes
    for (size_t at = 0; at < wide.size(); at += written) {
        size_t count = std::min(kPiece, wide.size() - at);
        if (count < wide.size() - at && IS_HIGH_SURROGATE(wide[at + count - 1])) --count;  // a pair stays whole
        if (!WriteConsoleW(out, wide.data() + at, static_cast<DWORD>(count), &written, nullptr) || written == 0) return;
    }
}

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(morvane::Utf8(argv[i]));
    std::ostringstream out;
    bool checked = false;
    const int status = Run(arguments, out, checked);
    Show(out.str());
    if (checked && morvane::check::WaitsForKey(morvane::check::CurrentConsole())) morvane::check::WaitForKey();
    return status;
}
#else
int main(int argc, char** argv) {
    bool checked = false;
    return Run({argv + 1, argv + argc}, std::cout, checked);
}
#endif
