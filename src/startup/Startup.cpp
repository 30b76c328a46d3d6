#include "startup/Startup.h"

#include <windows.h>

#include "Version.h"
#include "config/Files.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "effects/ExhaustEffects.h"
#include "effects/LightShaders.h"
#include "effects/Neon.h"
#include "effects/Textures.h"
#include "effects/WheelGeometry.h"
#include "effects/WheelMirror.h"
#include "patch/ForeignHooks.h"
#include "patch/Failures.h"
#include "patch/FaultObserver.h"
#include "patch/Ledger.h"
#include "log/LogFile.h"
#include "parts/CustomizationMenus.h"
#include "parts/KitPartNames.h"
#include "parts/LevelOfDetail.h"
#include "parts/PartLists.h"
#include "parts/PartSlotFixes.h"
#include "patch/RegisterHook.h"
#include "live/LiveProfiles.h"
#include "startup/SecondCopy.h"

namespace morvane {

namespace {

constexpr Installer kInstallers[] = {
    {"exhaust effects", &InstallExhaustEffects},
    {"kit part names", &InstallKitPartNames},
    {"customization menus", &InstallCustomizationMenus},
    {"part lists", &InstallPartLists},
    {"level of detail", &InstallLevelOfDetail},
    {"wheel mirror", &InstallWheelMirror},
    {"textures", &InstallTextures},
    {"light shaders", &InstallLightShaders},
    {"wheel geometry", &InstallWheelGeometry},
    {"part-slot fixes", &InstallPartSlotFixes},
    {"neon", &InstallNeon},
};

// How long after start-up the written sites are first compared with what other modules
// did (then every kSiteRecheckMs while the game runs, and at each live reading).
constexpr uint32_t kLaterCheckDelayMs = 5000;

bool active = false;
bool liveProfiles = false;
// The sibling's CarShadowFix as start-up read it.
int32_t startupShadowFix = 0;

// Runs one start-up step; one that fails is journaled and leaves the next ones to run.
template <typename Body>
void Step(const char* name, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        LogLine line;
        line << "  " << name << " failed: " << CurrentFailure() << "; start-up goes on without it";
        Journal(line.text());
    }
}

// The live profiles' watcher: a thread of the plug-in's own.
void StartLiveProfilesWatcher() {
    const std::string module = PluginModulePath();
    if (!StartLiveProfiles(module.substr(0, module.find_last_of('\\') + 1), startupShadowFix)) {
        LogLine line;
        line << "live profiles: the folder cannot be watched; car profiles stay as read";
        line.Append();
    }
}

// Host code now jumps into this library: keep it mapped even if someone unloads it.
void PinInMemory() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&PinInMemory), &self);
}

const void* OwnModule() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &self);
    return self;
}

// The log lies where Morvane.ini is looked for.
void PlaceLog() {
    const std::string path = ResolveIniPath(PluginModulePath(), kLogFile);
    SetLogPath(ExactPath(path), path);
    // The plug-in's path however long: the line is not one of the log's fixed size.
    LogLine started;
    Journal(std::string("Morvane ") + kMorvaneVersion + ", " + PluginModulePath() + ", started " +
            std::string(started.Time(true).text()) + ", process " + std::to_string(GetCurrentProcessId()));
}

// Writes the log. Where the plug-in's folder refuses it (read-only, the file held by
// another program), the log goes to the player's own folder of programs' data instead,
// "%LOCALAPPDATA%\Morvane\Morvane.log", where MorvaneCheck looks for it too, and says so.
void WriteLog() {
    if (!LogEnabled() || WriteJournal()) return;
    wchar_t data[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", data, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string folder = Utf8(std::wstring_view(data, length)) + "\\" + kUserLogFolder;
    CreateDirectoryW(ExactPath(folder).c_str(), nullptr);
    const std::string refused = LogPath(), path = folder + "\\" + kLogFile;
    Journal("log: " + refused + " cannot be written, so the log is kept here", true);
    SetLogPath(ExactPath(path), path);
    WriteJournal();
}

// A second copy of Morvane in the same game changes nothing in the game and never rewrites
// the active copy's log: its journal goes to a log named after itself (unless that is the
// active copy's), and the active copy's log gets one line.
bool ClaimedByThisCopy() {
    std::string module, log;
    if (ClaimProcess(PluginModulePath(), LogPath(), module, log)) return true;
    Journal("another copy of Morvane is active in this game: " + module + " (its log: " + log +
            "); this copy changes nothing in the game");
    const std::string self = PluginModulePath();
    const std::string own = self.substr(0, self.find_last_of('.')) + ".log";
    if (!SameFileName(own, log)) {
        SetLogPath(ExactPath(own), own);
        WriteJournal();
    }
    SetLogPath(ExactPath(log), log);
    LogLine line;
    line << "a second copy of Morvane, " << self << ", was left out";
    line.Append();
    DisableLog();
    return false;
}

// Floating-point hooks test whether the game's x87 stack is empty the cheapest way on this
// processor, timed here.
void ChooseX87Test() {
    const X87EmptinessTiming timing = ChooseX87EmptinessTest();
    const auto chosen = static_cast<uint32_t>(timing.chosen);
    std::string others;
    for (uint32_t test = 0; test < std::size(timing.nanoseconds); ++test) {
        if (test == chosen) continue;
        others += std::string(others.empty() ? "" : ", ") + kX87EmptinessTestNames[test] + " " +
                  std::to_string(timing.nanoseconds[test]) + " ns";
    }
    Journal(std::string("x87 emptiness test: ") + kX87EmptinessTestNames[chosen] + ", " +
            std::to_string(timing.nanoseconds[chosen]) + " ns a floating-point hook (" + others + ")");
}

void RunInstallers() {
    // One installer that fails leaves the others to write their sites.
    for (const Installer& installer : kInstallers) {
        SetCurrentInstaller(installer.name);
        Journal(std::string("installer ") + installer.name + ":");
        Step(installer.name, installer.install);
    }
    SetCurrentInstaller("start-up");
}

// The profiles in force: from MorvaneCars (the first 40, in the order the folder lists them),
// then built in.
void JournalProfiles(size_t fromFolder) {
    constexpr size_t kNamed = 40;
    const ProfileSet& profiles = CarProfiles();
    std::string files, builtIn;
    for (size_t i = 0; i < profiles.size(); ++i) {
        if (i < fromFolder && i >= kNamed) continue;
        (i < fromFolder ? files : builtIn) += " " + profiles[i].name;
    }
    if (fromFolder > kNamed) files += " and " + std::to_string(fromFolder - kNamed) + " more";
    Journal("profiles: " + std::to_string(fromFolder) + " from " + kProfileDirectory + (files.empty() ? "" : ":") +
            files + "; " + std::to_string(profiles.size() - fromFolder) + " built in:" + builtIn);
}

}  // namespace


