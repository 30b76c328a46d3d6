#include "live/LiveProfiles.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <utility>

#include "config/ConfigHost.h"
#include "config/Files.h"
#include "config/Lookups.h"
#include "live/Reload.h"
#include "log/LogFile.h"
#include "patch/HookMarks.h"
#include "patch/ForeignHooks.h"

namespace morvane {

namespace {

// While replaced configurations wait to be freed, the game's threads are looked at again
// this often.
constexpr DWORD kFreeAgainMs = 100;

// A change the system tells a moment after it is made is still heard as one that came
// while the files were read.
constexpr DWORD kLateNewsMs = 50;

// What the files gave when they were read again.
struct Reading {
    std::vector<std::string> troubles;
    std::vector<std::string> filled;   // the files that had content
    std::vector<std::string> emptied;  // found empty, though they had content in the configuration in force
    const std::vector<std::string>* filledBefore = nullptr;  // the files with content in that one, sorted
};
Reading reading;

// A file gone is no trouble here (a profile deleted, the sibling's file absent): what
// must stay, Morvane.ini and MorvaneCars, is looked for apart. An editor that saves a file
// in place empties it first: a file found empty that had content is read again later.
void NoteFileRead(const std::string& path, const std::string& content) {
    if (!content.empty()) {
        reading.filled.push_back(path);
        return;
    }
    const std::string why = WhyNothingRead(path);
    if (why == "empty" && std::binary_search(reading.filledBefore->begin(), reading.filledBefore->end(), path)) {
        reading.emptied.push_back(path);
        reading.troubles.push_back(path + ": emptied, as while an editor saves it");
    } else if (why != "empty" && why != "missing") {
        reading.troubles.push_back(path + ": " + why);
    }
}

void Tell(const std::string& text) noexcept {
    LogLine line;
    line.TimeAndProcess() << " live profiles: " << text;
    line.Append();
}

// A change the settings care for, by its name in the plug-in's folder: Morvane.ini, the
// sibling's file and MorvaneCars (anything in MorvaneCars counts).
bool Relevant(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
    return name == L"morvane.ini" || name == L"kavra.widescreenfix.ini" || name == L"morvanecars";
}

std::string Narrow(const std::wstring& name) {
    std::string text;
    NarrowName(name.c_str(), CP_UTF8, text);
    return text;
}

// One folder, with a request for its changes always outstanding: what changes while the
// files are read is kept for the next look. `prefix` goes before the names it tells
// ("MorvaneCars\\"); in a folder that is all settings, every change counts.
class FolderWatch {
public:
    FolderWatch(const std::string& path, std::string prefix, bool allRelevant)
        : prefix_(std::move(prefix)), allRelevant_(allRelevant) {
        folder_ = CreateFileW(ExactPath(path).c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (folder_ != INVALID_HANDLE_VALUE && !Ask()) Close();
    }
    ~FolderWatch() {
        Close();
        CloseHandle(overlapped_.hEvent);
    }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool watching() const { return folder_ != INVALID_HANDLE_VALUE; }
    HANDLE event() const { return overlapped_.hEvent; }

    // After its event: whether the changes concern the settings (their names added to
    // `changed`, up to a few); asks for the next ones at once.
    bool TakeChanges(std::vector<std::string>& changed) {
        DWORD size = 0;
        // An error or a full buffer tells no names: anything may have changed.
        bool relevant = GetOverlappedResult(folder_, &overlapped_, &size, FALSE) == 0 || size == 0;
        asked_ = false;
        for (DWORD at = 0; size != 0;) {
            const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (allRelevant_ || Relevant(name)) {
                relevant = true;
                const std::string text = prefix_ + Narrow(name);
                if (changed.size() < 4 && std::find(changed.begin(), changed.end(), text) == changed.end())
                    changed.push_back(text);
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
        if (!Ask()) Close();
        return relevant;
    }

private:
    bool Ask() {
        ResetEvent(overlapped_.hEvent);
        const DWORD changes = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                              FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
        asked_ = ReadDirectoryChangesW(folder_, buffer_, sizeof buffer_, FALSE, changes, nullptr, &overlapped_, nullptr);
        return asked_;
    }
    // The system writes into the buffer and the OVERLAPPED until the request outstanding
    // has ended, even one the closing of the folder ends: it is ended, and waited for,
    // before they may go.
    void Close() {
        if (folder_ == INVALID_HANDLE_VALUE) return;
        if (asked_) {
            DWORD size = 0;
            CancelIoEx(folder_, &overlapped_);
            GetOverlappedResult(folder_, &overlapped_, &size, TRUE);
            asked_ = false;
        }
        CloseHandle(folder_);
        folder_ = INVALID_HANDLE_VALUE;
    }

    std::string prefix_;
    bool allRelevant_;
    bool asked_ = false;  // a request for changes is outstanding
    HANDLE folder_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_{};
    alignas(DWORD) uint8_t buffer_[16384];
};

// The plug-in's folder, and MorvaneCars apart, watched whenever it is there: it may come
// and go, and a handle kept on a deleted one would keep it in being.
struct Watcher {
    LiveReader reader;
    std::string profileFolder;
    FolderWatch watch;
    std::unique_ptr<FolderWatch> profiles;
    ReloadSchedule schedule;
    std::vector<std::string> changed;  // since the last reading that put the files in force
    bool troubleTold = false;          // since the last change
};

// MorvaneCars, watched afresh: the names it tells are below it, and all of them count.
std::unique_ptr<FolderWatch> WatchProfileFolder(const std::string& path) {
    return std::make_unique<FolderWatch>(path, std::string(kProfileDirectory) + "\\", true);
}

// "MorvaneCars\CAR, Morvane.ini", or "the files" when no name was told.
std::string Names(const std::vector<std::string>& changed) {
    std::string names;
    for (const std::string& name : changed) names += (names.empty() ? "" : ", ") + name;
    return names.empty() ? "the files" : names;
}

// Takes the changes `watch` saw; those that concern the settings start the schedule afresh:
// whether there were such.
bool HearChanges(Watcher& w, FolderWatch& watch) {
    bool relevant = true;  // no memory for the names: read all the same
    try {
        relevant = watch.TakeChanges(w.changed);
    } catch (...) {
    }
    if (relevant) {
        w.schedule.Changed(GetTickCount64());
        w.troubleTold = false;
    }
    return relevant;
}

// Whether a change that concerns the settings was heard by now, or is within a moment.
// Other files of the plug-in's folder (logs, other plug-ins' files) may change all the
// while: their changes are taken here and do not count.
bool ChangeHeard(Watcher& w) {
    const HANDLE events[] = {w.watch.event(), w.profiles->event()};
    for (const uint64_t until = GetTickCount64() + kLateNewsMs;;) {
        const uint64_t now = GetTickCount64();
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, now < until ? static_cast<DWORD>(until - now) : 0);
        if (woken != WAIT_OBJECT_0) return woken != WAIT_TIMEOUT;  // MorvaneCars: every change counts
        if (HearChanges(w, w.watch)) return true;
    }
}

void ReadDue(Watcher& w) {
    // What MorvaneCars' watch heard since the loop looked is the loop's to take first.
    if (WaitForSingleObject(w.profiles->event(), 0) == WAIT_OBJECT_0) return;
    // MorvaneCars is let go, then watched afresh, before the files are read: a watch would
    // keep a folder deleted meanwhile in being.
    w.profiles.reset();
    w.profiles = WatchProfileFolder(w.profileFolder);
    std::string trouble;
    LiveReader::Outcome outcome = LiveReader::Outcome::Unreadable;
    try {
        outcome = w.reader.ReadAndPublish(trouble, [&w] { return ChangeHeard(w); });
    } catch (...) {
        trouble = "the files could not be read (out of memory)";
    }
    // The loop takes the change, and the files are read a quiet period after it.
    if (outcome == LiveReader::Outcome::ChangedMeanwhile) return;
    switch (w.schedule.Read(GetTickCount64(), outcome == LiveReader::Outcome::InForce)) {
    case ReloadSchedule::After::Done:
        Tell("read again after a change to " + Names(w.changed) + ": " + std::to_string(w.reader.profiles()) +
             " car profiles in force");
        if (const std::string restart = w.reader.RestartNews(); !restart.empty()) Tell("restart the game for: " + restart);
        w.changed.clear();
        CheckWrittenSites("while the game runs");  // other plug-ins' changes, told as they are found
        break;
    case ReloadSchedule::After::TryAgain:
        if (!w.troubleTold) Tell(trouble + ": the last good settings stay; tried again for up to a minute");
        w.troubleTold = true;
        break;
    case ReloadSchedule::After::GiveUp:
        Tell(trouble + ": still so a minute after the last change: the last good settings stay until the files "
                       "change again");
        // A file left empty that long is meant so: the next reading takes it as it is.
        w.reader.AcceptEmptied();
        w.changed.clear();
        break;
    }
}

DWORD WINAPI WatchFolder(void* argument) {
    Watcher& w = *static_cast<Watcher*>(argument);
    for (;;) {
        if (!w.profiles->watching()) {
            // Watched again (a new MorvaneCars, or one the watch had let go): what changed
            // meanwhile was heard by no one, so the files are read.
            w.profiles.reset();
            w.profiles = WatchProfileFolder(w.profileFolder);
            if (w.profiles->watching()) w.schedule.Changed(GetTickCount64());
        }
        const uint64_t now = GetTickCount64();
        const std::optional<uint64_t> readAt = w.schedule.ReadAt();
        DWORD wait = !readAt ? INFINITE : *readAt > now ? static_cast<DWORD>(*readAt - now) : 0;
        if (w.reader.retired().waiting() != 0 && wait > kFreeAgainMs) wait = kFreeAgainMs;
        const HANDLE events[] = {w.watch.event(), w.profiles->event()};
        const DWORD woken = WaitForMultipleObjects(w.profiles->watching() ? 2 : 1, events, FALSE, wait);
        if (woken == WAIT_OBJECT_0) {
            HearChanges(w, w.watch);
            if (!w.watch.watching()) {
                Tell("the plug-in's folder cannot be watched any more: car profiles stay as last read");
                return 0;
            }
            continue;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            // MorvaneCars is let go after each of its changes, so that a folder being deleted
            // is not kept in being, and watched again at once.
            HearChanges(w, *w.profiles);
            w.profiles.reset();
            w.profiles = WatchProfileFolder(w.profileFolder);
            continue;
        }
        if (woken != WAIT_TIMEOUT) return 0;
        if (w.reader.retired().waiting() != 0) w.reader.retired().TryToFree();
        const std::optional<uint64_t> due = w.schedule.ReadAt();
        if (due && *due <= GetTickCount64()) ReadDue(w);
    }
}

// No exception leaves the thread: without memory the watch ends, and profiles stay as read.
DWORD WINAPI WatchFolderGuarded(void* argument) {
    ReadConfigurationFreely();  // it builds and retires them
    try {
        return WatchFolder(argument);
    } catch (...) {
        LogLine line;  // no heap
        line << "live profiles: out of memory, the watch ends; car profiles stay as last read";
        line.Append();
        return 0;
    }
}

}  // namespace

LiveReader::LiveReader(std::string folder, const PluginSettings& startup, int32_t startupShadowFix)
    : folder_(std::move(folder)), startup_(startup), startupShadowFix_(startupShadowFix),
      filled_(SettingsFilesReadWithContent()) {
    std::sort(filled_.begin(), filled_.end());
}

LiveReader::Outcome LiveReader::ReadAndPublish(std::string& trouble, const std::function<bool()>& changedMeanwhile) {
    // Morvane.ini and MorvaneCars, where the last good reading found them, must be there:
    // one being replaced, or a folder being moved, is read again later.
    for (const auto& [wanted, name] : {std::pair{settingsFileFound_, kGlobalSettingsFile},
                                       std::pair{profileFolderFound_, kProfileDirectory}}) {
        if (wanted && !PathExists(folder_ + name)) {
            trouble = folder_ + name + " is missing";
            return Outcome::Unreadable;
        }
    }
    reading = Reading{};
    reading.filledBefore = &filled_;
    SetSettingsFileListener(&NoteFileRead);
    ReadAgain read;
    try {
        read = ReadConfigurationAgain(folder_, startup_, startupShadowFix_);
    } catch (...) {
        reading.troubles.push_back("the files could not be read (out of memory)");
    }
    SetSettingsFileListener(nullptr);
    emptied_ = std::move(reading.emptied);
    if (!reading.troubles.empty()) {
        trouble = reading.troubles.front();
        return Outcome::Unreadable;
    }
    if (changedMeanwhile()) return Outcome::ChangedMeanwhile;
    auto fresh = std::make_unique<Configuration>(Configuration{read.global.get(), read.profiles.get()});
    PublishConfiguration(fresh.get());
    read.global.release();
    read.profiles.release();
    profiles_ = fresh->profiles->size();
    // The configuration start-up built stays; one this reader put in force goes once no
    // hook can hold it.
    if (const Configuration* replaced = std::exchange(published_, fresh.release())) {
        retired_.Retire([replaced] {
            delete replaced->global;
            delete replaced->profiles;
            delete replaced;
        });
    }
    settingsFileFound_ = PathExists(folder_ + kGlobalSettingsFile);
    profileFolderFound_ = PathExists(folder_ + kProfileDirectory);
    restartFor_.clear();
    for (const std::string& setting : read.restartFor) restartFor_ += (restartFor_.empty() ? "" : ", ") + setting;
    filled_ = std::move(reading.filled);
    std::sort(filled_.begin(), filled_.end());
    return Outcome::InForce;
}

void LiveReader::AcceptEmptied() {
    std::erase_if(filled_, [this](const std::string& path) {
        return std::find(emptied_.begin(), emptied_.end(), path) != emptied_.end();
    });
    emptied_.clear();
}

std::string LiveReader::RestartNews() {
    if (restartFor_ == restartTold_) return "";
    restartTold_ = restartFor_;
    return restartFor_;
}

bool StartLiveProfiles(const std::string& folder, int32_t startupShadowFix) {
    const PluginSettings* startup = GlobalSettings();
    if (startup == nullptr) return false;
    // Armed here, before the game goes on: no change after start-up's reading is missed
    // while the thread starts.
    // The thread owns the watcher once it runs; until then, this does.
    std::unique_ptr<Watcher> watcher;
    try {
        watcher.reset(new Watcher{LiveReader(folder, *startup, startupShadowFix), folder + kProfileDirectory,
                                  FolderWatch(folder, "", false), WatchProfileFolder(folder + kProfileDirectory),
                                  {}, {}, false});
    } catch (...) {
        return false;
    }
    if (!watcher->watch.watching()) return false;
    HANDLE thread = CreateThread(nullptr, 0, &WatchFolderGuarded, watcher.get(), 0, nullptr);
    if (thread == nullptr) return false;
    watcher.release();
    CloseHandle(thread);
    return true;
}

}  // namespace morvane
