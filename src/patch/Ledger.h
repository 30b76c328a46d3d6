#pragma once
// What the patch layer made in the game's process, kept until it ends: every game site
// written, with the bytes written there; every hook entry made at run time; and the hook
// places, under which each hook counts the failures it contains. Noted at start-up only;
// read afterwards by the check for other modules' changes, the fault observer and the
// failure counts at exit.
#include <atomic>
#include <cstdint>
#include <span>

#include "patch/HookMarks.h"

namespace morvane {

struct WrittenSite {
    const char* name;       // what the game has there
    const char* installer;  // the feature that wrote it
    uint32_t address;
    uint32_t size;
    uint8_t bytes[64];  // as written (the first 64)
    uint32_t returnAddress;  // a call site: where the routine called returns to; else 0
};

struct MadeEntry {
    uint32_t begin, end;
    uint32_t tail;  // the address the trampoline returns to: found on the stack of a hook
    const char* name;
    uint32_t site;
};

// How much of a hook is switched off after a fault in its own code: the guarded parts of
// its work (the game gets their defaults), or a register hook's whole handler (the game
// gets its registers as on entry).
enum class SwitchedOff : uint8_t { No, GuardedWork, WholeHandler };

// A hook, by name and game site, and the failures contained there.
struct HookPlace {
    const char* name = nullptr;
    uint32_t site = 0;
    // Where a handler may send the game instead of the row's resume address (0: nowhere).
    uint32_t otherResume = 0;
    // A register hook whose door keeps none of the game's x87/MMX/SSE state (its handler
    // calls nothing outside Morvane's integer code).
    bool integerDoor = false;
    std::atomic<uint32_t> failures{0};
    std::atomic<SwitchedOff> off{SwitchedOff::No};
};
// True once any hook has been switched off (routine places are looked up only then).
bool AnyHookSwitchedOff();
// Switches `place` off at least as far as `level`.
void SwitchOff(HookPlace& place, SwitchedOff level);

// The installer that writes the sites noted from now on.
void SetCurrentInstaller(const char* name);
const char* CurrentInstaller();
// Notes a site just written (its bytes are read back from the game).
void NoteWrittenSite(const char* name, uint32_t address, uint32_t size, bool call);
void NoteEntry(uint32_t begin, uint32_t size, uint32_t tail, const char* name, uint32_t site);

std::span<const WrittenSite> WrittenSites();
std::span<const MadeEntry> MadeEntries();
// The entry made at run time that `address` lies in, or null.
const MadeEntry* EntryAt(uint32_t address);

// A place for a hook written at start-up; null when the fixed store is full (the hook then
// counts under the shared place).
HookPlace* NewHookPlace(const char* name, uint32_t site, uint32_t otherResume = 0);
// The place of a plug-in routine the game calls with an ordinary calling convention, as
// its site was written; the shared place for a routine written nowhere.
void SetRoutinePlace(uint32_t routine, HookPlace* place);
HookPlace& RoutinePlace(uint32_t routine);
// Every place made, then the shared one.
std::span<HookPlace> HookPlaces();
HookPlace& SharedHookPlace();


}  // namespace morvane
