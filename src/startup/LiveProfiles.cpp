#include "startup/LiveProfiles.h"

#include <windows.h>

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigHost.h"
#include "config/IniFile.h"
#include "config/Reload.h"
#include "log/LogFile.h"

namespace morvane {

namespace {

// A file that gave nothing and must be read again: locked, half written, too large...
constexpr int kReadAgainAttempts = 3;


struct FolderWatch;
struct Watch {
    std::string folder;
    int32_t startupShadowFix;
    const PluginSettings* startup;
    std::string lastTold;  // the last restart message, told once
    // The plug-in's folder; MorvaneCars apart, for it may come and go. Its handle is opened
    // afresh after each of its changes, so that it never keeps a deleted folder in being.
    std::unique_ptr<FolderWatch> plugin, profiles;
};

// What the files gave when they were read again.
std::vector<std::string> troubles;

// A file gone is no trouble here (a profile deleted, the sibling's file absent): what
// must stay, Morvane.ini and MorvaneCars, is looked for apart.
void NoteTrouble(const std::string& path, const std::string& content) {
    if (!content.empty()) return;
    const std::string why = WhyNothingRead(path);
    if (why != "empty" && why != "missing") troubles.push_back(path + ": " + why);
}

void Tell(const std::string& text) {
    LogLine line;
    line.Time() << " live profiles: " << text;
    line.Append();
}

bool Exists(const std::string& path) { return GetFileAttributesW(ExactPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Morvane.ini and MorvaneCars, where the last good reading found them.
struct Expected {
    bool settingsFile, profileFolder;
};
Expected Found(const Watch& watch) {
    return {Exists(watch.folder + kGlobalSettingsFile), Exists(watch.folder + kProfileDirectory)};
}

// Reads the files again and puts what they give in force; false when they must be read
// again after the next quiet period (the last good configuration stays meanwhile).
bool ReadAgainAndPublish(Watch& watch, const Expected& expected) {
    troubles.clear();
    for (const auto& [wanted, name] : {std::pair{expected.settingsFile, kGlobalSettingsFile},
                                       std::pair{expected.profileFolder, kProfileDirectory}}) {
        if (wanted && !Exists(watch.folder + name)) {
            Tell(watch.folder + name + " is missing: the last good settings stay");
            return false;
        }
    }
    SetSettingsFileListener(&NoteTrouble);
    ReadAgain read;
    try {
        read = ReadConfigurationAgain(*watch.startup, watch.startupShadowFix);
    } catch (...) {
        troubles.push_back("the files could not be read (out of memory)");
    }
    SetSettingsFileListener(nullptr);
    if (!troubles.empty()) {
        Tell(troubles.front() + ": the last good settings stay, read again after the next quiet period");
        return false;
    }
    const size_t profiles = read.profiles->size();
    // Kept until the process ends: a hook may hold any configuration it took.
    PublishConfiguration(new Configuration{read.global.release(), read.profiles.release()});
    Tell("read again: " + std::to_string(profiles) + " car profiles in force");
    std::string restart;
    for (const std::string& setting : read.restartFor) restart += (restart.empty() ? "" : ", ") + setting;
    if (!restart.empty() && restart != watch.lastTold) Tell("restart the game for: " + restart);
    watch.lastTold = restart;
    return true;
}

// A change the watch cares for: in the plug-in's folder Morvane.ini, the sibling's file and
// MorvaneCars itself; anything in MorvaneCars.
bool Relevant(std::wstring name, bool inProfileFolder) {
    if (inProfileFolder) return true;
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
    return name == L"morvane.ini" || name == L"kavra.widescreenfix.ini" || name == L"morvanecars";
}

// One folder watched for changes, with a request for them always outstanding.
struct FolderWatch {
    FolderWatch(const std::string& path, bool profileFolder) : profileFolder_(profileFolder) {
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

    // After its event: whether the changes concern the settings; asks for the next ones.
    bool TakeChanges() {
        DWORD size = 0;
        bool relevant = GetOverlappedResult(folder_, &overlapped_, &size, FALSE) == 0 || size == 0;
        for (DWORD at = 0; size != 0 && !relevant;) {
            const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
            relevant = Relevant(std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)), profileFolder_);
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
        return ReadDirectoryChangesW(folder_, buffer_, sizeof buffer_, FALSE, changes, nullptr, &overlapped_, nullptr);
    }
    void Close() {
        if (folder_ != INVALID_HANDLE_VALUE) CloseHandle(folder_);
        folder_ = INVALID_HANDLE_VALUE;
    }

    bool profileFolder_;
    HANDLE folder_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_{};
    alignas(DWORD) uint8_t buffer_[8192];
};

DWORD WINAPI WatchFolder(void* argument) {
    Watch& watch = *static_cast<Watch*>(argument);
    FolderWatch& plugin = *watch.plugin;
    std::unique_ptr<FolderWatch>& profiles = watch.profiles;
    const std::string profileFolder = watch.folder + kProfileDirectory;
    Expected expected = Found(watch);
    // While a change waits, the time the files are to be read: a quiet period after the
    // last change that concerns them (changes to other files, the log among them, do not
    // put it off).
    bool pending = false;
    ULONGLONG readAt = 0;
    int attemptsLeft = kReadAgainAttempts;
    for (;;) {
        if (!profiles || !profiles->watching()) profiles = std::make_unique<FolderWatch>(profileFolder, true);
        const HANDLE events[] = {plugin.event(), profiles->event()};
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = !pending ? INFINITE : readAt > now ? static_cast<DWORD>(readAt - now) : 0;
        const DWORD woken = WaitForMultipleObjects(profiles->watching() ? 2 : 1, events, FALSE, wait);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 1) {
            const bool inProfiles = woken == WAIT_OBJECT_0 + 1;
            if ((inProfiles ? *profiles : plugin).TakeChanges()) {
                pending = true;
                readAt = GetTickCount64() + kQuietPeriodMs;
                attemptsLeft = kReadAgainAttempts;
            }
            if (inProfiles) {
                profiles.reset();
                profiles = std::make_unique<FolderWatch>(profileFolder, true);
            }
            if (!plugin.watching()) return 0;
            continue;
        }
        if (woken != WAIT_TIMEOUT) return 0;
        // MorvaneCars is let go while the files are read: a folder being deleted is gone then.
        profiles.reset();
        if (ReadAgainAndPublish(watch, expected)) {
            expected = Found(watch);
            pending = false;
        } else {
            pending = --attemptsLeft > 0;
            readAt = GetTickCount64() + kQuietPeriodMs;
        }
    }
}

}  // namespace

bool StartLiveProfiles(const std::string& folder, int32_t startupShadowFix) {
    const PluginSettings* startup = GlobalSettings();
    if (startup == nullptr) return false;
    // Armed here, before the game goes on: no change after start-up's reading is missed
    // while the thread starts.
    auto* watch = new Watch{folder, startupShadowFix, startup, {}, std::make_unique<FolderWatch>(folder, false),
                            std::make_unique<FolderWatch>(folder + kProfileDirectory, true)};
    if (!watch->plugin->watching()) return false;
    HANDLE thread = CreateThread(nullptr, 0, &WatchFolder, watch, 0, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}

}  // namespace morvane
