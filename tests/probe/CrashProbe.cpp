// Not a test of the plug-in: a test executable that crashes, run apart by the test
// command, which fails unless this executable fails. A second thread has come and gone
// first (that once made Wine end a crashed process with status 0).
#include <gtest/gtest.h>
#include <windows.h>

namespace {

DWORD WINAPI DoNothing(LPVOID) { return 0; }

TEST(CrashProbe, CrashesAfterAThread) {
    HANDLE thread = CreateThread(nullptr, 0, &DoNothing, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    *static_cast<volatile int*>(nullptr) = 1;
}

}  // namespace
