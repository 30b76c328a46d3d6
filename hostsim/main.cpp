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
        return address >= sim::layout::kHostBegin && address < sim::layout::kHostEnd ? "the game" : "memory allocated at run time";
    char buffer[MAX_PATH];
    const std::string path(buffer, GetModuleFileNameA(module, buffer, MAX_PATH));
    return path.substr(path.rfind('\\') + 1);
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

// What the game has at the places a plug-in may change, by the part of the game they
// belong to, so that the report can tell what each change touched.
struct Place {
    uint32_t address, size;
    const char* area;
    const char* what;
};
const Place kPlaces[] = {
    {0x7CC6BD, 5, "car effects", "count of a car's effects"},
    {0x7BEBFB, 5, "car effects", "adding an effect to a car's effect list"},
    {0x7DA131, 5, "car effects", "choosing the part that carries the exhaust"},
    {0x7DF2EE, 5, "car effects", "exhaust marker test"},
    {0x7DEFC8, 5, "car effects", "exhaust marker test (second place)"},
    {0x85EAEC, 5, "fitting parts", "call that fits the dependent parts"},
    {0x8420F0, 5, "fitting parts", "routine that records the chosen part"},
    {0x865278, 5, "fitting parts", "pop-up headlight query"},
    {0x865280, 60, "fitting parts", "the query's own answer"},
    {0x83FBF1, 5, "customization screens", "building the main menu"},
    {0x8683C9, 5, "customization screens", "the selected category"},
    {0x866074, 5, "customization screens", "filling a category's slot menu"},
    {0x85F74C, 5, "customization screens", "whether a slot may be chosen"},
    {0x8665DA, 5, "customization screens", "whether a menu item may be chosen"},
    {0x85F90E, 5, "customization screens", "an argument of the slot menu"},
    {0x9F9D14, 4, "customization screens", "virtual table: a slot's title"},
    {0x84EB1F, 5, "customization screens", "call for a slot's camera"},
    {0x85FA37, 5, "customization screens", "call that lists a slot's parts"},
    {0x7CDC85, 5, "drawing cars", "hash of a model name (level of detail)"},
    {0x7E585D, 3, "drawing cars", "wheel mirroring"},
    {0x7D9E14, 5, "drawing cars", "end of preparing a car for drawing"},
    {0x7ADCA8, 5, "drawing cars", "a car's light state"},
    {0x7DEF18, 5, "drawing cars", "a car's light shaders"},
    {0x7ADE83, 5, "drawing cars", "a car's light tables"},
    {0x7CECC7, 4, "drawing cars", "an operand of the light set-up"},
    {0x7CECCD, 4, "drawing cars", "an operand of the light set-up"},
    {0x7CF764, 5, "drawing cars", "end of filling a car's texture list"},
    {0x7DF765, 5, "drawing cars", "wheel camber"},
    {0x7CB85F, 5, "drawing cars", "track width"},
    {0x7CB8C8, 5, "drawing cars", "tire width"},
    {0x6B7887, 5, "part slots", "upgrade groups of the decal slots"},
    {0x83F749, 6, "part slots", "whether rims / vinyls may be painted or mirrored"},
    {0x7E5FB2, 2, "part slots", "stock rim paint check"},
    {0x7E0472, 1, "part slots", "a conditional jump"},
    {0x7E0216, 1, "part slots", "a conditional jump"},
    {0x7E5A6A, 5, "car shadow", "the shadow's texture"},
    {0x7BEA68, 5, "car shadow", "the shadow's colour"},
    {0x7BE4F4, 4, "car shadow", "shadow constant"}, {0x7BE50D, 4, "car shadow", "shadow constant"},
    {0x7BE501, 4, "car shadow", "shadow constant"}, {0x7BEA36, 4, "car shadow", "shadow constant"},
    {0x7BE5B9, 4, "car shadow", "shadow constant"}, {0x7BE5AB, 4, "car shadow", "shadow constant"},
    {0x7BE59B, 4, "car shadow", "shadow constant"}, {0x7BE58B, 4, "car shadow", "shadow constant"},
    {0x7BEA3A, 6, "car shadow", "a shadow instruction"},
    {sim::layout::kSteeringAngle, 4, "game data", "front wheels' steering angle"},
    {sim::layout::kGameMode, 4, "game data", "game mode"},
    {sim::layout::kFrameTime, 4, "game data", "frame time"},
};

const Place* PlaceAt(uint32_t begin, uint32_t end) {
    for (const Place& place : kPlaces) {
        if (begin < place.address + place.size && end > place.address) return &place;
    }
    return nullptr;
}

// Every changed run, by the part of the game it belongs to.
void ReportRuns() {
    const auto runs = sim::ChangedRuns();
    std::printf("\nGame bytes changed: %zu run%s\n", runs.size(), runs.size() == 1 ? "" : "s");
    std::vector<bool> told(runs.size(), false);
    auto tell = [&](size_t i) {
        const sim::ByteRun& run = runs[i];
        const Place* place = PlaceAt(run.address, run.address + static_cast<uint32_t>(run.after.size()));
        std::printf("    0x%08X  %s  ->  %s", run.address, Hex(run.before).c_str(), Hex(run.after).c_str());
        const uint8_t op = run.after[0];
        if ((op == 0xE8 || op == 0xE9) && run.after.size() >= 5) {
            uint32_t displacement;
            std::memcpy(&displacement, run.after.data() + 1, 4);
            const uint32_t target = run.address + 5 + displacement;
            std::printf("   %s to 0x%08X in %s", op == 0xE8 ? "call" : "jump", target, ModuleNameAt(target).c_str());
        }
        std::printf("%s%s\n", place ? "   : " : "", place ? place->what : "");
        told[i] = true;
    };
    const char* area = nullptr;
    for (const Place& place : kPlaces) {
        if (area != nullptr && std::strcmp(area, place.area) == 0) continue;
        area = place.area;
        bool heading = false;
        for (size_t i = 0; i < runs.size(); ++i) {
            const Place* at = PlaceAt(runs[i].address, runs[i].address + static_cast<uint32_t>(runs[i].after.size()));
            if (told[i] || at == nullptr || std::strcmp(at->area, area) != 0) continue;
            if (!heading) std::printf("  %s\n", area);
            heading = true;
            tell(i);
        }
    }
    bool heading = false;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (told[i]) continue;
        if (!heading) std::printf("  elsewhere\n");
        heading = true;
        tell(i);
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
