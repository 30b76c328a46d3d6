#include "Checker.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <system_error>

#include "CheckHost.h"
#include "Version.h"
#include "config/ConfigHost.h"
#include "config/IniFile.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Rules.h"
#include "config/Settings.h"
#include "config/SlotTable.h"
#include "startup/Startup.h"

namespace morvane::check {

namespace {

namespace fs = std::filesystem;


enum class KeyType { Switch, Angle, TriState, Text };
enum class FileKind { Global, Profile };

// Every key the plug-in reads; an empty section stands for every part-slot section.
struct KnownKey {
    std::string section;
    std::string key;
    KeyType type;
    bool globalOnly;
};

const std::vector<KnownKey>& KnownKeys() {
    static const std::vector<KnownKey> keys = [] {
        std::vector<KnownKey> all;
        for (const GlobalSwitchKey& entry : kGlobalSwitches) {
            all.push_back({entry.section, entry.key, KeyType::Switch, true});
        }
        all.push_back({kGeneralSection, kFrontSteerAngleKey, KeyType::Angle, true});
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

bool IsSlotSection(const std::string& section) {
    for (const PartSlotRow& row : PartSlotTable()) {
        if (row.section == section) return true;
    }
    return false;
}

bool SectionRead(FileKind kind, const std::string& section) {
    return section == kGeneralSection || IsSlotSection(section) ||
           (kind == FileKind::Global && section == kModsSection);
}

bool KeyIn(const KnownKey& known, const std::string& section) {
    return known.section.empty() ? IsSlotSection(section) : known.section == section;
}

std::string SectionText(const KnownKey& known) {
    return known.section.empty() ? "a part-slot section such as [PART_BODY]" : "[" + known.section + "]";
}

const KnownKey* FindKey(FileKind kind, const std::string& section, const std::string& key) {
    for (const KnownKey& known : KnownKeys()) {
        if (known.key == key && KeyIn(known, section) && (kind == FileKind::Global || !known.globalOnly)) return &known;
    }
    return nullptr;
}

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

    explicit ScannedFile(const std::string& resolved) : label(RelativeToSettingsFolder(resolved)), path(resolved) {
        std::error_code error;
        const fs::file_status status = fs::status(fs::path(SystemPath(path)), error);
        exists = !error && fs::exists(status);
        directory = exists && fs::is_directory(status);
    }
    // A file with content that the reader could not take in (unreadable, or too large).
    bool Unreadable() const {
        std::error_code error;
        const auto size = fs::file_size(fs::path(SystemPath(path)), error);
        return exists && !directory && !error && size > 0 && ReadWholeFile(path).empty();
    }
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    void Line(const IniLine& line) override {
        lines.push_back({line.number, line.header, std::string(line.section), std::string(line.key),
                         std::string(line.value), line.kept});
        IniKeys& keys = reader.sections[lines.back().section];
        if (line.kept && !line.header) keys.emplace(line.key, line.value);
    }

    // The line that set `key` in `section` (the first occurrence), or 0.
    size_t LineOf(const std::string& section, const std::string& key) const {
        for (const LineRecord& line : lines) {
            if (!line.header && line.kept && line.section == section && line.key == key) return line.number;
        }
        return 0;
    }
    const std::string* Stored(const std::string& section, const std::string& key) const {
        const auto s = reader.sections.find(section);
        if (s == reader.sections.end()) return nullptr;
        const auto k = s->second.find(key);
        return k == s->second.end() ? nullptr : &k->second;
    }
    std::string Where(size_t line) const { return line ? label + ":" + std::to_string(line) : label; }
    std::string Origin(const std::string& section, const std::string& key) const {
        const size_t line = LineOf(section, key);
        return line ? Where(line) : std::string();
    }
};

class Checker {
public:
    explicit Checker(std::ostream& out) : out_(out) {}

    CheckResult Run(const std::string& folder);

private:
    void Warn(Trap trap, const ScannedFile& file, size_t line, std::string text, std::string fix) {
        warnings_.push_back({trap, file.label, line, std::move(text), std::move(fix)});
    }

    void CheckSibling();
    void CheckLines(const ScannedFile& file, FileKind kind);
    void WarnSection(const ScannedFile& file, FileKind kind, const LineRecord& line);
    void WarnKey(const ScannedFile& file, FileKind kind, const LineRecord& line);
    void CheckValue(const ScannedFile& file, const KnownKey& known, const LineRecord& line);
    void CheckProfileEntry(size_t index, const ScannedFile& file);
    void CheckSlotTexts(const ScannedFile& file, const std::vector<int32_t>& carTypes);
    void ReportGlobal();
    void ReportProfile(size_t index);
    void ReportSlots(int32_t carType, const ScannedFile* own, const char* indent);

    std::ostream& out_;
    std::vector<Warning> warnings_;
    std::vector<std::unique_ptr<ScannedFile>> opened_;  // every file read, in reading order
    const ScannedFile* global_ = nullptr;
    std::vector<const ScannedFile*> profileFiles_;  // one per profile from the folder
};

void Checker::CheckSibling() {
    const IniFile siblingFile(kSiblingFile);
    const ScannedFile& sibling = *opened_.back();
    if (!sibling.exists) {
        out_ << "Sibling plug-in settings: no " << kSiblingFile << ", no conflict\n";
        return;
    }
    const int32_t value = SiblingShadowSetting(siblingFile);
    out_ << "Sibling plug-in settings: " << kSiblingFile << " [" << kSiblingSection << "] " << kSiblingKey << " = "
         << value << (value != 0 ? ": CONFLICT\n" : ", no conflict\n");
    if (value == 0) return;
    out_ << "  Morvane will stay inactive until " << kSiblingKey << " is 0 (the game shows \"" << kShadowConflictText
         << "\" at start-up)\n";
    Warn(Trap::SiblingConflict, sibling, sibling.LineOf(kSiblingSection, kSiblingKey),
         std::string("Morvane will stay inactive until ") + kSiblingKey + " is 0",
         std::string("set ") + kSiblingKey + " = 0 in [" + kSiblingSection + "] of " + kSiblingFile);
}

void Checker::CheckLines(const ScannedFile& file, FileKind kind) {
    std::set<std::string> warnedSections;
    for (const LineRecord& line : file.lines) {
        if (!SectionRead(kind, line.section)) {
            if (warnedSections.insert(line.section).second) WarnSection(file, kind, line);
            continue;
        }
        if (line.header) continue;
        if (!line.kept) {
            const size_t first = file.LineOf(line.section, line.key);
            Warn(Trap::DuplicateKey, file, line.number,
                 "[" + line.section + "] " + line.key + " is set again: the first one (line " + std::to_string(first) +
                     ", " + line.key + " = " + *file.Stored(line.section, line.key) + ") wins, this line is ignored",
                 "keep one " + line.key + " line in [" + line.section + "]");
            continue;
        }
        if (const KnownKey* known = FindKey(kind, line.section, line.key)) {
            CheckValue(file, *known, line);
        } else {
            WarnKey(file, kind, line);
        }
    }
}

void Checker::WarnSection(const ScannedFile& file, FileKind kind, const LineRecord& line) {
    if (line.section.empty()) {
        Warn(Trap::UnknownSection, file, line.number,
             line.header ? "the section [] is never read" : "lines before the first [section] header are never read",
             "put these keys under the section that reads them, such as [GENERAL]");
        return;
    }
    if (line.section == kModsSection) {
        Warn(Trap::WrongSection, file, line.number, "[MODS] is read from Morvane.ini only, not from a car's file",
             "move these keys to [MODS] in Morvane.ini (they switch features for every car)");
        return;
    }
    std::vector<std::string> known = {kGeneralSection};
    if (kind == FileKind::Global) known.push_back(kModsSection);
    for (const PartSlotRow& row : PartSlotTable()) known.push_back(row.section);
    const std::string nearest = NearestSpelling(line.section, known);
    Warn(Trap::UnknownSection, file, line.number, "unknown section [" + line.section + "]: nothing in it is read",
         nearest.empty() ? std::string("remove it; the sections read are [GENERAL], [MODS] (Morvane.ini only) and the "
                                       "part-slot sections such as [PART_BODY]")
                         : "did you mean [" + nearest + "]?" +
                               (Lower(nearest) == Lower(line.section) ? " Names are case-sensitive" : ""));
}

void Checker::WarnKey(const ScannedFile& file, FileKind kind, const LineRecord& line) {
    for (const KnownKey& known : KnownKeys()) {
        if (known.key != line.key) continue;
        if (kind == FileKind::Profile && known.globalOnly) {
            Warn(Trap::WrongSection, file, line.number,
                 line.key + " is read from Morvane.ini only, not from a car's file",
                 "move it to " + SectionText(known) + " in Morvane.ini (it applies to every car)");
        } else {
            Warn(Trap::WrongSection, file, line.number,
                 line.key + " is never read from [" + line.section + "]: the plug-in reads it from " +
                     SectionText(known),
                 "move it to " + SectionText(known));
        }
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
    Warn(Trap::UnknownKey, file, line.number, "unknown key " + line.key + " in [" + line.section + "]: it is not read",
         fix);
}

void Checker::CheckValue(const ScannedFile& file, const KnownKey& known, const LineRecord& line) {
    const std::string& text = line.value;
    if (known.type == KeyType::Text || text.empty()) return;
    int32_t value = 0;
    size_t used = 0;
    const bool number = ParseIniInt(text, value, &used);
    const std::string written = line.key + " = " + text;
    const std::string rest = number ? text.substr(used) : std::string();
    switch (known.type) {
    case KeyType::Switch:
        if (!number || (value != 0 && value != 1)) {
            Warn(Trap::SwitchValue, file, line.number, written + " reads as off: a switch is on only for the value 1",
                 "write " + line.key + " = 1 for on, " + line.key + " = 0 for off");
            return;
        }
        break;
    case KeyType::TriState:
        if (!number || value < -1 || value > 1) {
            Warn(Trap::SwitchValue, file, line.number,
                 written + " reads as not set (-1): only 1 (on), 0 (off) and -1 (not set) are read",
                 "write " + line.key + " = 1 to switch the slot on, " + line.key + " = 0 to switch it off");
            return;
        }
        break;
    case KeyType::Angle:
        if (!number) {
            Warn(Trap::NumberCut, file, line.number, written + " is no number the reader takes: it reads as 0",
                 "write a whole number of degrees, such as " + line.key + " = 20");
            return;
        }
        break;
    case KeyType::Text:
        return;
    }
    if (!rest.empty()) {
        Warn(Trap::NumberCut, file, line.number,
             written + " reads as " + std::to_string(value) + ": the reader stops at \"" + rest + "\"",
             "write " + line.key + " = " + std::to_string(value) +
                 (known.type == KeyType::Angle ? " (whole numbers only)" : ""));
    }
}

// A MorvaneCars entry: its name, what it is, what it replaces, what it leaves out.
void Checker::CheckProfileEntry(size_t index, const ScannedFile& file) {
    const CarProfile& profile = CarProfiles()[index];
    const std::string& name = profile.name;
    bool replacedPopUps = false;
    if (const BuiltInProfile* builtIn = BuiltInProfileNamed(name)) {
        replacedPopUps = builtIn->popUpHeadLights;
        if (builtIn->sunRoof) {
            Warn(Trap::ReplacesBuiltIn, file, 0,
                 "this file replaces the built-in " + name + " profile, so the " + name +
                     " loses its sun roof (the roof following the roof scoop), which no file can set",
                 "remove " + file.label +
                     " to keep the sun roof; its other switches then come from the built-in "
                     "profile (all off) and its part slots from Morvane.ini");
        } else if (builtIn->popUpHeadLights && !profile.popUpHeadLights) {
            Warn(Trap::ReplacesBuiltIn, file, file.LineOf(kGeneralSection, "PopUpHeadLights"),
                 "this file replaces the built-in " + name + " profile without PopUpHeadLights = 1, so the " + name +
                     " loses its pop-up headlights",
                 "add PopUpHeadLights = 1 under [GENERAL]");
        }
    }
    std::vector<std::string> reasons;
    std::string suggested = name;
    if (file.directory) {
        Warn(Trap::ProfileName, file, 0,
             "a folder in " + std::string(kProfileDirectory) + ": it makes a profile named " + name +
                 " with every switch off, and nothing inside it is read",
             "move the folder out of " + std::string(kProfileDirectory) + "; a car's settings are one file");
        return;
    }
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        reasons.push_back("an extension (\"" + name.substr(dot) + "\")");
        suggested = name.substr(0, dot);
    }
    if (std::any_of(suggested.begin(), suggested.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        reasons.push_back("lower-case letters (the game's base names are upper case)");
        for (char& c : suggested) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (!reasons.empty()) {
        std::string why;
        for (size_t i = 0; i < reasons.size(); ++i) why += (i ? " and " : "") + reasons[i];
        Warn(Trap::ProfileName, file, 0,
             "the profile " + name + " is unlikely to match a car: its name has " + why +
                 ", and a profile applies only to the car whose base name is exactly its file name",
             "rename the file to " + suggested);
        return;  // what it leaves out matters once it is named for a car
    }
    const PluginSettings& global = *GlobalSettings();
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        if (!(global.*entry.field) || file.Stored(kGeneralSection, entry.key) != nullptr) continue;
        // On for this car all the same: Morvane.ini forces it for every car.
        if (SwitchTakesEffect(entry.field, &profile, &global)) continue;
        // Already told: the built-in profile this file replaces had pop-up headlights.
        if (entry.field == &CarProfile::popUpHeadLights && replacedPopUps) continue;
        Warn(Trap::SwitchLeftOut, file, 0,
             std::string(entry.key) + " is not set here, so it is off for the " + name + " although " +
                 global_->Origin(kGeneralSection, entry.key) + " turns it on: a car's file replaces all four " +
                 "switches of [GENERAL]",
             std::string("add ") + entry.key + " = 1 under [GENERAL] (or = 0 to keep it off for this car)");
    }
}

// Header, HeaderAS and Camera take effect only for a car that has the slot switched on.
void Checker::CheckSlotTexts(const ScannedFile& file, const std::vector<int32_t>& carTypes) {
    for (const PartSlotRow& row : PartSlotTable()) {
        size_t line = 0;
        std::string keys;
        for (const char* key : {kSlotHeaderKey, kSlotHeaderASKey, kSlotCameraKey}) {
            if (file.reader.ReadText(row.section.c_str(), key, "").empty()) continue;
            keys += (keys.empty() ? "" : ", ") + std::string(key);
            const size_t at = file.LineOf(row.section, key);
            if (line == 0 || at < line) line = at;
        }
        if (keys.empty()) continue;
        const bool enabledSomewhere = std::any_of(carTypes.begin(), carTypes.end(),
                                                  [&](int32_t carType) { return SlotEnabled(carType, row.slot) == 1; });
        if (enabledSomewhere) continue;
        Warn(Trap::SlotNoEffect, file, line,
             "[" + row.section + "] " + keys + " cannot take effect: no car " +
                 (carTypes.size() == 1 ? "of this profile " : "") + "has the slot switched on",
             "set Enabled = 1 in [" + row.section + "] " +
                 (carTypes.size() == 1 ? "here or in Morvane.ini" : "here or in a car's file") +
                 ", or remove these keys");
    }
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

void PrintRow(std::ostream& out, const char* indent, const std::string& name, const std::string& value,
              const std::string& origin) {
    std::string padded = name;
    padded.resize(std::max<size_t>(padded.size(), 24), ' ');
    std::string shown = value;
    shown.resize(std::max<size_t>(shown.size(), 6), ' ');
    out << indent << padded << shown << origin << "\n";
}

void Checker::ReportGlobal() {
    const PluginSettings& s = *GlobalSettings();
    const ScannedFile& g = *global_;
    auto origin = [&](const char* section, const char* key) {
        const std::string where = g.Origin(section, key);
        return where.empty() ? std::string("default") : where;
    };
    out_ << "\nGlobal settings (" << kGlobalSettingsFile << "):\n";
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        PrintRow(out_, "  ", entry.key, OnOff(s.*entry.field), origin(entry.section, entry.key));
    }
    std::ostringstream angle;
    angle << s.frontSteerAngle;
    PrintRow(out_, "  ", kFrontSteerAngleKey, angle.str(), origin(kGeneralSection, kFrontSteerAngleKey));

    out_ << "\nCars without a profile:\n";
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        PrintRow(out_, "  ", entry.key, OnOff(s.*entry.field), origin(kGeneralSection, entry.key));
    }
    ReportSlots(-1, nullptr, "  ");
}

void Checker::ReportSlots(int32_t carType, const ScannedFile* own, const char* indent) {
    const ScannedFile& g = *global_;
    const CarProfile* profile = FindProfileByCarType(carType);
    std::string on, offHere;
    std::ostringstream titles;
    for (const PartSlotRow& row : PartSlotTable()) {
        const SlotOverride* ownEntry = profile ? FindSlotOverride(profile->slotOverrides, row.slot) : nullptr;
        if (SlotEnabled(carType, row.slot) != 1) {
            const SlotOverride* globalEntry = FindSlotOverride(GlobalSettings()->slotOverrides, row.slot);
            if (ownEntry && ownEntry->enabled == 0 && globalEntry && globalEntry->enabled == 1) {
                offHere += (offHere.empty() ? "" : ", ") + row.section + " (" +
                           own->Origin(row.section, kSlotEnabledKey) + ")";
            }
            continue;
        }
        const bool fromOwn = SlotEnabledSetIn(ownEntry);
        const std::string where =
            fromOwn ? own->Origin(row.section, kSlotEnabledKey) : g.Origin(row.section, kSlotEnabledKey);
        on += (on.empty() ? "" : ", ") + row.section + " (" + where + ")";
        // The texts behind the hashes the lookups answer, and the file each came from.
        auto text = [&](const char* label, uint32_t hash,
                        std::vector<std::pair<const ScannedFile*, const char*>> from) {
            if (hash == kNoNameHash) return;
            for (const auto& [file, key] : from) {
                if (!file) continue;
                const std::string value = file->reader.ReadText(row.section.c_str(), key, "");
                if (GameStringHash(value.c_str()) == hash) {
                    titles << indent << "  [" << row.section << "] " << label << " " << value << " ("
                           << file->Origin(row.section, key) << ")\n";
                    return;
                }
            }
        };
        text("Header", SlotHeader(carType, row.slot, false), {{own, kSlotHeaderKey}, {&g, kSlotHeaderKey}});
        text("HeaderAS", SlotHeader(carType, row.slot, true),
             {{own, kSlotHeaderASKey}, {own, kSlotHeaderKey}, {&g, kSlotHeaderASKey}, {&g, kSlotHeaderKey}});
        if (const char* camera = SlotCamera(carType, row.slot)) {
            const bool ownCamera = ownEntry && camera == ownEntry->camera.c_str();
            titles << indent << "  [" << row.section << "] Camera " << camera << " ("
                   << (ownCamera ? own : &g)->Origin(row.section, kSlotCameraKey) << ")\n";
        }
    }
    out_ << indent << "Part slots switched on: " << (on.empty() ? "none" : on) << "\n" << titles.str();
    if (!offHere.empty())
        out_ << indent << "Switched off here though Morvane.ini switches them on: " << offHere << "\n";
}

void Checker::ReportProfile(size_t index) {
    const CarProfile& p = CarProfiles()[index];
    const PluginSettings& global = *GlobalSettings();
    const ScannedFile* own = index < profileFiles_.size() ? profileFiles_[index] : nullptr;
    out_ << "\n  " << p.name << "  ("
         << (own ? (own->directory ? "folder " : "file ") + own->label : std::string("built in")) << ")\n";
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        const bool on = SwitchTakesEffect(entry.field, &p, &global);
        std::string origin = own ? own->Origin(kGeneralSection, entry.key) : std::string("built in");
        if (origin.empty()) origin = "not set in the file: off";
        const std::string globalOrigin = global_->Origin(kGeneralSection, entry.key);
        if (!own && global.*entry.field != on && !globalOrigin.empty()) {
            origin += " (" + globalOrigin + " does not apply to this car)";
        }
        // On though the profile says off: Morvane.ini forces it for every car.
        if (on && !(p.*entry.field)) origin += "; forced for every car by " + globalOrigin;
        PrintRow(out_, "    ", entry.key, OnOff(on), origin);
    }
    PrintRow(out_, "    ", "SunRoof", OnOff(p.sunRoof), own ? "only the built-in BRERA profile has it" : "built in");
    ReportSlots(static_cast<int32_t>(index), own, "    ");
}

CheckResult Checker::Run(const std::string& folder) {
    out_ << "MorvaneCheck " << kMorvaneVersion << ": " << folder << "\n";
    std::error_code error;
    fs::path root = fs::absolute(fs::path(folder), error).lexically_normal();
    fs::directory_iterator listing(root, error);
    if (error || !fs::is_directory(root, error)) {
        out_ << "The folder cannot be read" << (error ? ": " + error.message() : std::string()) << "\n";
        return {kFolderUnreadable, {}};
    }
    root.make_preferred();
    std::string rootText = root.string();
    while (rootText.size() > 1 && (rootText.back() == '\\' || rootText.back() == kSeparator)) rootText.pop_back();
    SetSettingsFolder(rootText);
    SetCarTypeNames({});
    // Every file the configuration code reads is heard line by line, in reading order.
    SetLineObserver([this](const std::string& path) {
        opened_.push_back(std::make_unique<ScannedFile>(path));
        return opened_.back().get();
    });

    CheckSibling();

    // The plug-in's own start-up steps, in its order: one file for the global settings,
    // then one per entry of the profile folder.
    ResetCarProfiles();
    const size_t globalFile = opened_.size();
    LoadGlobalSettings();
    const size_t firstProfileFile = opened_.size();
    LoadCarProfiles();
    const size_t fromFolder = CarProfiles().size();
    AddBuiltInProfiles();
    SetLineObserver(nullptr);
    if (opened_.size() != firstProfileFile + fromFolder || firstProfileFile != globalFile + 1) {
        out_ << "The settings were read in an unexpected way: " << opened_.size() << " files\n";
        return {kFolderUnreadable, {}};
    }
    std::vector<std::string> names;
    for (const CarProfile& p : CarProfiles()) names.push_back(p.name);
    SetCarTypeNames(names);

    global_ = opened_[globalFile].get();
    if (!global_->exists || global_->directory) {
        Warn(Trap::NoSettingsFile, *global_, 0, "no Morvane.ini file in the folder: every switch is off",
             "copy the shipped Morvane.ini beside the plug-in");
    } else if (global_->Unreadable()) {
        Warn(Trap::UnreadableFile, *global_, 0, "Morvane.ini cannot be read: every switch is off",
             "save it again as plain text (ANSI, UTF-8 or UTF-16), smaller than 64 MB, readable by the game");
    }
    CheckLines(*global_, FileKind::Global);
    // Both change the same routine of the game; stock rim paint is the one written.
    if (const PluginSettings* s = GlobalSettings(); s && s->allVinylsMirrorable && !VinylBytesWritten(*s)) {
        Warn(Trap::SwitchOverruled, *global_, global_->LineOf(kGeneralSection, "AllVinylsMirrorable"),
             "AllVinylsMirrorable does nothing while AllowStockRimsPaint is 1: both change the same place in the "
             "game, and stock rim paint wins",
             "choose one: set AllowStockRimsPaint = 0 to make every vinyl mirrorable");
    }
    for (size_t i = 0; i < fromFolder; ++i) {
        profileFiles_.push_back(opened_[firstProfileFile + i].get());
        CheckLines(*profileFiles_.back(), FileKind::Profile);
        if (profileFiles_.back()->Unreadable()) {
            Warn(Trap::UnreadableFile, *profileFiles_.back(), 0,
                 "this file cannot be read: the " + CarProfiles()[i].name + " gets a profile with every switch off",
                 "save it again as plain text (ANSI, UTF-8 or UTF-16), smaller than 64 MB, readable by the game");
        }
        CheckProfileEntry(i, *profileFiles_.back());
    }
    // Morvane.ini's texts serve every car; a car's own texts serve that car only.
    std::vector<int32_t> everyCar = {-1};
    for (size_t i = 0; i < CarProfiles().size(); ++i) everyCar.push_back(static_cast<int32_t>(i));
    CheckSlotTexts(*global_, everyCar);
    for (size_t i = 0; i < fromFolder; ++i) CheckSlotTexts(*profileFiles_[i], {static_cast<int32_t>(i)});

    ReportGlobal();
    out_ << "\nProfiles (" << CarProfiles().size() << ": " << fromFolder << " from " << kProfileDirectory
         << ", the others built in):";
    out_ << "\n";
    for (size_t i = 0; i < CarProfiles().size(); ++i) ReportProfile(i);

    out_ << "\n";
    for (const Warning& w : warnings_) {
        out_ << w.file << (w.line ? ":" + std::to_string(w.line) : std::string()) << ": warning: " << w.text << "\n"
             << "    fix: " << w.fix << "\n";
    }
    if (warnings_.empty()) {
        out_ << "No warnings: everything takes effect as written.\n";
        return {kAllTakesEffect, {}};
    }
    out_ << warnings_.size() << " warning" << (warnings_.size() == 1 ? "" : "s")
         << ": some settings do not take effect as written.\n";
    return {kWarnings, warnings_};
}

}  // namespace

const char* TrapName(Trap trap) {
    switch (trap) {
    case Trap::SiblingConflict:
        return "sibling conflict";
    case Trap::NoSettingsFile:
        return "no settings file";
    case Trap::UnreadableFile:
        return "unreadable file";
    case Trap::UnknownSection:
        return "unknown section";
    case Trap::UnknownKey:
        return "unknown key";
    case Trap::WrongSection:
        return "wrong section";
    case Trap::SwitchValue:
        return "switch value";
    case Trap::NumberCut:
        return "number cut";
    case Trap::DuplicateKey:
        return "duplicate key";
    case Trap::ProfileName:
        return "profile name";
    case Trap::ReplacesBuiltIn:
        return "replaces built-in";
    case Trap::SwitchLeftOut:
        return "switch left out";
    case Trap::SwitchOverruled:
        return "switch overruled";
    case Trap::SlotNoEffect:
        return "slot without effect";
    }
    return "?";
}

std::string NearestSpelling(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t bestDistance = 0;
    const std::string lowerName = Lower(name);
    for (const std::string& candidate : known) {
        // Letter case weighs least: a case-only difference always wins.
        const size_t distance = EditDistance(lowerName, Lower(candidate)) * 2 + (candidate == name ? 0 : 1);
        if (best.empty() || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    const size_t limit = std::max<size_t>(2, name.size() / 3);
    return (!best.empty() && bestDistance / 2 <= limit) ? best : std::string();
}

CheckResult CheckFolder(const std::string& folder, std::ostream& out) {
    Checker checker(out);
    return checker.Run(folder);
}

std::string OwnFolder() {
    const std::string module = PluginModulePath();
    const size_t separator = module.find_last_of(std::string("\\") + kSeparator);
    return separator == std::string::npos ? std::string(".") : module.substr(0, separator);
}

}  // namespace morvane::check
