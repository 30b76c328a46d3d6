// The simulated game as a program: loads every plug-in beside it, as a plug-in loader
// would at game start, and prints what happened, as a tour: the checks and the plug-in's
// state, every game byte it changed, the settings (as MorvaneCheck reads them), then each
// feature at work on sample cars, driven through the patched game code.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostLayout.h"
#include "Sim.h"

namespace {

std::string OwnDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    return path.substr(0, path.rfind('\\') + 1);
}

std::string ModuleNameAt(uint32_t address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(address)), &module))
        return address >= sim::layout::kHostBegin && address < sim::layout::kHostEnd ? "the game" : "no module";
    char buffer[MAX_PATH];
    const std::string path(buffer, GetModuleFileNameA(module, buffer, MAX_PATH));
    return path.substr(path.rfind('\\') + 1);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

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

// The game's globals, to tell what a changed data byte belongs to.
const char* GlobalAt(uint32_t address) {
    struct Named {
        uint32_t address, size;
        const char* name;
    };
    static const Named globals[] = {
        {sim::layout::kSteeringAngle, 4, "steering angle"},
        {sim::layout::kGameMode, 4, "game mode"},
        {sim::layout::kFrameTime, 4, "frame time"},
    };
    for (const Named& g : globals) {
        if (address >= g.address && address < g.address + g.size) return g.name;
    }
    return nullptr;
}

void ReportRuns() {
    const auto runs = sim::ChangedRuns();
    std::printf("\nHost bytes changed: %zu run%s\n", runs.size(), runs.size() == 1 ? "" : "s");
    for (const sim::ByteRun& run : runs) {
        std::printf("  0x%08X  %s  ->  %s", run.address, Hex(run.before).c_str(), Hex(run.after).c_str());
        const uint8_t op = run.after[0];
        if ((op == 0xE8 || op == 0xE9) && run.after.size() >= 5) {
            uint32_t displacement;
            std::memcpy(&displacement, run.after.data() + 1, 4);
            const uint32_t target = run.address + 5 + displacement;
            std::printf("   (%s to 0x%08X in %s)", op == 0xE8 ? "call" : "jump", target, ModuleNameAt(target).c_str());
        } else if (const char* global = GlobalAt(run.address)) {
            std::printf("   (%s)", global);
        }
        std::printf("\n");
    }
}

// The settings as the player's own checker reads them: MorvaneCheck from the game folder,
// its report and warnings inline. The game knows nothing of the plug-in's settings.
void ReportSettings(const std::string& folder) {
    std::printf("\nSettings and car profiles, as MorvaneCheck reads them:\n");
    std::fflush(stdout);
    std::string command = "\"" + folder + "MorvaneCheck.exe\" \"" + folder.substr(0, folder.size() - 1) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &process)) {
        std::printf("  (no MorvaneCheck.exe in the game folder)\n");
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("  MorvaneCheck exit status %lu (%s)\n", status,
                status == 0 ? "every setting takes effect as written" : status == 1 ? "see the warnings above"
                                                                                    : "the folder cannot be read");
}

}  // namespace

int main() {
    sim::Setup();
    const std::string folder = OwnDirectory();
    const auto* image = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
    const uint32_t entryRva = *reinterpret_cast<const uint32_t*>(image + *reinterpret_cast<const uint32_t*>(image + 0x3C) + 0x28);
    std::printf("Kavra 1.4 English (simulated)\n");
    std::printf("  game folder: %s\n  image base 0x%08X, AddressOfEntryPoint 0x%08X (entry 0x%08X at base 0x00400000)\n",
                folder.c_str(), static_cast<unsigned>(reinterpret_cast<uintptr_t>(image)), entryRva, 0x400000 + entryRva);

    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((folder + "*.asi").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do names.emplace_back(found.cFileName);
        while (FindNextFileA(listing, &found));
        FindClose(listing);
    }
    if (names.empty()) {
        std::printf("\nNo plug-in (*.asi) in the game folder.\n");
        return 1;
    }

    bool active = false;
    for (const std::string& name : names) {
        const size_t boxesBefore = sim::MessageBoxes().size();
        HMODULE plugin = sim::LoadPlugin(folder + name);
        std::printf("\nPlug-in %s %s: attach %s\n", name.c_str(), plugin ? FileVersion(plugin).c_str() : "",
                    plugin ? "succeeded" : "failed (the loader unloaded it)");
        bool conflict = false, rejected = false;
        for (size_t i = boxesBefore; i < sim::MessageBoxes().size(); ++i) {
            const sim::MessageBoxCall& box = sim::MessageBoxes()[i];
            std::string text = box.text;
            for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " | ");
            std::printf("  message box \"%s\" (style 0x%X, %s): %s\n", box.caption.c_str(), box.style,
                        box.owner ? "owned" : "no owner", text.c_str());
            rejected |= box.text.find("not supported") != std::string::npos;
            conflict |= box.text.find("CarShadowFix") != std::string::npos;
        }
        if (name != "Morvane.asi") continue;
        std::printf("  host check: %s\n", rejected ? "failed (unsupported executable)" : "passed");
        if (!rejected) {
            std::printf("  sibling check: Kavra.WidescreenFix.ini [MISC] CarShadowFix = %d -> %s\n",
                        static_cast<int>(GetPrivateProfileIntA("MISC", "CarShadowFix", 0,
                                                                (folder + "Kavra.WidescreenFix.ini").c_str())), conflict ? "conflict" : "no conflict");
        }
        // The state as seen from outside: an active plug-in keeps itself loaded (the
        // loader's unload leaves it in place) and has changed game bytes.
        const bool pinned = plugin && (FreeLibrary(plugin), GetModuleHandleA((folder + name).c_str()) != nullptr);
        const size_t changed = sim::ChangedRuns().size();
        active = pinned;
        if (rejected || !plugin) {
            std::printf("  state: Rejected (not loaded)\n");
        } else if (pinned) {
            std::printf("  state: Active (kept loaded, %zu run%s of game bytes changed)\n", changed, changed == 1 ? "" : "s");
        } else {
            std::printf("  state: %s (not kept loaded, %zu runs of game bytes changed)\n",
                        conflict ? "Inert" : "attached but did nothing", changed);
        }
    }
    ReportRuns();
    if (active) {
        ReportSettings(folder);
        for (const sim::Model& model : sim::Models()) {
            if (model.report) model.report();
        }
    }
    return 0;
}
