// The game's start-up as the tour tells it: the executable, then each plug-in the game's
// loader finds beside it, its message boxes, checks and state.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Tour.h"

namespace tour {

namespace {

// The version a module's version resource gives, as its file properties show it.
std::string FileVersion(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
    const auto* data = found ? static_cast<const uint8_t*>(LockResource(LoadResource(module, found))) : nullptr;
    if (data == nullptr) return "no version resource";
    const DWORD size = SizeofResource(module, found);
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof info);
        if (info.dwSignature != 0xFEEF04BD) continue;
        char text[48];
        std::snprintf(text, sizeof text, "%lu.%lu.%lu", info.dwFileVersionMS >> 16, info.dwFileVersionMS & 0xFFFF,
                      info.dwFileVersionLS >> 16);
        return text;
    }
    return "no version resource";
}

std::vector<std::string> PluginNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(sim::Wide(folder + "*.asi").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do names.push_back(sim::Utf8(found.cFileName));
        while (FindNextFileW(listing, &found));
        FindClose(listing);
    }
    return names;
}

struct Refusal {
    bool rejected;  // the plug-in said the executable is not supported
    bool conflict;  // the plug-in said the sibling plug-in's setting conflicts
};

// The message boxes shown since `first`, one a line; what they said.
Refusal ReportMessageBoxes(size_t first) {
    Refusal said{false, false};
    for (size_t i = first; i < sim::MessageBoxes().size(); ++i) {
        const sim::MessageBoxCall& box = sim::MessageBoxes()[i];
        std::string text = box.text;
        for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " | ");
        std::printf("  message box \"%s\" (style 0x%X, %s): %s\n", box.caption.c_str(), box.style,
                    box.owner ? "owned" : "no owner", text.c_str());
        said.rejected |= box.text.find("not supported") != std::string::npos;
        said.conflict |= box.text.find("CarShadowFix") != std::string::npos;
    }
    return said;
}

// Morvane's checks and its state as seen from outside: an active plug-in keeps itself
// loaded (the loader's unload leaves it in place) and has changed game bytes. Answers
// whether it is active.
bool ReportMorvane(const std::string& folder, const std::string& name, HMODULE plugin, const Refusal& said) {
    std::printf("  host check: %s\n", said.rejected ? "failed (unsupported executable)" : "passed");
    if (!said.rejected) {
        const std::string sibling = folder + "Kavra.WidescreenFix.ini";
        std::printf("  sibling check: Kavra.WidescreenFix.ini [MISC] CarShadowFix = %d -> %s\n",
                    IniSetting(sibling, "MISC", "CarShadowFix"),
                    said.conflict ? "conflict" : "no conflict");
    }
    const bool pinned = plugin && (FreeLibrary(plugin), GetModuleHandleW(sim::Wide(folder + name).c_str()) != nullptr);
    const size_t changed = sim::ChangedRuns().size();
    if (said.rejected || !plugin) {
        std::printf("  state: Rejected (not loaded)\n");
    } else if (pinned) {
        std::printf("  state: Active (kept loaded, %zu run%s of game bytes changed)\n", changed, changed == 1 ? "" : "s");
    } else {
        std::printf("  state: %s (not kept loaded, %zu runs of game bytes changed)\n",
                    said.conflict ? "Inert" : "attached but did nothing", changed);
    }
    return pinned;
}

}  // namespace

std::string GameFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return sim::Utf8(path.substr(0, path.rfind(L'\\') + 1));
}

int IniSetting(const std::string& path, const char* section, const char* key) {
    return static_cast<int>(GetPrivateProfileIntW(sim::Wide(section).c_str(), sim::Wide(key).c_str(), 0,
                                                  sim::Wide(path).c_str()));
}

void ReportGame(const std::string& folder) {
    const auto* image = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    const uint32_t entryRva = *reinterpret_cast<const uint32_t*>(image + *reinterpret_cast<const uint32_t*>(image + 0x3C) + 0x28);
    std::printf("Kavra 1.4 English (simulated)\n");
    std::printf("  game folder: %s\n  image base 0x%08X, AddressOfEntryPoint 0x%08X (entry 0x%08X at base 0x00400000)\n",
                folder.c_str(), static_cast<unsigned>(reinterpret_cast<uintptr_t>(image)), entryRva, 0x400000 + entryRva);
}

Plugins LoadPlugins(const std::string& folder) {
    Plugins plugins{false, false};
    for (const std::string& name : PluginNames(folder)) {
        plugins.any = true;
        const size_t boxesBefore = sim::MessageBoxes().size();
        HMODULE plugin = sim::LoadPlugin(folder + name);
        std::printf("\nPlug-in %s %s: attach %s\n", name.c_str(), plugin ? FileVersion(plugin).c_str() : "",
                    plugin ? "succeeded" : "failed (the loader unloaded it)");
        const Refusal said = ReportMessageBoxes(boxesBefore);
        if (name == "Morvane.asi") plugins.active = ReportMorvane(folder, name, plugin, said);
    }
    return plugins;
}

}  // namespace tour
