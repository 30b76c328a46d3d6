#include "Console.h"

#include <iostream>

#ifdef _WIN32
#include <conio.h>
#include <windows.h>
#endif

namespace morvane::check {

#ifdef _WIN32
ConsoleFacts CurrentConsole() {
    DWORD ids[2];
    DWORD mode = 0;
    const DWORD processes = GetConsoleProcessList(ids, 2);
    return {static_cast<unsigned>(processes), GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0,
            GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0};
}

void WaitForKey() {
    std::cout << "\nThe full report is above: scroll up to see every car's settings.\n"
                 "Press any key to close this window.\n"
              << std::flush;
    _getch();
}
#else
ConsoleFacts CurrentConsole() { return {0, false, false}; }

void WaitForKey() {}
#endif

}  // namespace morvane::check
