#include "startup/SecondCopy.h"

#include <windows.h>

namespace morvane {

bool ClaimProcess(const std::string& module, const std::string& log, std::string& activeModule,
                  std::string& activeLog) {
    // "<process id>|<module>|<log>": a child process inherits the variable, not the claim.
    const std::string self = std::to_string(GetCurrentProcessId());
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(kClaimVariable, value, sizeof value);
    if (length > 0 && length < sizeof value) {
        const std::string claim(value, length);
        const size_t first = claim.find('|'), second = claim.find('|', first + 1);
        if (first != std::string::npos && second != std::string::npos && claim.substr(0, first) == self) {
            activeModule = claim.substr(first + 1, second - first - 1);
            activeLog = claim.substr(second + 1);
            return false;
        }
    }
    SetEnvironmentVariableA(kClaimVariable, (self + "|" + module + "|" + log).c_str());
    return true;
}

}  // namespace morvane