void ShowError(const char* text) {
    MessageBoxW(nullptr, WideName(text, CP_UTF8).c_str(), WideName(kCaption, CP_UTF8).c_str(), MB_ICONERROR);
}

void LogUnsupportedGame(uint32_t entryPoint) {
    Step("the log", [&] {
        PlaceLog();
        const IniFile settings(kGlobalSettingsFile);
        if (!LogWanted(settings.ReadInt(kGeneralSection, kLogKey, 1))) return;
        LogLine line;
        line << "game check: entry point ";
        line.Hex(entryPoint) << ", not the supported ";
        line.Hex(kSupportedHostEntryPoint) << " (Kavra 1.4 English): Morvane stays out";
        Journal(line.text());
        WriteLog();
    });
}

bool LoadConfiguration() {
    // Wherever a loader may have put the sibling: beside Morvane, in the game's folder, in
    // scripts\ or plugins\.
    const std::vector<SiblingFile> siblings = FindSiblingFiles();
    if (siblings.empty()) {
        Journal(std::string("sibling check: no ") + kSiblingFile +
                " beside Morvane or in the game's folder, scripts\\ or plugins\\: no conflict");
    }
    for (const SiblingFile& sibling : siblings) {
        Journal("sibling check: " + sibling.path + " [" + kSiblingSection + "] " + kSiblingKey + " = " +
                std::to_string(sibling.shadowSetting) +
                (SiblingConflicts(sibling.shadowSetting) ? ": conflict, Morvane stays inactive" : ": no conflict"));
    }
    if (const SiblingFile* conflict = FirstConflict(siblings)) {
        startupShadowFix = conflict->shadowSetting;
        const std::string text = std::string(kShadowConflictText) + "\n\n" + conflict->path;
        ShowError(text.c_str());
        return false;
    }
    // Each step deals with what it meets; one that fails still leaves the others to run.
    Step("reading Morvane.ini", [] { LoadGlobalSettings(); });
    Step("reading the car profiles", [] { LoadCarProfiles(); });
    const size_t fromFolder = CarProfiles().size();
    Step("adding the built-in profiles", [] { AddBuiltInProfiles(); });
    Step("the log", [&] {
        JournalProfiles(fromFolder);
        std::vector<std::string> told;
        if (const size_t count = SettingsLinesNotAsWritten(told)) {
            Journal("settings: " + std::to_string(count) + (count == 1 ? " line does" : " lines do") +
                        " not take effect as written (MorvaneCheck.exe in the game folder tells each with its fix):",
                    true);
            for (const std::string& line : told) Journal("  " + line, true);
            if (count > told.size()) Journal("  and " + std::to_string(count - told.size()) + " more", true);
        }
    });
    return true;
}

void StartPlugin() {
    Step("the log", [] { PlaceLog(); });
    LogLine gameCheck;
    gameCheck << "game check: entry point ";
    gameCheck.Hex(kSupportedHostEntryPoint) << ", the supported Kavra 1.4 English";
    Journal(gameCheck.text());
    if (!ClaimedByThisCopy()) return;
    if (!LoadConfiguration()) {
        Journal("state: inactive, nothing written");
        WriteLog();
        return;
    }
    const PluginSettings* settings = GlobalSettings();
    if (settings != nullptr && !settings->log) DisableLog();
    ObserveFaults(OwnModule());
    // Pinned before the first jump into this library is written.
    PinInMemory();
    ChooseX87Test();
    RunInstallers();
    active = true;
    Journal("state: active, " + std::to_string(WrittenSites().size()) + " game sites written", true);
    liveProfiles = settings != nullptr && settings->liveProfiles;
    if (liveProfiles) Journal("live profiles: on, car profiles follow their files while the game runs", true);
    WriteLog();
    // From now on game threads read the configuration only under a hook's mark (checked in
    // a debug build).
    CheckConfigurationReads();
    // The watcher thread starts once the game runs, not inside the loader's call.
    if (liveProfiles) RunOnFirstHook(&StartLiveProfilesWatcher);
    CheckWrittenSitesLater(kLaterCheckDelayMs);
    RunOnEveryHookUntilDone(&CheckWrittenSitesIfDue, kRecurringWorkEveryNthHook);
}

void StopPlugin() {
    if (!active) return;
    CheckWrittenSites("at exit");
    LogFailureCounts();
}

}  // namespace morvane
