// Every run of game bytes the plug-ins changed, by the part of the game it belongs to and
// with what the game has there.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GameSites.h"
#include "HostLayout.h"
#include "Tour.h"

namespace tour {

namespace {

std::string ModuleNameAt(uint32_t address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(address)), &module))
        return address >= sim::layout::kHostBegin && address < sim::layout::kHostEnd ? "the game" : "memory allocated at run time";
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
    return sim::Utf8(path.substr(path.rfind(L'\\') + 1));
}

// The bytes in hexadecimal; a long run shows its first eight and its length.
std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) {
        std::snprintf(byte, sizeof byte, "%02X ", bytes[i]);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    if (bytes.size() > 8) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

// The first listed site the run overlaps, or null.
const sim::GameSite* SiteOf(const sim::ByteRun& run) {
    const uint32_t end = run.address + static_cast<uint32_t>(run.after.size());
    for (const sim::GameSite& site : sim::GameSites()) {
        if (run.address < site.address + site.size && end > site.address) return &site;
    }
    return nullptr;
}

// One line: where, the bytes before and after, where a written jump or call leads, and
// what the game has there.
void TellRun(const sim::ByteRun& run) {
    const sim::GameSite* site = SiteOf(run);
    std::printf("    0x%08X  %s  ->  %s", run.address, Hex(run.before).c_str(), Hex(run.after).c_str());
    const uint8_t op = run.after[0];
    if ((op == 0xE8 || op == 0xE9) && run.after.size() >= 5) {
        uint32_t displacement;
        std::memcpy(&displacement, run.after.data() + 1, 4);
        const uint32_t target = run.address + 5 + displacement;
        std::printf("   %s to 0x%08X in %s", op == 0xE8 ? "call" : "jump", target, ModuleNameAt(target).c_str());
    }
    std::printf("%s%s\n", site ? "   : " : "", site ? site->what : "");
}

// Tells the runs not told yet that `belongs` picks, under `heading` if there is any.
template <typename Belongs>
void TellRuns(const std::vector<sim::ByteRun>& runs, std::vector<bool>& told, const char* heading, Belongs belongs) {
    bool headed = false;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (told[i] || !belongs(runs[i])) continue;
        if (!headed) std::printf("  %s\n", heading);
        headed = true;
        TellRun(runs[i]);
        told[i] = true;
    }
}

}  // namespace

void ReportRuns() {
    const auto runs = sim::ChangedRuns();
    std::printf("\nGame bytes changed: %zu run%s\n", runs.size(), runs.size() == 1 ? "" : "s");
    std::vector<bool> told(runs.size(), false);
    const char* area = nullptr;
    for (const sim::GameSite& site : sim::GameSites()) {
        if (area != nullptr && std::strcmp(area, site.area) == 0) continue;
        area = site.area;
        TellRuns(runs, told, area, [&](const sim::ByteRun& run) {
            const sim::GameSite* at = SiteOf(run);
            return at != nullptr && std::strcmp(at->area, area) == 0;
        });
    }
    TellRuns(runs, told, "elsewhere", [](const sim::ByteRun&) { return true; });
}

bool Changed(uint32_t site) {
    for (const sim::ByteRun& run : sim::ChangedRuns()) {
        if (site >= run.address && site < run.address + run.after.size()) return true;
    }
    return false;
}

uint8_t GameByte(uint32_t address) { return sim::Global<uint8_t>(address); }

}  // namespace tour
