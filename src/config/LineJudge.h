#pragma once
// Every key the plug-in reads, where it reads it and the values it takes: the rules that
// decide whether a line of a settings file takes effect as written. MorvaneCheck explains
// each line that does not; the plug-in counts them for its log.
#include <optional>
#include <set>
#include <utility>
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
    TextCut,    // a text longer than kMaxTextLength
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
    TextCut,         // a text longer than what is read of it
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

// What a line that does not take effect as written comes to, in words, as MorvaneCheck
// warns and the log lists it ("unknown key Nen in [MODS]: it is not read"). `known` is the
// key as the judge found it; `first` tells a key set again where it was set first ("line
// 4, Neon = 1"), if known.
std::string VerdictText(FileKind kind, LineVerdict verdict, const IniLine& line, const KnownKey* known,
                        std::string_view first = {});
// Where the plug-in's reader finds a key known by that name, for a text.
std::string SectionText(const KnownKey& known);

// Counts the lines of one settings file that do not take effect as written, as MorvaneCheck
// warns about them line by line, and keeps the words of the first ones in `told` (up to
// `room` lines there in all).
class LinesNotAsWritten final : public IniLineObserver {
public:
    LinesNotAsWritten(FileKind kind, std::string label, std::vector<std::string>& told, size_t room)
        : judge_(kind), kind_(kind), label_(std::move(label)), told_(told), room_(room) {}
    void Line(const IniLine& line) override;
    size_t count() const { return count_; }
    // The texts cut to kMaxTextLength, and the line of the first.
    size_t textsCut() const { return textsCut_; }
    size_t firstTextCut() const { return firstTextCut_; }

private:
    LineJudge judge_;
    FileKind kind_;
    std::string label_;
    std::vector<std::string>& told_;
    size_t room_;
    size_t count_ = 0;
    size_t textsCut_ = 0;
    size_t firstTextCut_ = 0;
};

}  // namespace morvane
