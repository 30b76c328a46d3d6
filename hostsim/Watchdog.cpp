#include "Watchdog.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// One slot per thread that runs game code; a run arms its thread's slot and disarms it
// when the code comes back. No lock: each slot has one writer, the watchdog only reads.
struct Slot {
    std::atomic<DWORD> thread{0};
    std::atomic<uint32_t> site{0};
    std::atomic<uint64_t> deadline{0};  // 0: not running game code
};
constexpr int kSlots = 32;
Slot slots[kSlots];
std::atomic<uint32_t> limit{5000};
std::atomic<bool> started{false};
std::atomic<bool> stopping{false};
HANDLE watcher = nullptr;

[[noreturn]] void Stop(const Slot& slot) {
    const DWORD id = slot.thread.load();
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, id);
    CONTEXT c{};
    c.ContextFlags = CONTEXT_FULL;
    if (thread != nullptr) {
        SuspendThread(thread);
        GetThreadContext(thread, &c);
    }
    std::fprintf(stderr,
                 "simulated game: code run from 0x%08X went astray: still running at 0x%08lX after %u ms; "
                 "EAX=%08lX EBX=%08lX ECX=%08lX EDX=%08lX ESI=%08lX EDI=%08lX EBP=%08lX ESP=%08lX EFLAGS=%08lX\n",
                 slot.site.load(), c.Eip, limit.load(), c.Eax, c.Ebx, c.Ecx, c.Edx, c.Esi, c.Edi, c.Ebp, c.Esp,
                 c.EFlags);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
    for (;;) Sleep(INFINITE);
}

DWORD WINAPI Watch(void*) {
    while (!stopping) {
        Sleep(100);
        const uint64_t now = GetTickCount64();
        for (const Slot& slot : slots) {
            const uint64_t deadline = slot.deadline.load();
            if (deadline != 0 && now > deadline) Stop(slot);
        }
    }
    return 0;
}

// The watchdog ends before the process does: a thread still running while a process ends
// has made Wine crash it now and then, after every test had passed.
void EndWatching() {
    stopping = true;
    WaitForSingleObject(watcher, 2000);
}

int SlotOfThisThread() {
    const DWORD self = GetCurrentThreadId();
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].thread.load(std::memory_order_relaxed) == self) return i;
    }
    for (int i = 0; i < kSlots; ++i) {
        DWORD free = 0;
        if (slots[i].thread.compare_exchange_strong(free, self)) return i;
    }
    return -1;  // more threads than slots: this one runs unwatched
}

}  // namespace

void SetRunTimeLimit(uint32_t milliseconds) { limit = milliseconds; }

uint32_t SiteRunningOnThisThread() {
    const DWORD self = GetCurrentThreadId();
    for (const Slot& slot : slots) {
        if (slot.thread.load() == self && slot.deadline.load() != 0) return slot.site.load();
    }
    return 0;
}

Watched::Watched(uint32_t site) : slot_(SlotOfThisThread()) {
    if (!started.exchange(true)) {
        watcher = CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr);
        if (watcher != nullptr) std::atexit(&EndWatching);
    }
    if (slot_ < 0) return;
    slots[slot_].site = site;
    slots[slot_].deadline = GetTickCount64() + limit.load();
}

Watched::~Watched() {
    if (slot_ >= 0) slots[slot_].deadline = 0;
}

}  // namespace sim
