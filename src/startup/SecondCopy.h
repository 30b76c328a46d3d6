#pragma once
// A second copy of Morvane in the same game stays out and says where the active copy is.
#include <string>

namespace morvane {

// Claims the process for this copy of Morvane (its module and log paths). False when
// another copy already has it: `activeModule` and `activeLog` then tell where that is.
bool ClaimProcess(const std::string& module, const std::string& log, std::string& activeModule,
                  std::string& activeLog);
// The name of the claim, for a game (or its simulation) starting afresh.
inline constexpr char kClaimVariable[] = "MORVANE_ACTIVE_COPY";

}  // namespace morvane
