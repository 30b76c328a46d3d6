// The settings as the player's own checker reads them: MorvaneCheck from the game folder,
// its report and warnings inline. The game knows nothing of the plug-in's settings.
#include <cstdio>
#include <string>

#include "Tour.h"

namespace tour {

void ReportSettings(const std::string& folder) {
    std::printf("\nSettings and car profiles, as MorvaneCheck reads them:\n");
    std::fflush(stdout);
    std::wstring command = sim::Wide("\"" + folder + "MorvaneCheck.exe\" \"" + folder.substr(0, folder.size() - 1) + "\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, sim::Wide(folder).c_str(), &startup,
                        &process)) {
        std::printf("  (no MorvaneCheck.exe in the game folder)\n");
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("  MorvaneCheck exit status %lu (%s)\n", status,
                status == 0 ? "every setting takes effect as written" : status == 1 ? "see the warnings above"
                                                                                    : "the folder cannot be read");
}

}  // namespace tour
