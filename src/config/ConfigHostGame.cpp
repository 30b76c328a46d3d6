// The configuration code bound to the game: names hash and resolve through the game's own
// routines, the steering angle goes into the game's global, settings lie beside the
// plug-in, each file read is told in the start-up journal, and the lines that do not take
// effect as written are counted for it.
#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "config/ConfigHost.h"
#include "config/Files.h"
#include "config/LineJudge.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "host/Host.h"
#include "log/LogFile.h"

namespace morvane {

namespace {

uint32_t GameStringHash(const char* text) { return host::HostStringHash(text); }
const char* GameCarTypeName(int32_t carType) { return host::HostCarTypeName(carType); }
void GameSetSteeringAngle(float angle) { *host::HostSteeringAngle = angle; }

// The lines of Morvane.ini and of the car profiles that do not take effect as written,
// counted file by file as start-up reads them (a reload of live profiles counts none).
// The words of the first of them are kept for the log. Only the file being read has its
// judge: the next file read, or the count asked for, ends it, and its count is what stays.
constexpr size_t kLinesTold = 20;
std::string tallyPath;
std::unique_ptr<LinesNotAsWritten> tally;
size_t counted = 0;
std::vector<std::string> linesTold;
std::atomic<bool> tallying{true};

// "Morvane.ini", "MorvaneCars\\SUPRA": the file as a player finds it in the game folder.
std::string FileLabel(const std::string& path, FileKind kind) {
    const size_t name = path.find_last_of('\\') + 1;
    return (kind == FileKind::Profile ? std::string(kProfileDirectory) + "\\" : std::string()) + path.substr(name);
}

void EndTally() {
    const std::unique_ptr<LinesNotAsWritten> ended = std::move(tally);
    if (!ended) return;
    counted += ended->count();
    if (const size_t cut = ended->textsCut()) {
        Journal("settings file " + tallyPath + ": " + std::to_string(cut) +
                (cut == 1 ? " value longer than " : " values longer than ") + std::to_string(kMaxTextLength) +
                (cut == 1 ? " bytes is" : " bytes are") + " cut to that length (the first at line " +
                std::to_string(ended->firstTextCut()) + ")");
    }
}

IniLineObserver* TallyLines(const std::string& path) {
    if (!tallying) return nullptr;
    try {
        EndTally();
        const std::optional<FileKind> kind = SettingsFileKind(path);
        if (!kind) return nullptr;
        tallyPath = path;
        tally = std::make_unique<LinesNotAsWritten>(*kind, FileLabel(path, *kind), linesTold, kLinesTold);
        return tally.get();
    } catch (...) {
        return nullptr;  // no memory: the count is only for the log
    }
}

// What start-up leaves out over a limit: the first few, in the journal's closing lines,
// so that a full journal still tells them (MorvaneCheck tells each). A reload tells
// nothing again.
size_t leftOutTold = 0;

void JournalLeftOut(const std::string& where, const std::string& what) {
    constexpr size_t kTold = 3;
    if (!tallying) return;
    if (leftOutTold < kTold) Journal("left out: " + where + ": " + what, true);
    if (leftOutTold == kTold) Journal("left out: more, over the reading limits; MorvaneCheck.exe tells each", true);
    ++leftOutTold;
}

}  // namespace

// Why a settings file gave nothing: asked only then.
const char* WhyNothingRead(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ExactPath(path).c_str(), GetFileExInfoStandard, &data)) return "missing";
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder, not a file";
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (size == 0) return "empty";
    return "unreadable";
}

namespace {

// The files read so that had content: live profiles take one of them found empty for one
// an editor is saving.
std::vector<std::string> filesWithContent;

void JournalFileRead(const std::string& path, const std::string& content) {
    try {
        if (!content.empty()) filesWithContent.push_back(path);
    } catch (...) {
        // No memory for the record: live profiles take this file as written if they find it empty.
    }
    if (content.empty()) {
        Journal("settings file " + path + ": " + WhyNothingRead(path) + "; its defaults apply");
        return;
    }
    const bool utf16 = content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF");
    Journal("settings file " + path + ": read" + (utf16 ? " (UTF-16, decoded)" : ""));
}

std::atomic<SettingsFileListener> fileListener{&JournalFileRead};

void TellFileRead(const std::string& path, const std::string& content) { fileListener.load()(path, content); }

}  // namespace

std::vector<std::string> SettingsFilesReadWithContent() { return filesWithContent; }

void SetSettingsFileListener(SettingsFileListener listener) {
    tallying = listener == nullptr;
    fileListener = listener ? listener : &JournalFileRead;
}

// The folder of the game's executable.
std::string GameFolder() {
    const std::string path = ExecutablePath();
    return path.substr(0, path.rfind('\\') + 1);
}

constinit const ConfigHost configHost{&GameStringHash, &GameCarTypeName, &GameSetSteeringAngle, &PluginModulePath,
                                      &GameFolder, &TallyLines, &TellFileRead, &JournalLeftOut};

size_t SettingsLinesNotAsWritten(std::vector<std::string>& told) {
    try {
        EndTally();
    } catch (...) {
        // No memory for the journal's line: the count still stands.
    }
    told.swap(linesTold);
    return counted;
}

}  // namespace morvane
