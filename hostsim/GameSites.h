#pragma once
// Every place of the game the plug-in may change: where it is, the part of the game it
// belongs to, what the game has there, the switch that calls for a change, the kind of
// change and its exact bytes where they are fixed. Written from the game's side and kept
// apart from the plug-in's own tables, so that the patch-map test checks the plug-in
// against a list of its own; the tour tells each changed game byte by it.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace sim {

enum class Patch {
    Hook,      // a jump into an entry the plug-in made at run time, outside every module
    Jump,      // a jump into a routine of the plug-in's image
    Call,      // a call of a routine of the plug-in's image
    Routine,   // a pointer to a routine of the plug-in's image
    Constant,  // a pointer to read-only data of the plug-in's image holding `bytes`
    Bytes,     // exactly `bytes`
    Read,      // game data the hooks read: never written
};

// Fixed code the plug-in writes, run as the game runs it: entered with EAX kRunEax, a
// return into the game at [ESP] and above it slot i (i >= 1) holding kRunSlot + i.
enum class Runs {
    Unchecked,
    Returns,  // comes back to the caller at once with EAX `result`
    Pushes,   // goes on at the site's end with `result` pushed (ESP 4 lower)
};
constexpr uint32_t kRunEax = 0xA0;
constexpr uint32_t kRunSlot = 0x5100;

struct GameSite {
    uint32_t address;
    uint32_t size;       // the bytes a change covers
    const char* area;    // the part of the game it belongs to
    const char* what;    // what the game has there
    const char* gate;    // the switch that calls for it: "" always (Read: never); "X!Y" while X is on and Y off
    Patch patch;
    std::vector<uint8_t> bytes = {};  // Bytes: what is written; Constant: the constant's bytes
    // The game's own code around a site where the plug-in rewrites part of it and must keep
    // the rest. The simulated game leaves it zero; the patch-map test plants it first.
    std::vector<uint8_t> gameCode = {};
    Runs runs = Runs::Unchecked;
    uint32_t result = 0;
};

// In the order of the parts of the game, as the tour tells them.
const std::vector<GameSite>& GameSites();

// The address of the site the game's side names `what`; 0 when none is.
uint32_t AddressOf(const std::string& what);

// Whether the plug-in writes `site` with the switches `on` (Morvane.ini's keys given a value
// other than 0), and how many sites of the game's code it writes so (its data aside: the
// count the log gives).
bool Written(const GameSite& site, const std::set<std::string>& on);
size_t SitesWritten(const std::set<std::string>& on);
// The keys a Morvane.ini's text gives a value other than 0 ("Key = 1").
std::set<std::string> KeysOn(const std::string& ini);

}  // namespace sim
