#include "patch/ForeignHooks.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "host/HostImage.h"
#include "log/LogFile.h"
#include "patch/Ledger.h"
#include "patch/Patch.h"

namespace morvane {

namespace {

// The game's image: from its module handle, SizeOfImage bytes.
bool InGameImage(uint32_t address) {
    const HMODULE game = GetModuleHandleA(nullptr);
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(game));
    return address >= base && address - base < ImageHeaderField(game, kImageSizeField);
}

bool reported[128];

}  // namespace

uint32_t ForeignHookTarget(uint32_t site) {
    const uint32_t target = BranchTarget(site);
    return target != 0 && !InGameImage(target) ? target : 0;
}

void HolderName(uint32_t address, char (&name)[260]) {
    HMODULE module = nullptr;
    wchar_t path[4096];
    DWORD length = 0;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module))
        length = GetModuleFileNameW(module, path, std::size(path));
    if (length == 0 || length >= std::size(path)) {
        std::strcpy(name, length == 0 ? "memory allocated at run time" : "a module with a path too long to tell");
        return;
    }
    const wchar_t* last = path;
    for (const wchar_t* at = path; *at; ++at) {
        if (*at == L'\\' || *at == L'/') last = at + 1;
    }
    // The file name in UTF-8, as the log writes text; cut at a whole character to fit.
    char text[1024];
    const int size = WideCharToMultiByte(CP_UTF8, 0, last, -1, text, sizeof text, nullptr, nullptr);
    size_t kept = size > 0 ? static_cast<size_t>(size) - 1 : 0;
    if (kept > sizeof name - 1) {
        kept = sizeof name - 1;
        while (kept > 0 && (static_cast<uint8_t>(text[kept]) & 0xC0) == 0x80) --kept;
    }
    std::memcpy(name, text, kept);
    name[kept] = '\0';
}

void CheckWrittenSites(const char* when) noexcept {
    const auto sites = WrittenSites();
    for (size_t i = 0; i < sites.size() && i < std::size(reported); ++i) {
        const WrittenSite& site = sites[i];
        uint8_t now[sizeof site.bytes];
        if (reported[i] || (PeekMemory(site.address, now, site.size) && std::memcmp(now, site.bytes, site.size) == 0)) continue;
        reported[i] = true;
        char holder[260] = "an unknown change, no module's jump";
        if (const uint32_t target = ForeignHookTarget(site.address)) HolderName(target, holder);
        LogLine line;
        line << when << ": ";
        line.Hex(site.address) << " " << site.name << " was changed by another module (" << holder << "): Morvane's "
                               << site.installer << " no longer runs there";
        line.Append();
    }
}

namespace {
// The tick count (milliseconds, wrapping after 49 days) when the check is due; 0: none. A
// word, so that integer code reads and swaps it in one instruction.
std::atomic<uint32_t> laterCheckDue{0};
}  // namespace

void CheckWrittenSitesLater(uint32_t delayMs) {
    const uint32_t due = GetTickCount() + delayMs;
    laterCheckDue = due != 0 ? due : 1;
}

bool CheckWrittenSitesIfDue() noexcept {
    uint32_t due = laterCheckDue.load(std::memory_order_relaxed);
    if (due == 0) return true;
    if (static_cast<int32_t>(GetTickCount() - due) < 0) return false;  // not yet, across a wrap too
    // Hooks on several threads may be due at once: one checks.
    if (laterCheckDue.compare_exchange_strong(due, 0)) CheckWrittenSites("a few seconds after start-up");
    return true;
}

}  // namespace morvane
