#pragma once
// Living beside other plug-ins. Another plug-in may have hooked a site before Morvane
// wrote it, or may change one afterwards; either way one of the two no longer runs there,
// and the log names the module and the feature. A second copy of Morvane in the same game
// stays out and says where the active copy is.
#include <cstdint>
#include <string>

namespace morvane {

// The address a jump or call at `site` leads to (E8/E9 rel32, FF 25, push imm32 + ret)
// when it lies outside the game's image: another module hooked the site. Else 0.
uint32_t ForeignHookTarget(uint32_t site);
// The file name of the module that holds `address`, or "memory allocated at run time";
// written into `name` (no heap).
void HolderName(uint32_t address, char (&name)[260]);

// Logs every written site whose bytes are no longer what Morvane wrote (each once), with
// the module that now holds it and the feature that no longer runs there.
void CheckWrittenSites(const char* when) noexcept;
// Makes that check due `delayMs` after now. The game's hooks make it once it is due (no
// thread of its own: one that a game ends while it starts can take the game down with it):
// CheckWrittenSitesIfDue answers true once it is made, or when none is due.
void CheckWrittenSitesLater(uint32_t delayMs);
bool CheckWrittenSitesIfDue() noexcept;

// Claims the process for this copy of Morvane (its module and log paths). False when
// another copy already has it: `activeModule` and `activeLog` then tell where that is.
bool ClaimProcess(const std::string& module, const std::string& log, std::string& activeModule,
                  std::string& activeLog);
// The name of the claim, for a game (or its simulation) starting afresh.
inline constexpr char kClaimVariable[] = "MORVANE_ACTIVE_COPY";

}  // namespace morvane
