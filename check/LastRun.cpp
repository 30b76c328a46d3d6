// The last run of Morvane in a game folder, from the newest log it left: beside a copy of
// Morvane.asi (the folder, scripts\ or plugins\) or, where the game folder refused it, in
// the player's local application data (one that names a plug-in in this folder). A fault
// that switched a hook off or ended the game is a warning, with what to send.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "CheckHost.h"
#include "Scan.h"
#include "config/Files.h"
#include "config/Settings.h"
#include "log/LogFile.h"

namespace morvane::check {

namespace {

namespace fs = std::filesystem;

struct FoundLog {
    std::string path;   // in the plug-in's form
    std::string shown;  // relative to the folder where it lies in it
    fs::file_time_type written;
};

fs::path Native(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }

// The newest log Morvane may have left for this folder, if any.
std::optional<FoundLog> NewestLog(const std::string& folder) {
    std::optional<FoundLog> newest;
    const auto consider = [&](const std::string& path, const std::string& shown) {
        std::error_code error;
        const fs::file_time_type written = fs::last_write_time(Native(path), error);
        if (!error && (!newest || written > newest->written)) newest = FoundLog{path, shown, written};
    };
    for (const char* under : kLoaderFolders) {
        const std::string relative = SystemPath(std::string(under) + kLogFile);
        consider(folder + kSeparator + relative, relative);
    }
    if (const char* data = std::getenv("LOCALAPPDATA")) {
        const std::string path = std::string(data) + kSeparator + kUserLogFolder + kSeparator + kLogFile;
        // The first line names the plug-in that wrote it: one in this folder.
        const std::string log = ReadWholeFile(path);
        if (log.substr(0, log.find('\n')).find(", " + folder + kSeparator) != std::string::npos) consider(path, path);
    }
    return newest;
}

// The text between `before` and `after` in `line`, or "".
std::string Between(const std::string& line, const std::string& before, const std::string& after) {
    const size_t start = line.find(before);
    if (start == std::string::npos) return "";
    const size_t end = line.find(after, start + before.size());
    return end == std::string::npos ? "" : line.substr(start + before.size(), end - start - before.size());
}

constexpr char kSendLogs[] = "send Morvane.log and Morvane.previous.log with a bug report";

}  // namespace

void CheckLastRun(const std::string& folder, bool pluginHere, std::ostream& out, WarningList& warnings) {
    const std::optional<FoundLog> log = NewestLog(folder);
    if (!log) {
        if (pluginHere) out << "Last run: no " << kLogFile << ": the game has not started Morvane yet (an ASI loader "
                               "starts it with the game)\n";
        return;
    }
    std::istringstream lines(ReadWholeFile(log->path));
    std::string line, started = "at an unknown time", state = "ended before start-up did";
    std::vector<std::pair<std::string, std::string>> faults;  // what the warning says, of which hook
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const size_t at = line.find(", started "); at != std::string::npos && started[0] == 'a') {
            started = "started " + line.substr(at + 10);
        }
        if (line.starts_with("state: ")) state = line.substr(7);
        if (line.find(": conflict, Morvane stays inactive") != std::string::npos) state = "inactive: " + line;
        if (line.find(", not the supported ") != std::string::npos) state = "inactive: the game is not Kavra 1.4 English";
        const std::string hook = Between(line, "hook '", "' at ");
        if (!TellsAFault(line)) continue;
        if (line.find(": contained, the game goes on and the hook is switched off") != std::string::npos) {
            faults.emplace_back("a fault in Morvane's hook '" + hook + "' switched it off: it did nothing more", hook);
        } else {
            // Code not Morvane's is named by its module ("at kavra.exe+0x..., called from"), or
            // was called the game's by older logs, whatever module held it.
            const std::string place = Between(line, " at ", ", called from ");
            std::string in = "Morvane's hook '";
            if (line.find(" in game code ") != std::string::npos) in = "the game's code under " + in;
            else if (!place.empty())
                in = (place.rfind("+0x") != std::string::npos ? place.substr(0, place.rfind("+0x")) + "'s code"
                                                               : "memory allocated at run time") + " under " + in;
            faults.emplace_back("a fault in " + in + hook + "' ended the game", hook);
        }
    }
    out << "Last run: " << Printable(log->shown) << ", " << Printable(started) << ": " << Printable(state) << "\n";
    for (const auto& [what, hook] : faults) {
        out << "  " << Printable(what) << "\n";
        warnings.Add(Trap::LastRun, log->shown, 0, "in the last run (" + started + "), " + what, kSendLogs);
    }
}

}  // namespace morvane::check
