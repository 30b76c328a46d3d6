#pragma once
// What the parts of the checker share: each settings file as the plug-in's own reader
// read it, line by line, the roles start-up gave the files, and the warnings found, in
// the order found. The line checks (LineChecks.cpp), the rules (RuleChecks.cpp) and the
// report (Report.cpp) each start from one of the entry points below.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "Checker.h"
#include "config/IniReader.h"
#include "config/LineJudge.h"

namespace morvane::check {

// What the parser reported of one line, kept beyond the parse.
struct LineRecord {
    size_t number;
    bool header;
    std::string section;
    std::string key;
    std::string value;
    bool kept;
};

// One settings file as the plug-in's own reader read it, line by line.
struct ScannedFile final : IniLineObserver {
    std::string label;  // as shown: relative to the folder
    std::string path;   // as the plug-in resolved it
    bool exists = false;
    bool directory = false;
    IniReader reader;  // the sections the parse produced
    std::vector<LineRecord> lines;
    // The line of each value kept, by the value's address in `reader`.
    std::unordered_map<const std::string*, size_t> lineOfValue;

    explicit ScannedFile(const std::string& resolved);
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    // A file with content that the reader could not take in (unreadable, or too large).
    bool Unreadable() const;
    void Line(const IniLine& line) override;

    // The line that set `key` in `section` (the first occurrence), or 0.
    size_t LineOf(const std::string& section, const std::string& key) const;
    // The value kept for `key` in `section`, or null.
    const std::string* Stored(const std::string& section, const std::string& key) const;
    // "label:line", or the label alone for line 0.
    std::string Where(size_t line) const;
    // Where `key` of `section` was set, or "" when it was not.
    std::string Origin(const std::string& section, const std::string& key) const;
};

// The files the configuration code read, in the roles start-up gave them.
struct FolderRead {
    const ScannedFile* global = nullptr;
    std::vector<const ScannedFile*> profileFiles;  // the n-th made the n-th profile
};

// The warnings in the order found: the first kShownWarnings kept, the others counted.
class WarningList {
public:
    void Add(Trap trap, const ScannedFile& file, size_t line, std::string text, std::string fix);
    void Add(Trap trap, std::string file, size_t line, std::string text, std::string fix);
    const std::vector<Warning>& shown() const { return warnings_; }
    size_t notShown() const { return notShown_; }

private:
    std::vector<Warning> warnings_;
    size_t notShown_ = 0;
};

// ---- The game's files: kavra.exe and Morvane.asi for `folder` (in the plug-in's form),
// told as they are checked; settings beside no copy of the plug-in are warned of.
struct PluginPlace {
    std::string game;    // the game folder: the one checked, or the one above a loader's folder
    std::string folder;  // where the copy judged lies, and reads its settings (else the game folder)
    bool found = false;  // a Morvane.asi lies in the game folder, scripts or plugins
};
PluginPlace CheckGameFiles(const std::string& folder, std::ostream& out, WarningList& warnings);

// ---- Line checks: what each line of a file says, against the keys the plug-in reads.
// A file's kind is told by its path, as the plug-in tells it.
void CheckLines(const ScannedFile& file, WarningList& warnings);

// ---- Rules: what takes effect, as the plug-in's own rules and lookups decide it.
// The setting (`value`) of one sibling plug-in's file found, told as it is checked.
void CheckSibling(const ScannedFile& sibling, int32_t value, std::ostream& out, WarningList& warnings);
// Every file read, its lines and its rules, in reading order; the profiles are in force.
void CheckSettings(const FolderRead& read, WarningList& warnings);
// The features whose parts come from a part slot that no car, or not every car, has on.
void CheckFeatureSlots(const FolderRead& read, WarningList& warnings);

// ---- The last run: what the newest log Morvane left for `folder` tells, told as it is
// read; `pluginHere`, a Morvane.asi lies in the folder.
void CheckLastRun(const std::string& folder, bool pluginHere, std::ostream& out, WarningList& warnings);

// ---- Report: the values in force and where each came from, then the warnings.
void ReportSettings(const FolderRead& read, std::ostream& out);
// The warnings, then the exit status: 2 when something was `leftOut`.
CheckResult ReportWarnings(const WarningList& warnings, bool leftOut, std::ostream& out);

}  // namespace morvane::check
