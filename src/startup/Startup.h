#pragma once
// The attach-time sequence: host check, sibling check, configuration, installers.
#include <cstdint>
#include <span>

namespace morvane {

// The supported executable's entry point at its preferred base 0x400000.
constexpr uint32_t kSupportedHostEntryPoint = 0x87E926;

inline constexpr const char kCaption[] = "Kavra - Morvane";
inline constexpr const char kUnsupportedHostText[] =
    "This .exe is not supported.\nPlease use v1.4 English kavra.exe (6,88 MB (7.217.152 bytes)).";
inline constexpr const char kShadowConflictText[] = "Please set CarShadowFix to 0 in Kavra.WidescreenFix.ini";
// Shows a start-up error (UTF-8 text) in a message box with no owner window.
void ShowError(const char* text);

// A feature's installer: it reads its switches from the global settings and writes its
// own sites; no two installers write the same game site.
struct Installer {
    const char* name;
    void (*install)();
};

// Sibling check, then settings and profiles; false means no installer may run.
bool LoadConfiguration();

// Runs once on process attach into the supported host.
void StartPlugin();
// Runs on process attach into any other executable: the log says which it is.
void LogUnsupportedGame(uint32_t entryPoint);
// Runs on process detach: the last checks for the log.
void StopPlugin();

}  // namespace morvane
