#include "startup/SecondCopy.h"

#include <windows.h>

#include "config/Files.h"

namespace morvane {

bool ClaimProcess(const std::string& module, const std::string& log, std::string& activeModule,
                  std::string& activeLog) {
    // "<process id>|<module>|<log>": a child process inherits the variable, not the claim.
    // Kept as UTF-16, so that paths in any language come back whole.
    const std::string self = std::to_string(GetCurrentProcessId());
    const std::wstring variable = WideName(kClaimVariable, CP_UTF8);
    std::wstring value(GetEnvironmentVariableW(variable.c_str(), nullptr, 0), L'\0');
    const DWORD length = GetEnvironmentVariableW(variable.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length > 0 && length < value.size()) {
        const std::string claim = Utf8(std::wstring_view(value.data(), length));
        const size_t first = claim.find('|'), second = claim.find('|', first + 1);
        if (first != std::string::npos && second != std::string::npos && claim.substr(0, first) == self) {
            activeModule = claim.substr(first + 1, second - first - 1);
            activeLog = claim.substr(second + 1);
            return false;
        }
    }
    SetEnvironmentVariableW(variable.c_str(), WideName(self + "|" + module + "|" + log, CP_UTF8).c_str());
    return true;
}

}  // namespace morvane
