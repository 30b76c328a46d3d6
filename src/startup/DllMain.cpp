// The plug-in loader's entry into Morvane.
#include <windows.h>

#include "host/HostImage.h"
#include "patch/HookMarks.h"
#include "startup/Startup.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    using namespace morvane;
    if (reason == DLL_PROCESS_DETACH) StopPlugin();
    // A thread that ends inside a hook (a game routine under it ended the thread) leaves no
    // mark standing, and its record goes back.
    if (reason == DLL_THREAD_DETACH) LeaveThreadMarks();
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
