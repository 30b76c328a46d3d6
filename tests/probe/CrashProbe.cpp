// Not tests of the plug-in: test executables that fail, run apart by the test command,
// which fails unless each of them fails. One crashes after a second thread has come and
// gone (that once made Wine end a crashed process with status 0); the other runs game
// code that never comes back, which the simulated game's watchdog must end in seconds.
#include <gtest/gtest.h>
#include <windows.h>

#include "HostLayout.h"
#include "Sim.h"

namespace {

DWORD WINAPI DoNothing(LPVOID) { return 0; }

#if ASTRAY
TEST(AstrayProbe, SpinsInGameCode) {
    const uint32_t site = sim::layout::kScratchCode;
    sim::PlantHostBytes(site, {0xEB, 0xFE});  // jmp $
    sim::Run run;
    run.site = site;
    sim::RunHostCode(run);
}
#else
TEST(CrashProbe, CrashesAfterAThread) {
    HANDLE thread = CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    *static_cast<volatile int*>(nullptr) = 1;
}
#endif

}  // namespace
