#pragma once
// Living beside other plug-ins. Another plug-in may have hooked a site before Morvane
// wrote it, or may change one afterwards; either way one of the two no longer runs there,
// and the log names the module and the feature.
#include <cstdint>

namespace morvane {

// Where the branch at `site` leads (see BranchTarget) when that lies outside the game's
// image: another module hooked the site. Else 0.
uint32_t ForeignHookTarget(uint32_t site);
// The file name (UTF-8) of the module that holds `address`, or "memory allocated at run
// time"; written into `name` (no heap).
void HolderName(uint32_t address, char (&name)[260]);

// Logs every written site whose bytes are no longer what Morvane wrote (each once), with
// the module that now holds it and the feature that no longer runs there.
void CheckWrittenSites(const char* when) noexcept;
// Makes that check due `delayMs` after now. The game's hooks make it once it is due (no
// thread of its own: one that a game ends while it starts can take the game down with it):
// CheckWrittenSitesIfDue answers true once it is made, or when none is due.
void CheckWrittenSitesLater(uint32_t delayMs);
bool CheckWrittenSitesIfDue() noexcept;

}  // namespace morvane
