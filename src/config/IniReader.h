#pragma once
// The reader of configuration text: INI content in, sections of key/value pairs out,
// typed reads with defaults. Pure standard C++; the file access lives in Files.h.
//
// Names and values are byte strings compared byte-wise (case-sensitive). Keys before the
// first section header belong to the section "". The first occurrence of a key wins.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace morvane {

using IniKeys = std::map<std::string, std::string>;
using IniSections = std::map<std::string, IniKeys>;

// Removes leading UTF-8 byte-order marks (always), then whitespace (0x09..0x0D, 0x20)
// on the sides asked for.
void TrimText(std::string& text, bool left, bool right);

// A file saved as UTF-16 (little- or big-endian, with its byte-order mark) as UTF-8 text;
// any other content as it is. A lone surrogate becomes U+FFFD, a last odd byte is dropped.
std::string DecodeSettingsText(std::string_view bytes);

// Content as a text-mode read gives it: every CR LF pair becomes one LF.
std::string TextModeContent(std::string_view bytes);

// Content up to and with its last LF: of content cut short, its whole lines.
std::string_view WholeLines(std::string_view content);

// What the parser did with one line that was not blank or a comment, for a program that
// explains a file line by line. The views are valid during the call only.
struct IniLine {
    size_t number;             // 1-based, counting LFs
    bool header;               // a section header: `section` is the section it opens
    std::string_view section;  // the section the line belongs to
    std::string_view key;      // a key line's key and value, as stored
    std::string_view value;
    bool kept;                 // false: the section already held the key, this line is ignored
};

class IniLineObserver {
public:
    virtual void Line(const IniLine& line) = 0;

protected:
    ~IniLineObserver() = default;
};

// Splits LF-separated content into sections; tells `observer`, if any, about every line.
IniSections ParseIni(std::string_view content, IniLineObserver* observer = nullptr);

// -1 for values below -1 or above 1, else the value.
int32_t ClampTriState(int32_t value);

// The file a name stands for, given the full path of the plug-in's own module: a name
// with a colon is used as it is; the empty name is the module's own name with ".ini" in
// place of its extension; any other name lies in the module's directory.
std::string ResolveIniPath(std::string_view modulePath, std::string_view name);

// The longest text ReadText gives, what the game's 255-byte text buffers hold: the bytes
// of a longer value after it are left out.
constexpr size_t kMaxTextLength = 254;

// A value with one leading and one trailing quote (" or ') removed, as ReadText takes it.
std::string_view Unquoted(std::string_view value);

struct IniReader {
    IniSections sections;

    // The value converted (decimal, or hexadecimal after "0x"), else `fallback`.
    int32_t ReadInt(const char* section, const char* key, int32_t fallback) const;
    // The value Unquoted and cut to kMaxTextLength bytes, else `fallback`. An empty
    // value, or one that was only a quote, gives `fallback`.
    std::string ReadText(const char* section, const char* key, const char* fallback) const;
    // True only for a value that converts to exactly 1.
    bool ReadBool(const char* section, const char* key) const;
    // -1 (not set), 0 or 1.
    int32_t ReadTriState(const char* section, const char* key) const;

private:
    const std::string* Find(const char* section, const char* key) const;
};

// Reads an integer the way ReadInt does; answers false when the text holds no number in
// the signed 32-bit range. `used`, if given, receives how many bytes the number took
// (the rest of the text is ignored).
bool ParseIniInt(std::string_view text, int32_t& value, size_t* used = nullptr);

}  // namespace morvane
