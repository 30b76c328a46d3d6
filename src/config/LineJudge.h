#pragma once
// Every key the plug-in reads, where it reads it and the values it takes: the rules that
// decide whether a line of a settings file takes effect as written. MorvaneCheck explains
// each line that does not; the plug-in counts them for its log.
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/IniReader.h"
#include "config/Settings.h"

namespace morvane {

enum class FileKind { Global, Profile };
// A settings file's kind by its path (either separator): Morvane.ini itself, or an entry
// of MorvaneCars; none for any other file (the sibling's).
std::optional<FileKind> SettingsFileKind(std::string_view path);

// A key the plug-in reads; an empty section stands for every part-slot section.
struct KnownKey {
    std::string section;
    std::string key;
    KeyType type;
    bool globalOnly;
};

const std::vector<KnownKey>& KnownKeys();
bool IsSlotSection(std::string_view section);
// The section is read from a file of that kind.
bool SectionRead(FileKind kind, std::string_view section);
bool KeyIn(const KnownKey& known, std::string_view section);
// The key as read in that section of a file of that kind, or null: the line is not read.
const KnownKey* FindKey(FileKind kind, std::string_view section, std::string_view key);

enum class ValueReading {
    AsWritten,
    Otherwise,  // a switch or slot value outside what is read, or no number at all
    Cut,        // a number the reader stops short of the end of
};
ValueReading ReadingOf(const KnownKey& known, std::string_view value);

// What a line of a settings file comes to, judged in reading order.
enum class LineVerdict {
    AsWritten,       // read as written, or a header of a section that is read
    SectionNotRead,  // the first line of a section that is not read
    InSectionNotRead,  // a later line of such a section: told with its first
    SetAgain,        // a key the section already had: ignored
    KeyNotRead,      // a key not read in that section of that file
    ValueOtherwise,  // read otherwise than written
    ValueCut,        // a number the reader stops short of the end of
};
class LineJudge {
public:
    explicit LineJudge(FileKind kind) : kind_(kind) {}
    // `known`, if given, receives the key as read (null when it is not read).
    LineVerdict Judge(bool header, std::string_view section, std::string_view key, std::string_view value, bool kept,
                      const KnownKey** known = nullptr);

private:
    FileKind kind_;
    std::set<std::string, std::less<>> sectionsTold_;
};

// Counts the lines of one settings file that do not take effect as written, as MorvaneCheck
// warns about them line by line.
class LinesNotAsWritten final : public IniLineObserver {
public:
    explicit LinesNotAsWritten(FileKind kind) : judge_(kind) {}
    void Line(const IniLine& line) override;
    size_t count() const { return count_; }

private:
    LineJudge judge_;
    size_t count_ = 0;
};

}  // namespace morvane
