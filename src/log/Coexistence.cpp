#include "log/Coexistence.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "host/HostImage.h"
#include "log/Footprint.h"
#include "log/LogFile.h"

namespace morvane {

namespace {

template <typename T>
bool ReadAt(uint32_t address, T& value) {
    MEMORY_BASIC_INFORMATION info{};
    if (!VirtualQuery(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), &info, sizeof info) ||
        info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0)
        return false;
    std::memcpy(&value, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), sizeof value);
    return true;
}

// The game's image: from its module handle, SizeOfImage bytes.
bool InGameImage(uint32_t address) {
    const HMODULE game = GetModuleHandleA(nullptr);
    const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(game));
    return address >= base && address - base < ImageHeaderField(game, kImageSizeField);
}

bool reported[128];

}  // namespace

uint32_t ForeignHookTarget(uint32_t site) {
    uint8_t code[6];
    if (!ReadAt(site, code)) return 0;
    uint32_t target = 0, operand;
    std::memcpy(&operand, code + 1, 4);
    if (code[0] == 0xE8 || code[0] == 0xE9) {
        target = site + 5 + operand;
    } else if (code[0] == 0x68 && code[5] == 0xC3) {  // push target; ret
        target = operand;
    } else if (code[0] == 0xFF && code[1] == 0x25) {  // jmp dword ptr [slot]
        uint32_t slot;
        std::memcpy(&slot, code + 2, 4);
        if (!ReadAt(slot, target)) return 0;
    }
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
        if (reported[i] || (ReadAt(site.address, now) && std::memcmp(now, site.bytes, site.size) == 0)) continue;
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

bool ClaimProcess(const std::string& module, const std::string& log, std::string& activeModule,
                  std::string& activeLog) {
    // "<process id>|<module>|<log>": a child process inherits the variable, not the claim.
    const std::string self = std::to_string(GetCurrentProcessId());
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(kClaimVariable, value, sizeof value);
    if (length > 0 && length < sizeof value) {
        const std::string claim(value, length);
        const size_t first = claim.find('|'), second = claim.find('|', first + 1);
        if (first != std::string::npos && second != std::string::npos && claim.substr(0, first) == self) {
            activeModule = claim.substr(first + 1, second - first - 1);
            activeLog = claim.substr(second + 1);
            return false;
        }
    }
    SetEnvironmentVariableA(kClaimVariable, (self + "|" + module + "|" + log).c_str());
    return true;
}

}  // namespace morvane
