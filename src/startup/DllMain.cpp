// The plug-in loader's entry into Morvane.
#include <windows.h>

#include "host/HostImage.h"
#include "startup/Startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    using namespace morvane;
    if (reason == DLL_PROCESS_DETACH) StopPlugin();
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (const uint32_t entryPoint = NormalisedHostEntryPoint(); entryPoint != kSupportedHostEntryPoint) {
        LogUnsupportedGame(entryPoint);
        ShowError(kUnsupportedHostText);
        return FALSE;
    }
    // Nothing may escape into the game's loader: start-up deals with what it meets.
    try {
        StartPlugin();
    } catch (...) {
    }
    return TRUE;
}
