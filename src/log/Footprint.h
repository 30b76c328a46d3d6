#pragma once
// Morvane's footprint in the game's process: every game site it wrote, with the bytes it
// wrote there, and every hook entry it made at run time. Noted at start-up only; read
// afterwards by the checks that look for other plug-ins' changes and by the fault
// observer.
#include <cstdint>
#include <span>

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

// The installer that writes the sites noted from now on.
void SetCurrentInstaller(const char* name);
const char* CurrentInstaller();
// Notes a site just written (its bytes are read back from the game).
void NoteWrittenSite(const char* name, uint32_t address, uint32_t size, bool call);
void NoteEntry(uint32_t begin, uint32_t size, uint32_t tail, const char* name, uint32_t site);

std::span<const WrittenSite> WrittenSites();
std::span<const MadeEntry> MadeEntries();

}  // namespace morvane
