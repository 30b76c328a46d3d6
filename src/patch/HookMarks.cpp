#include "patch/HookMarks.h"

#include <windows.h>

#include <cstddef>

#include "config/Configuration.h"
#include "log/LogFile.h"

namespace morvane {

namespace {

// The records, taken by threads as they first run a hook and given back as they end. A
// thread that finds none free shares the last, whose slots are never free: its marks are
// only counted.
constexpr uint32_t kRecords = 1024;
ThreadMarks records[kRecords + 1];
ThreadMarks& shared = records[kRecords];

struct SharedSlotsTaken {
    SharedSlotsTaken() {
        for (const HookMark* volatile& slot : shared.slots) slot = reinterpret_cast<const HookMark*>(1);
    }
} sharedSlotsTaken;

uint32_t ThisThreadId() {
    uint32_t id;
    asm("movl %%fs:0x24, %0" : "=r"(id));  // the thread's client id, as GetCurrentThreadId reads it
    return id;
}

void SetThisThreadsRecord(ThreadMarks* marks) {
    const uint32_t index = detail::marksIndex;
    if (index < 64) {
        asm volatile("movl %0, %%fs:0xE10(,%1,4)" ::"r"(marks), "r"(index) : "memory");
    } else if (index != TLS_OUT_OF_INDEXES) {
        TlsSetValue(index, marks);
    }
}

bool InThisThreadsStack(const void* at) {
    uint32_t base, limit;  // the running stack's bounds, FS:[4] and FS:[8]
    asm volatile("movl %%fs:4, %0" : "=r"(base));  // a fiber's own, as it runs
    asm volatile("movl %%fs:8, %0" : "=r"(limit));
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at));
    return address >= limit && address < base;
}

// Whether a thread that holds a record still runs.
bool ThreadRuns(uint32_t id) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (thread == nullptr) return false;
    const bool runs = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return runs;
}

}  // namespace

namespace detail {

const uint32_t marksIndex = TlsAlloc();

void TakeAnotherSlot(HookMark& mark, ThreadMarks& marks) {
    mark.slot = nullptr;
    for (uint32_t i = 1; i < kMarkSlots; ++i) {
        if (marks.slots[i] == nullptr) {
            marks.slots[i] = &mark;
            mark.slot = &marks.slots[i];
            return;
        }
    }
    mark.counted = &marks;
    marks.uncounted.fetch_add(1);
}

ThreadMarks& AdoptThreadMarks() {
    if (marksIndex == TLS_OUT_OF_INDEXES) return shared;
    const uint32_t self = ThisThreadId();
    for (uint32_t i = 0; i < kRecords; ++i) {
        uint32_t none = 0;
        if (records[i].owner.load(std::memory_order_relaxed) == 0 && records[i].owner.compare_exchange_strong(none, self)) {
            records[i].readsFreely = false;
            SetThisThreadsRecord(&records[i]);
            return records[i];
        }
    }
    SetThisThreadsRecord(&shared);
    return shared;
}

// The handler of a mark's registration: called for each exception that passes the hook's
// frame (nothing to do: the search goes on), and as an unwind passes it, which the mark's
// destructor will never see. Called with the registration, which is the mark.
extern "C" int __cdecl morvane_mark_unwound(void* record, void* frame, void*, void*) {
    constexpr DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND
    if ((static_cast<const EXCEPTION_RECORD*>(record)->ExceptionFlags & kUnwinding) != 0)
        static_cast<volatile HookMark*>(frame)->Lower();
    return ExceptionContinueSearch;
}

}  // namespace detail

void HookMark::Lower() volatile {
    if (slot != nullptr) {
        if (*slot == this) *slot = nullptr;
    } else if (counted != nullptr) {
        counted->uncounted.fetch_sub(1);
    }
    counted = nullptr;
    slot = nullptr;
}

void LeaveThreadMarks() {
    ThreadMarks* record = detail::ThisThreadsRecord();
    if (record == nullptr || record == &shared) return;
    ThreadMarks& marks = *record;
    bool empty = marks.uncounted.load() == 0;
    for (uint32_t i = 0; i < kMarkSlots; ++i) {
        if (marks.slots[i] == nullptr) continue;
        if (InThisThreadsStack(marks.slots[i])) {
            marks.slots[i] = nullptr;  // a hook the thread ended in
        } else {
            empty = false;  // a fiber's, switched out inside its hook
        }
    }
    SetThisThreadsRecord(nullptr);
    if (empty) marks.owner.store(0);
}

std::vector<StandingMark> StandingMarks() {
    FlushProcessWriteBuffers();
    std::vector<StandingMark> standing;
    for (const ThreadMarks& marks : records) {
        const uint32_t owner = marks.owner.load();
        if (marks.uncounted.load() != 0) standing.push_back({nullptr, &marks.uncounted, nullptr, owner});
        if (&marks == &shared || owner == 0) continue;
        for (uint32_t i = 0; i < kMarkSlots; ++i) {
            if (const HookMark* mark = marks.slots[i]) standing.push_back({&marks.slots[i], nullptr, mark, owner});
        }
    }
    return standing;
}

bool StillStanding(const StandingMark& standing) {
    if (standing.slot == nullptr) return standing.uncounted->load() != 0;
    if (*standing.slot != standing.mark) return false;
    if (ThreadRuns(standing.owner)) return true;
    // Its thread was ended inside the hook and never took it down; a fiber of that thread,
    // switched out inside a hook, may go on elsewhere: the mark counts while it is there.
    struct {
        void* registration[2];
        uint32_t magic;
    } words;
    static_assert(offsetof(HookMark, magic) == sizeof words.registration);
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), standing.mark, &words, sizeof words, &read) && read == sizeof words &&
           words.magic == HookMark::kMagic;
}

bool ConfigurationReadAllowed() {
    const ThreadMarks* record = detail::ThisThreadsRecord();
    if (record == nullptr) return false;
    return record->uncounted.load() != 0 || record->readsFreely || InnermostMarkAbove(0) != nullptr;
}

void ReadConfigurationFreely() {
    ThreadMarks& marks = CurrentThreadMarks();
    if (&marks != &shared) marks.readsFreely = true;
}

namespace {
void CheckConfigurationRead() {
    if (ConfigurationReadAllowed()) return;
    LogLine line;
    line << "the configuration was read on a game thread outside every hook";
    line.Append();
    __builtin_trap();
}
}  // namespace

void CheckConfigurationReads() { detail::checkConfigurationRead = &CheckConfigurationRead; }

const HookMark* InnermostMarkAbove(uint32_t esp) {
    const ThreadMarks* record = detail::ThisThreadsRecord();
    if (record == nullptr) return nullptr;
    const HookMark* innermost = nullptr;
    for (const HookMark* mark : record->slots) {
        const auto at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(mark));
        if (at >= esp && InThisThreadsStack(mark) && (innermost == nullptr || mark < innermost)) innermost = mark;
    }
    return innermost;
}

}  // namespace morvane
