// The line checks: each line of a settings file against the keys the plug-in reads, where
// it reads them and the values it takes.
#include <algorithm>

#include "Scan.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "config/LineJudge.h"
#include "config/SlotTable.h"

namespace morvane::check {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// A line as the reader told it.
IniLine Words(const LineRecord& line) { return {line.number, line.header, line.section, line.key, line.value, line.kept}; }

// The checks of each line of a file, adding to one list of warnings.
class LineChecks {
public:
    explicit LineChecks(WarningList& warnings) : warnings_(warnings) {}

    void CheckLines(const ScannedFile& file, FileKind kind);

private:
    void Warn(Trap trap, const ScannedFile& file, size_t line, std::string text, std::string fix) {
        warnings_.Add(trap, file, line, std::move(text), std::move(fix));
    }

    // Each with the words the plug-in's log uses too (VerdictText), and a fix.
    void WarnSection(const ScannedFile& file, FileKind kind, const LineRecord& line);
    void WarnKey(const ScannedFile& file, FileKind kind, const LineRecord& line);
    // A value read otherwise than written, or a number cut short (`cut`).
    void WarnValue(const ScannedFile& file, FileKind kind, const KnownKey& known, const LineRecord& line, bool cut);

    WarningList& warnings_;
};

void LineChecks::CheckLines(const ScannedFile& file, FileKind kind) {
    LineJudge judge(kind);
    for (const LineRecord& line : file.lines) {
        const KnownKey* known = nullptr;
        switch (judge.Judge(line.header, line.section, line.key, line.value, line.kept, &known)) {
        case LineVerdict::AsWritten:
        case LineVerdict::InSectionNotRead:
            break;
        case LineVerdict::SectionNotRead:
            WarnSection(file, kind, line);
            break;
        case LineVerdict::SetAgain: {
            const std::string first = "line " + std::to_string(file.LineOf(line.section, line.key)) + ", " + line.key +
                                      " = " + *file.Stored(line.section, line.key);
            Warn(Trap::DuplicateKey, file, line.number,
                 VerdictText(kind, LineVerdict::SetAgain, Words(line), nullptr, first),
                 "keep one " + line.key + " line in [" + line.section + "]");
            break;
        }
        case LineVerdict::KeyNotRead:
            WarnKey(file, kind, line);
            break;
        case LineVerdict::ValueOtherwise:
            WarnValue(file, kind, *known, line, false);
            break;
        case LineVerdict::ValueCut:
            WarnValue(file, kind, *known, line, true);
            break;
        case LineVerdict::TextCut:
            Warn(Trap::TextCut, file, line.number, VerdictText(kind, LineVerdict::TextCut, Words(line), known),
                 "keep " + line.key + " to " + std::to_string(kMaxTextLength) + " bytes at most");
            break;
        }
    }
}

void LineChecks::WarnSection(const ScannedFile& file, FileKind kind, const LineRecord& line) {
    const std::string text = VerdictText(kind, LineVerdict::SectionNotRead, Words(line), nullptr);
    if (line.section.empty()) {
        Warn(Trap::UnknownSection, file, line.number, text,
             "put these keys under the section that reads them, such as [GENERAL]");
        return;
    }
    if (line.section == kModsSection) {
        Warn(Trap::WrongSection, file, line.number, text,
             "move these keys to [MODS] in Morvane.ini (they switch features for every car)");
        return;
    }
    std::vector<std::string> known = {kGeneralSection};
    if (kind == FileKind::Global) known.push_back(kModsSection);
    for (const PartSlotRow& row : PartSlotTable()) known.push_back(row.section);
    const std::string nearest = NearestSpelling(line.section, known);
    Warn(Trap::UnknownSection, file, line.number, text,
         nearest.empty() ? std::string("remove it; the sections read are [GENERAL], [MODS] (Morvane.ini only) and the "
                                       "part-slot sections such as [PART_BODY]")
                         : "did you mean [" + nearest + "]?" +
                               (Lower(nearest) == Lower(line.section) ? " Names are case-sensitive" : ""));
}

void LineChecks::WarnKey(const ScannedFile& file, FileKind kind, const LineRecord& line) {
    const std::string text = VerdictText(kind, LineVerdict::KeyNotRead, Words(line), nullptr);
    for (const KnownKey& known : KnownKeys()) {
        if (known.key != line.key) continue;
        const bool globalOnly = kind == FileKind::Profile && known.globalOnly;
        Warn(Trap::WrongSection, file, line.number, text,
             "move it to " + SectionText(known) + (globalOnly ? " in Morvane.ini (it applies to every car)" : ""));
        return;
    }
    std::vector<std::string> here, all;
    for (const KnownKey& known : KnownKeys()) {
        if (kind == FileKind::Profile && known.globalOnly) continue;
        all.push_back(known.key);
        if (KeyIn(known, line.section)) here.push_back(known.key);
    }
    std::string nearest = NearestSpelling(line.key, here);
    std::string elsewhere;
    if (nearest.empty()) {
        nearest = NearestSpelling(line.key, all);
        for (const KnownKey& known : KnownKeys()) {
            if (known.key == nearest) elsewhere = " (read from " + SectionText(known) + ")";
        }
    }
    std::string fix = "remove it";
    if (!nearest.empty()) {
        fix = "did you mean " + nearest + elsewhere + "?";
        if (Lower(nearest) == Lower(line.key)) fix += " Names are case-sensitive";
    }
    Warn(Trap::UnknownKey, file, line.number, text, fix);
}

void LineChecks::WarnValue(const ScannedFile& file, FileKind kind, const KnownKey& known, const LineRecord& line,
                           bool cut) {
    const std::string text =
        VerdictText(kind, cut ? LineVerdict::ValueCut : LineVerdict::ValueOtherwise, Words(line), &known);
    if (cut) {
        int32_t value = 0;
        ParseIniInt(line.value, value);
        Warn(Trap::NumberCut, file, line.number, text,
             "write " + line.key + " = " + std::to_string(value) +
                 (known.type == KeyType::Angle ? " (whole numbers only)" : ""));
        return;
    }
    switch (known.type) {
    case KeyType::Switch:
        Warn(Trap::SwitchValue, file, line.number, text, "write " + line.key + " = 1 for on, " + line.key + " = 0 for off");
        break;
    case KeyType::TriState:
        Warn(Trap::SwitchValue, file, line.number, text,
             "write " + line.key + " = 1 to switch the slot on, " + line.key + " = 0 to switch it off");
        break;
    case KeyType::OnUnlessZero:
        Warn(Trap::SwitchValue, file, line.number, text, "write " + line.key + " = 0 for off, " + line.key + " = 1 for on");
        break;
    case KeyType::Angle:
        Warn(Trap::NumberCut, file, line.number, text, "write a whole number of degrees, such as " + line.key + " = 20");
        break;
    case KeyType::Text:
        break;
    }
}

}  // namespace

void CheckLines(const ScannedFile& file, WarningList& warnings) {
    if (const std::optional<FileKind> kind = SettingsFileKind(file.path)) LineChecks(warnings).CheckLines(file, *kind);
}

std::string NearestSpelling(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t bestDistance = 0;
    const std::string lowerName = Lower(name);
    const size_t limit = std::max<size_t>(2, name.size() / 3);
    for (const std::string& candidate : known) {
        // The distance is at least the difference of the lengths: a name much longer or
        // shorter is never near, and costs nothing to leave.
        const size_t longer = std::max(name.size(), candidate.size());
        if (longer - std::min(name.size(), candidate.size()) > limit) continue;
        // Letter case weighs least: a case-only difference always wins.
        const size_t distance = EditDistance(lowerName, Lower(candidate)) * 2 + (candidate == name ? 0 : 1);
        if (best.empty() || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return (!best.empty() && bestDistance / 2 <= limit) ? best : std::string();
}

}  // namespace morvane::check
