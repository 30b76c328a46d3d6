#include "patch/ForeignHooks.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <iterator>

#include "host/HostImage.h"
#include "log/LogFile.h"
#include "patch/Ledger.h"
#include "patch/Patch.h"

// The system's own query of the memory map: for an image, the file mapped there.
extern "C" LONG NTAPI NtQueryVirtualMemory(HANDLE process, void* address, int what, void* answer, SIZE_T size,
                                           SIZE_T* answered);

namespace morvane {

namespace {

// The game's image: from its module handle, SizeOfImage bytes.
bool InGameImage(uint32_t address) {
    const HMODULE game = GetModuleHandleA(nullptr);
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(game));
    return address >= base && address - base < ImageHeaderField(game, kImageSizeField);
}

// MemoryMappedFilenameInformation's answer: the path as a counted string, then its text
// (paths longer than this are not told: the stack a fault is told on may be short).
constexpr int kMappedFileName = 2;
struct MappedFileName {
    USHORT length, room;
    const wchar_t* text;
    wchar_t buffer[1024];
};

}  // namespace

uint32_t ForeignHookTarget(uint32_t site) {
    const uint32_t target = BranchTarget(site);
    return target != 0 && !InGameImage(target) ? target : 0;
}

uint32_t HolderName(uint32_t address, char (&name)[260]) {
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &info, sizeof info) ||
        info.State != MEM_COMMIT || info.Type != MEM_IMAGE) {
        std::strcpy(name, "memory allocated at run time");
        return 0;
    }
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.AllocationBase));
    MappedFileName path;
    SIZE_T answered = 0;
    if (NtQueryVirtualMemory(GetCurrentProcess(), info.AllocationBase, kMappedFileName, &path, sizeof path,
                             &answered) < 0) {
        std::strcpy(name, "a module with a path too long to tell");
        return base;
    }
    const wchar_t* last = path.text;
    const wchar_t* const end = path.text + path.length / sizeof(wchar_t);
    for (const wchar_t* at = path.text; at < end; ++at) {
        if (*at == L'\\' || *at == L'/') last = at + 1;
    }
    // The file name in UTF-8, as the log writes text; cut at a whole character to fit.
    char text[1024];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, last, static_cast<int>(end - last), text, sizeof text, nullptr, nullptr);
    size_t kept = size > 0 ? static_cast<size_t>(size) : 0;
    if (kept > sizeof name - 1) {
        kept = sizeof name - 1;
        while (kept > 0 && (static_cast<uint8_t>(text[kept]) & 0xC0) == 0x80) --kept;
    }
    std::memcpy(name, text, kept);
    name[kept] = '\0';
    return base;
}

void TellCodePlace(LogLine& line, uint32_t address, bool sayMemory) {
    char name[260];
    if (const uint32_t base = HolderName(address, name)) {
        line << name << "+";
        line.Hex(address - base);
        return;
    }
    line.Hex(address);
    if (sayMemory) line << " (" << name << ")";
}

namespace {

// Reads the site's bytes into `now` (zeros where they cannot be read): whether they are the
// ones Morvane wrote.
bool ReadAsWritten(const WrittenSite& site, uint8_t (&now)[sizeof WrittenSite::bytes]) {
    return PeekMemory(site.address, now, site.size) && std::memcmp(now, site.bytes, site.size) == 0;
}

}  // namespace

bool StillAsWritten(const WrittenSite& site) {
    uint8_t now[sizeof site.bytes] = {};
    return ReadAsWritten(site, now);
}

namespace {

// Per written site, a word for the change last told there (0: none since Morvane's bytes).
std::atomic<uint32_t> told[128];

// Where the branch Morvane wrote at the site leads (0: it wrote no branch there).
uint32_t WrittenTarget(const WrittenSite& site) {
    if (site.size < 5 || (site.bytes[0] != 0xE8 && site.bytes[0] != 0xE9)) return 0;
    int32_t displacement;
    std::memcpy(&displacement, site.bytes + 1, 4);
    return site.address + 5 + static_cast<uint32_t>(displacement);
}

// Whether the jump now at the site, to `first`, reaches what Morvane wrote there: at once,
// or through a stub or two of jumps (rel32, through a pointer, or push and ret).
bool LeadsToMorvane(const WrittenSite& site, uint32_t first) {
    constexpr int kMostHops = 3;
    const uint32_t own = WrittenTarget(site);
    uint32_t at = first;
    for (int hop = 0; own != 0 && at != 0 && hop < kMostHops; ++hop, at = BranchTarget(at)) {
        if (at == own) return true;
    }
    return false;
}

// A word for the bytes found at a site and where they lead (never 0).
uint32_t Fingerprint(const uint8_t* bytes, uint32_t size, uint32_t first, bool chained) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (uint32_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    hash = ((hash ^ first) * 16777619u) ^ (chained ? 1u : 0u);
    return hash != 0 ? hash : 1;
}

void TellChange(const char* when, const WrittenSite& site, uint32_t first, bool chained) {
    LogLine line;
    line << when << ": ";
    line.Hex(site.address) << " " << site.name;
    if (chained || (first != 0 && !InGameImage(first))) {
        char holder[260];
        HolderName(first, holder);
        line << (chained ? " was chained by " : " was changed by ") << holder << " (a jump to ";
        TellCodePlace(line, first, false);
        line << (chained ? ", then on to Morvane's)" : ")");
    } else {
        line << " was changed, no module's jump there";
    }
    line << ": Morvane's " << site.installer << (chained ? " still runs there" : " no longer runs there");
    line.Append();
}

}  // namespace

void CheckWrittenSites(const char* when) noexcept {
    const auto sites = WrittenSites();
    for (size_t i = 0; i < sites.size() && i < std::size(told); ++i) {
        const WrittenSite& site = sites[i];
        uint8_t now[sizeof site.bytes] = {};
        if (ReadAsWritten(site, now)) {
            told[i].store(0, std::memory_order_relaxed);
            continue;
        }
        const uint32_t first = BranchTarget(site.address);
        const bool chained = LeadsToMorvane(site, first);
        const uint32_t change = Fingerprint(now, site.size, first, chained);
        if (told[i].exchange(change) != change) TellChange(when, site, first, chained);
    }
}

namespace {
// The tick count (milliseconds, wrapping after 49 days) when the next check is due; 0:
// none. A word, so that integer code reads and swaps it in one instruction.
std::atomic<uint32_t> checkDue{0};
std::atomic<uint32_t> checkEvery{kSiteRecheckMs};
std::atomic<bool> checkedOnce{false};

uint32_t NotZero(uint32_t tick) { return tick != 0 ? tick : 1; }
}  // namespace

void CheckWrittenSitesLater(uint32_t firstMs, uint32_t thenEveryMs) {
    checkEvery = thenEveryMs;
    checkedOnce = false;
    checkDue = NotZero(GetTickCount() + firstMs);
}

bool CheckWrittenSitesIfDue() noexcept {
    uint32_t due = checkDue.load(std::memory_order_relaxed);
    if (due == 0) return true;
    const uint32_t now = GetTickCount();
    if (static_cast<int32_t>(now - due) < 0) return false;  // not yet, across a wrap too
    // Hooks on several threads may be due at once: one checks.
    if (checkDue.compare_exchange_strong(due, NotZero(now + checkEvery.load(std::memory_order_relaxed))))
        CheckWrittenSites(checkedOnce.exchange(true) ? "while the game runs" : "a few seconds after start-up");
    return false;
}

}  // namespace morvane
