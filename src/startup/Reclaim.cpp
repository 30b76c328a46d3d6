#include "startup/Reclaim.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>

#include "host/HostImage.h"
#include "patch/Ledger.h"

namespace morvane {

namespace {

bool InMorvanesCode(uint32_t address) {
    static const auto base = [] {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&InMorvanesCode), &self);
        return self;
    }();
    static const uint32_t size = ImageHeaderField(base, kImageSizeField);
    return address - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(base)) < size || EntryAt(address) != nullptr;
}

// A hook's mark anywhere between `esp` and the top of the thread's stack.
bool MarkOnStack(uint32_t esp) {
    MEMORY_BASIC_INFORMATION stack{};
    if (!VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(esp)), &stack, sizeof stack) ||
        stack.State != MEM_COMMIT)
        return true;  // unreadable: assume the worst
    const auto top = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stack.BaseAddress) + stack.RegionSize);
    return InnermostHookMark(esp, top) != nullptr;
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

}  // namespace

bool ThreadOutsideHooks(unsigned long threadId) {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (thread == nullptr) return true;  // gone: it holds nothing
    bool outside = false;
    if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &context)) outside = !InMorvanesCode(context.Eip) && !MarkOnStack(context.Esp);
        ResumeThread(thread);
    }
    CloseHandle(thread);
    return outside;
}

void RetiredConfigurations::Retire(std::function<void()> free) { waiting_.push_back({std::move(free), OtherThreads()}); }

bool RetiredConfigurations::TryToFree() {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        std::vector<unsigned long>& threads = it->threadsToSee;
        threads.erase(std::remove_if(threads.begin(), threads.end(), &ThreadOutsideHooks), threads.end());
        if (!threads.empty()) {
            ++it;
            continue;
        }
        it->free();
        it = waiting_.erase(it);
    }
    return !waiting_.empty();
}

}  // namespace morvane
