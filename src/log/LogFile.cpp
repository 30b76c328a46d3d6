#include "log/LogFile.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

namespace morvane {

namespace {

// The path is kept in a fixed buffer, so that an append needs no heap; it holds the
// longest path Windows takes.
wchar_t logPath[32768];
std::string logPathText;
std::atomic<bool> enabled{false};
std::string journal;

HANDLE OpenLog(DWORD access, DWORD disposition) {
    return CreateFileW(logPath, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void SetLogPath(const std::wstring& exactPath, const std::string& shown) {
    logPathText = shown;
    if (exactPath.empty() || exactPath.size() >= std::size(logPath)) {
        enabled = false;
        return;
    }
    std::memcpy(logPath, exactPath.c_str(), (exactPath.size() + 1) * sizeof(wchar_t));
    enabled = true;
}

void DisableLog() { enabled = false; }
bool LogEnabled() { return enabled; }
std::string LogPath() { return logPathText; }

void Journal(std::string_view line, bool closing) {
    constexpr size_t kRoomForClosingLines = 4096;
    constexpr std::string_view kFull = "(the log is nearly full: the rest of start-up's lines are left out)\n";
    const size_t limit = closing ? kMaxLogSize : kMaxLogSize - kRoomForClosingLines;
    try {
        if (journal.size() + line.size() + 1 > limit) {
            if (!closing && !journal.ends_with(kFull)) journal += kFull;
            return;
        }
        journal.append(line);
        journal += '\n';
    } catch (...) {
        // Without memory the journal stays as it was: the log is a help, never a need.
    }
}

const std::string& JournalText() { return journal; }

namespace {

// Whether a log tells a fault or a failure contained: its run is worth keeping.
bool TellsAFaultOrFailure(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text(kMaxLogSize, '\0');
    DWORD size = 0;
    if (!ReadFile(file, text.data(), kMaxLogSize, &size, nullptr)) size = 0;
    CloseHandle(file);
    text.resize(size);
    return TellsAFault(text) || text.find("failure contained: ") != std::string::npos;
}

// The last run's log is kept beside the new one ("Morvane.log" as "Morvane.previous.log"),
// once per process and path: the run before it gives way, unless it told a fault and the last run
// did not, so that a run that ended in a fault is never the one dropped first.
void KeepPreviousRun() {
    static std::wstring keptFor;
    if (keptFor == logPath) return;
    keptFor = logPath;
    if (GetFileAttributesW(logPath) == INVALID_FILE_ATTRIBUTES) return;
    std::wstring previous = logPath;
    const size_t dot = previous.find_last_of(L'.');
    const size_t folder = previous.find_last_of(L'\\');
    previous.insert(dot != std::wstring::npos && (folder == std::wstring::npos || dot > folder) ? dot : previous.size(),
                    L".previous");
    if (TellsAFaultOrFailure(previous.c_str()) && !TellsAFaultOrFailure(logPath)) return;
    MoveFileExW(logPath, previous.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Whether another game that is running writes the log at `path` (two games started from
// one folder): each running game holds a named mutex for the log it writes, taken here once
// per process and path and held until the process ends, when Windows lets it go.
bool AnotherGameWrites(const wchar_t* path) {
    static std::vector<std::pair<std::wstring, bool>> held;  // each path's answer, as first given
    for (const auto& [heldPath, another] : held) {
        if (heldPath == path) return another;
    }
    // Windows matches file names whatever their case: so do the names of the mutexes.
    std::wstring upper = path;
    CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    uint32_t hash = 2166136261u;  // FNV-1a over the UTF-16 units
    for (const wchar_t unit : upper) hash = (hash ^ static_cast<uint16_t>(unit)) * 16777619u;
    wchar_t name[] = L"Local\\Morvane.log 00000000";
    for (int i = 0; i < 8; ++i) name[std::size(name) - 2 - i] = L"0123456789ABCDEF"[hash >> 4 * i & 0xF];
    const bool another = CreateMutexW(nullptr, FALSE, name) != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    held.emplace_back(path, another);
    return another;
}

}  // namespace

bool WriteJournal() noexcept {
    if (!enabled) return false;
    bool shared = false;
    try {
        // Beside a running game the log is that game's too: this journal follows its lines.
        shared = AnotherGameWrites(logPath);
        if (!shared) KeepPreviousRun();
    } catch (...) {  // without memory the last run's log is written over
    }
    HANDLE file = OpenLog(shared ? FILE_APPEND_DATA : GENERIC_WRITE, shared ? OPEN_ALWAYS : CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER there{};
    if (shared && !GetFileSizeEx(file, &there)) there.QuadPart = kMaxLogSize;
    const uint64_t room = kMaxLogSize - (there.QuadPart < kMaxLogSize ? there.QuadPart : kMaxLogSize);
    const DWORD size = static_cast<DWORD>(journal.size() < room ? journal.size() : room);
    DWORD written = 0;
    const bool ok = WriteFile(file, journal.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

LogLine& LogLine::operator<<(std::string_view text) noexcept {
    if (ended_) return *this;
    const uint32_t room = static_cast<uint32_t>(sizeof text_) - 1 - size_;
    uint32_t count = text.size() < room ? static_cast<uint32_t>(text.size()) : room;
    // Text cut to fit keeps whole UTF-8 characters.
    while (count < text.size() && count > 0 && (static_cast<uint8_t>(text[count]) & 0xC0) == 0x80) --count;
    std::memcpy(text_ + size_, text.data(), count);
    size_ += count;
    return *this;
}

LogLine& LogLine::operator<<(const char* text) noexcept { return *this << std::string_view(text ? text : "(none)"); }

LogLine& LogLine::Hex(uint32_t value) noexcept {
    char digits[11] = {'0', 'x'};
    for (int i = 0; i < 8; ++i) digits[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 0xF];
    return *this << std::string_view(digits, 10);
}

LogLine& LogLine::Decimal(uint32_t value) noexcept {
    char digits[10];
    int count = 0;
    do {
        digits[9 - count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return *this << std::string_view(digits + 10 - count, static_cast<size_t>(count));
}

LogLine& LogLine::TimeAndProcess() noexcept {
    Time() << " process ";
    return Decimal(GetCurrentProcessId()) << ":";
}

LogLine& LogLine::Time(bool withDate) noexcept {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const auto two = [this](uint32_t value) -> LogLine& {
        const char digits[2] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
        return *this << std::string_view(digits, 2);
    };
    if (withDate) {
        Decimal(now.wYear) << "-";
        two(now.wMonth) << "-";
        two(now.wDay) << " ";
    }
    two(now.wHour) << ":";
    two(now.wMinute) << ":";
    return two(now.wSecond);
}

void LogLine::Append() noexcept {
    if (ended_) return;
    ended_ = true;
    text_[size_++] = '\n';
    if (!enabled) return;
    HANDLE file = OpenLog(FILE_APPEND_DATA, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart + size_ <= kMaxLogSize) {
        DWORD written = 0;
        WriteFile(file, text_, size_, &written, nullptr);
    }
    CloseHandle(file);
}

}  // namespace morvane
