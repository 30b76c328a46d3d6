#include "config/LineJudge.h"

#include "config/Profiles.h"
#include "config/Settings.h"
#include "config/SlotTable.h"

namespace morvane {

std::optional<FileKind> SettingsFileKind(std::string_view path) {
    const size_t nameAt = path.find_last_of("\\/") + 1;  // 0 when there is no separator
    const std::string_view name = path.substr(nameAt);
    if (name == kGlobalSettingsFile) return FileKind::Global;
    if (nameAt < 2) return std::nullopt;
    const std::string_view folder = path.substr(0, nameAt - 1);
    if (folder.substr(folder.find_last_of("\\/") + 1) == kProfileDirectory) return FileKind::Profile;
    return std::nullopt;
}

const std::vector<KnownKey>& KnownKeys() {
    static const std::vector<KnownKey> keys = [] {
        std::vector<KnownKey> all;
        for (const GlobalSwitchKey& entry : kGlobalSwitches) {
            all.push_back({entry.section, entry.key, KeyType::Switch, true});
        }
        for (const GlobalOnlyKey& entry : GlobalOnlyKeys()) {
            all.push_back({kGeneralSection, entry.key, entry.type, true});
        }
        for (const ProfileSwitchKey& entry : kProfileSwitches) {
            all.push_back({kGeneralSection, entry.key, KeyType::Switch, false});
        }
        for (const char* key : kSlotKeys) {
            const bool enabled = std::string(key) == kSlotEnabledKey;
            all.push_back({"", key, enabled ? KeyType::TriState : KeyType::Text, false});
        }
        return all;
    }();
    return keys;
}

bool IsSlotSection(std::string_view section) {
    for (const PartSlotRow& row : PartSlotTable()) {
        if (row.section == section) return true;
    }
    return false;
}

bool SectionRead(FileKind kind, std::string_view section) {
    return section == kGeneralSection || IsSlotSection(section) ||
           (kind == FileKind::Global && section == kModsSection);
}

bool KeyIn(const KnownKey& known, std::string_view section) {
    return known.section.empty() ? IsSlotSection(section) : known.section == section;
}

const KnownKey* FindKey(FileKind kind, std::string_view section, std::string_view key) {
    for (const KnownKey& known : KnownKeys()) {
        if (known.key == key && KeyIn(known, section) && (kind == FileKind::Global || !known.globalOnly)) return &known;
    }
    return nullptr;
}

ValueReading ReadingOf(const KnownKey& known, std::string_view text) {
    if (known.type == KeyType::Text) {
        return Unquoted(text).size() > kMaxTextLength ? ValueReading::TextCut : ValueReading::AsWritten;
    }
    if (text.empty()) return ValueReading::AsWritten;
    int32_t value = 0;
    size_t used = 0;
    const bool number = ParseIniInt(text, value, &used);
    const bool offOrOn = number && (value == 0 || value == 1);
    switch (known.type) {
    case KeyType::Switch:
    case KeyType::OnUnlessZero:
        if (!offOrOn) return ValueReading::Otherwise;
        break;
    case KeyType::TriState:
        if (!number || value < -1 || value > 1) return ValueReading::Otherwise;
        break;
    case KeyType::Angle:
        if (!number) return ValueReading::Otherwise;
        break;
    case KeyType::Text:
        break;
    }
    return used < text.size() ? ValueReading::Cut : ValueReading::AsWritten;
}

LineVerdict LineJudge::Judge(bool header, std::string_view section, std::string_view key, std::string_view value,
                             bool kept, const KnownKey** known) {
    if (known != nullptr) *known = nullptr;
    if (!SectionRead(kind_, section)) {
        return sectionsTold_.insert(std::string(section)).second ? LineVerdict::SectionNotRead
                                                                 : LineVerdict::InSectionNotRead;
    }
    if (header) return LineVerdict::AsWritten;
    if (!kept) return LineVerdict::SetAgain;
    const KnownKey* found = FindKey(kind_, section, key);
    if (known != nullptr) *known = found;
    if (found == nullptr) return LineVerdict::KeyNotRead;
    switch (ReadingOf(*found, value)) {
    case ValueReading::Otherwise: return LineVerdict::ValueOtherwise;
    case ValueReading::Cut: return LineVerdict::ValueCut;
    case ValueReading::TextCut: return LineVerdict::TextCut;
    case ValueReading::AsWritten: break;
    }
    return LineVerdict::AsWritten;
}

std::string SectionText(const KnownKey& known) {
    return known.section.empty() ? "a part-slot section such as [PART_BODY]" : "[" + known.section + "]";
}

namespace {

std::string SectionVerdict(FileKind kind, const IniLine& line) {
    if (line.section.empty()) {
        return line.header ? "the section [] is never read" : "lines before the first [section] header are never read";
    }
    if (line.section == kModsSection && kind == FileKind::Profile) {
        return "[MODS] is read from Morvane.ini only, not from a car's file";
    }
    return "unknown section [" + std::string(line.section) + "]: nothing in it is read";
}

std::string KeyVerdict(FileKind kind, const IniLine& line) {
    const std::string key(line.key);
    for (const KnownKey& known : KnownKeys()) {
        if (known.key != line.key) continue;
        if (kind == FileKind::Profile && known.globalOnly) return key + " is read from Morvane.ini only, not from a car's file";
        return key + " is never read from [" + std::string(line.section) + "]: the plug-in reads it from " +
               SectionText(known);
    }
    return "unknown key " + key + " in [" + std::string(line.section) + "]: it is not read";
}

std::string ValueVerdict(const KnownKey& known, const IniLine& line, bool cut) {
    const std::string written = std::string(line.key) + " = " + std::string(line.value);
    if (cut) {
        int32_t value = 0;
        size_t used = 0;
        ParseIniInt(line.value, value, &used);
        return written + " reads as " + std::to_string(value) + ": the reader stops at \"" +
               std::string(line.value.substr(used)) + "\"";
    }
    switch (known.type) {
    case KeyType::Switch: return written + " reads as off: a switch is on only for the value 1";
    case KeyType::TriState: return written + " reads as not set (-1): only 1 (on), 0 (off) and -1 (not set) are read";
    case KeyType::OnUnlessZero: return written + " reads as on: only the value 0 turns it off";
    case KeyType::Angle: return written + " is no number the reader takes: it reads as 0";
    case KeyType::Text: break;
    }
    return written;
}

}  // namespace

std::string VerdictText(FileKind kind, LineVerdict verdict, const IniLine& line, const KnownKey* known,
                        std::string_view first) {
    switch (verdict) {
    case LineVerdict::SectionNotRead:
    case LineVerdict::InSectionNotRead: return SectionVerdict(kind, line);
    case LineVerdict::SetAgain:
        return "[" + std::string(line.section) + "] " + std::string(line.key) + " is set again: the first one" +
               (first.empty() ? std::string() : " (" + std::string(first) + ")") + " wins, this line is ignored";
    case LineVerdict::KeyNotRead: return KeyVerdict(kind, line);
    case LineVerdict::ValueOtherwise:
    case LineVerdict::ValueCut:
        if (known != nullptr) return ValueVerdict(*known, line, verdict == LineVerdict::ValueCut);
        break;
    case LineVerdict::TextCut:
        return std::string(line.key) + " is " + std::to_string(Unquoted(line.value).size()) +
               " bytes long: only its first " + std::to_string(kMaxTextLength) + " bytes are read";
    case LineVerdict::AsWritten: break;
    }
    return "read as written";
}

void LinesNotAsWritten::Line(const IniLine& line) {
    const KnownKey* known = nullptr;
    const LineVerdict verdict = judge_.Judge(line.header, line.section, line.key, line.value, line.kept, &known);
    if (verdict == LineVerdict::AsWritten || verdict == LineVerdict::InSectionNotRead) return;
    ++count_;
    if (verdict == LineVerdict::TextCut && textsCut_++ == 0) firstTextCut_ = line.number;
    if (told_.size() >= room_) return;
    try {
        told_.push_back(label_ + ":" + std::to_string(line.number) + ": " + VerdictText(kind_, verdict, line, known));
    } catch (...) {
        // Without memory the line is only counted.
    }
}

}  // namespace morvane
