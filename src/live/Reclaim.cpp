#include "live/Reclaim.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <utility>

#include "host/HostImage.h"
#include "log/LogFile.h"
#include "patch/Ledger.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace morvane {

namespace {

// Morvane's image and the entries it made: plain reads, no lock.
bool InMorvanesCode(uint32_t address) {
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&__ImageBase));
    return address - base < ImageHeaderField(&__ImageBase, kImageSizeField) || EntryAt(address) != nullptr;
}

// Where a thread's information block lies, asked of the system before the thread is
// stopped (it holds the thread's stack bounds, kept up to date as the stack grows).
struct ThreadBasicInformation {
    LONG exitStatus;
    const NT_TIB* tib;
    void* clientId[2];
    ULONG_PTR affinity;
    LONG priority, basePriority;
};
using QueryThreadFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
const auto queryThread = reinterpret_cast<QueryThreadFn>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));

const NT_TIB* ThreadTib(HANDLE thread) {
    ThreadBasicInformation information{};
    if (queryThread == nullptr || queryThread(thread, 0, &information, sizeof information, nullptr) < 0) return nullptr;
    return information.tib;
}

// The stopped thread, by its registers and its own information block: outside every hook
// when it is not in Morvane's code and no mark is on its stack. A stack pointer outside
// the thread's stack cannot be told: not outside, looked at again later.
bool OutsideHooks(uint32_t eip, uint32_t esp, const volatile NT_TIB& tib) {
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tib.StackBase));
    const auto limit = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tib.StackLimit));
    if (InMorvanesCode(eip) || esp < limit || esp >= base) return false;
    return InnermostHookMark(esp, base) == nullptr;
}

// Every other thread of the process.
std::vector<unsigned long> OtherThreads() {
    std::vector<unsigned long> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId() && entry.th32ThreadID != GetCurrentThreadId())
            threads.push_back(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return threads;
}

uint64_t TickCount() { return GetTickCount64(); }

}  // namespace

bool ThreadOutsideHooks(unsigned long threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread == nullptr) return true;  // gone: it holds nothing
    bool outside = false;
    const NT_TIB* tib = ThreadTib(thread);
    if (tib != nullptr && SuspendThread(thread) != static_cast<DWORD>(-1)) {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &context)) outside = OutsideHooks(context.Eip, context.Esp, *tib);
        ResumeThread(thread);
    }
    CloseHandle(thread);
    return outside;
}

RetiredConfigurations::RetiredConfigurations(uint64_t (*clock)()) : clock_(clock != nullptr ? clock : &TickCount) {}

void RetiredConfigurations::KeepUntilExit(bool full) {
    if (std::exchange(keptTold_, true)) return;
    LogLine line;
    line.TimeAndProcess() << " live profiles: ";
    if (full) {
        line.Decimal(kMostWaiting) << " replaced settings wait to be freed, a game thread inside a hook each time";
    } else {
        line << "replaced settings waited a minute to be freed, a game thread inside a hook all along";
    }
    line << ": replaced settings are kept until the game ends";
    line.Append();
}

void RetiredConfigurations::Retire(std::function<void()> free) {
    if (waiting_.size() == kMostWaiting) return KeepUntilExit(true);
    waiting_.push_back({std::move(free), OtherThreads(), clock_()});
}

bool RetiredConfigurations::TryToFree() {
    const uint64_t now = clock_();
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        std::vector<unsigned long>& threads = it->threadsToSee;
        threads.erase(std::remove_if(threads.begin(), threads.end(), &ThreadOutsideHooks), threads.end());
        if (threads.empty()) {
            it->free();
        } else if (now - it->since >= kLongestWaitMs) {
            KeepUntilExit(false);
        } else {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
    }
    return !waiting_.empty();
}

}  // namespace morvane
