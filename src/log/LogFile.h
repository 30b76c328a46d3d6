#pragma once
// Morvane.log, beside the plug-in (or, where its folder refuses it, in the player's local
// application data): written anew at each start, in one write at the end of start-up (the
// start-up journal), the last run's log kept beside it as Morvane.previous.log (unless the
// one kept there told a fault or failure and the last run's told none), then appended to by
// the rare events after it: a
// failure contained for the first time at its place, a fault in the plug-in's code, a
// site another module took over, the failure counts at exit. Appends take no heap and no
// lock; the file stays under kMaxLogSize. A log that cannot be written is left alone:
// the plug-in goes on without it.
#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

inline constexpr char kLogFile[] = "Morvane.log";
// The folder in the player's local application data that holds the log where the
// plug-in's folder refuses it.
inline constexpr char kUserLogFolder[] = "Morvane";
constexpr uint32_t kMaxLogSize = 64 * 1024;

// Whether a line of a log (or a log's text) tells a fault ("06:31:05 fault 0x...", or
// "fault 0x..." as older logs wrote it), for those who read logs: start-up, which keeps a
// run that ended in one, and MorvaneCheck.
inline bool TellsAFault(std::string_view text) {
    return text.starts_with("fault 0x") || text.find(" fault 0x") != std::string_view::npos ||
           text.find("\nfault 0x") != std::string_view::npos;
}

// Where the log goes: the full path as the file system takes it exactly, and as shown.
// Never set, or set empty: no log.
void SetLogPath(const std::wstring& exactPath, const std::string& shown);
// "Log = 0": nothing is written from now on.
void DisableLog();
bool LogEnabled();
// The log's path as set, for a message that names it.
std::string LogPath();

// Adds a line to the start-up journal (the loader's thread only). Past most of the log's
// cap lines are left out, with one line that says so; the room left is for the closing
// lines, added with `closing` set.
void Journal(std::string_view line, bool closing = false);
// The journal so far.
const std::string& JournalText();
// Writes the journal as the whole log. The first time in a process the log that was there
// is kept as the previous run's ("Morvane.previous.log"), unless that one told a fault and
// this one did not. False when it could not be written.
bool WriteJournal() noexcept;

// A line built without the heap and appended to the log, from any thread.
class LogLine {
public:
    LogLine& operator<<(const char* text) noexcept;
    LogLine& operator<<(std::string_view text) noexcept;
    LogLine& Hex(uint32_t value) noexcept;  // 0x0085EAEC
    LogLine& Decimal(uint32_t value) noexcept;
    // The local time, "06:31:05"; with the date first, "2026-12-08 06:31:05".
    LogLine& Time(bool withDate = false) noexcept;
    // The time and the process, "06:31:05 process 1234:", for the lines a game appends while
    // it runs: two games started from one folder write to one log.
    LogLine& TimeAndProcess() noexcept;
    // Ends the line and appends it, unless the log would pass its cap. A line is appended
    // once: text added after, and a second Append, are ignored.
    void Append() noexcept;
    std::string_view text() const { return {text_, size_}; }

private:
    char text_[640];
    uint32_t size_ = 0;
    bool ended_ = false;
};

}  // namespace morvane
