#pragma once
// Living beside other plug-ins. Another plug-in may have hooked a site before Morvane
// wrote it, or may change one afterwards: either one of the two no longer runs there, and
// the log names the module and the feature, or its jump leads on to Morvane's (as hooking
// libraries chain), and the log says Morvane still runs there.
#include <cstdint>

namespace morvane {

class LogLine;
struct WrittenSite;

// Where the branch at `site` leads (see BranchTarget) when that lies outside the game's
// image: another module hooked the site. Else 0.
uint32_t ForeignHookTarget(uint32_t site);
// The file name (UTF-8) of the module that holds `address`, written into `name`, and the
// module's base; where no module holds it, "memory allocated at run time" and 0. Read
// from the memory map alone: no heap, and no loader lock (a fault may be told while
// another thread holds it).
uint32_t HolderName(uint32_t address, char (&name)[260]);
// Code by its place: "kavra.exe+0x0003C1F0" in a module (the game's too), else
// "0x0A340010 (memory allocated at run time)", or without the parenthesis when
// `sayMemory` is false.
void TellCodePlace(LogLine& line, uint32_t address, bool sayMemory = true);
// Whether the site's bytes are the ones Morvane wrote.
bool StillAsWritten(const WrittenSite& site);

// Logs every written site whose bytes are no longer what Morvane wrote, with the module
// its jump now leads to and whether Morvane's hook still runs there: each site once per
// change (a site put back as Morvane wrote it and changed again is told again). Safe on
// any thread, several at once.
void CheckWrittenSites(const char* when) noexcept;

// How often the written sites are checked while the game runs.
constexpr uint32_t kSiteRecheckMs = 10000;
// Makes that check due `firstMs` after now, then every `thenEveryMs`. The game's hooks
// make it as it falls due (no thread of its own: one that a game ends while it starts can
// take the game down with it): CheckWrittenSitesIfDue costs a tick compare until then, and
// answers true only when no check was ever made due.
void CheckWrittenSitesLater(uint32_t firstMs, uint32_t thenEveryMs = kSiteRecheckMs);
bool CheckWrittenSitesIfDue() noexcept;

}  // namespace morvane
