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
    char path[MAX_PATH];
    DWORD length = 0;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(address)), &module))
        length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        std::strcpy(name, "memory allocated at run time");
        return;
    }
    const char* last = path;
    for (const char* at = path; *at; ++at) {
        if (*at == '\\' || *at == '/') last = at + 1;
    }
    const size_t kept = std::min(std::strlen(last), sizeof name - 1);
    std::memcpy(name, last, kept);
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
std::atomic<ULONGLONG> laterCheckDue{0};
}  // namespace

void CheckWrittenSitesLater(uint32_t delayMs) { laterCheckDue = GetTickCount64() + delayMs; }

bool CheckWrittenSitesIfDue() noexcept {
    ULONGLONG due = laterCheckDue.load(std::memory_order_relaxed);
    if (due == 0) return true;
    if (GetTickCount64() < due) return false;
    // Hooks on several threads may be due at once: one checks.
    if (laterCheckDue.compare_exchange_strong(due, 0)) CheckWrittenSites("a few seconds after start-up");
    return true;
}

}  // namespace morvane
