// The rules: what takes effect as written, decided by the plug-in's own rules and lookups
// on the settings in force, and told where the files say otherwise.
#include <algorithm>

#include "Scan.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Rules.h"
#include "config/Settings.h"
#include "config/SlotTable.h"
#include "startup/Startup.h"

namespace morvane::check {

namespace {

constexpr const char kSaveAgain[] = "save it again as plain text (ANSI, UTF-8 or UTF-16), readable by the game";

// The rules of every file read, adding to one list of warnings.
class RuleChecks {
public:
    RuleChecks(const FolderRead& read, WarningList& warnings) : read_(read), warnings_(warnings) {}

    void CheckGlobalFile();
    void CheckProfileFile(size_t index);
    void CheckSlotTexts(const ScannedFile& file, const std::vector<int32_t>& carTypes);
    void CheckNameHashes();

private:
    void Warn(Trap trap, const ScannedFile& file, size_t line, std::string text, std::string fix) {
        warnings_.Add(trap, file, line, std::move(text), std::move(fix));
    }

    void CheckProfileEntry(size_t index, const ScannedFile& file);
    bool CheckReplacedBuiltIn(const CarProfile& profile, const ScannedFile& file);
    bool NamedForACar(const std::string& name, const ScannedFile& file);
    void CheckSwitchesLeftOut(const CarProfile& profile, const ScannedFile& file, bool replacedPopUps);

    const FolderRead& read_;
    WarningList& warnings_;
};

void RuleChecks::CheckGlobalFile() {
    const ScannedFile& global = *read_.global;
    if (!global.exists || global.directory) {
        Warn(Trap::NoSettingsFile, global, 0, "no Morvane.ini file in the folder: every switch is off",
             "copy the shipped Morvane.ini beside the plug-in");
    } else if (global.Unreadable()) {
        Warn(Trap::UnreadableFile, global, 0, "Morvane.ini cannot be read: every switch is off", kSaveAgain);
    }
    CheckLines(global, warnings_);
    // Both change the same routine of the game; stock rim paint is the one written.
    if (const PluginSettings* s = GlobalSettings(); s && s->allVinylsMirrorable && !VinylBytesWritten(*s)) {
        Warn(Trap::SwitchOverruled, global, global.LineOf(kGeneralSection, "AllVinylsMirrorable"),
             "AllVinylsMirrorable does nothing while AllowStockRimsPaint is 1: both change the same place in the "
             "game, and stock rim paint wins",
             "choose one: set AllowStockRimsPaint = 0 to make every vinyl mirrorable");
    }
}

void RuleChecks::CheckProfileFile(size_t index) {
    const ScannedFile& file = *read_.profileFiles[index];
    CheckLines(file, warnings_);
    if (file.Unreadable()) {
        Warn(Trap::UnreadableFile, file, 0,
             "this file cannot be read: the " + CarProfiles()[index].name + " gets a profile with every switch off",
             kSaveAgain);
    }
    CheckProfileEntry(index, file);
}

// A MorvaneCars entry: its name, what it is, what it replaces, what it leaves out.
void RuleChecks::CheckProfileEntry(size_t index, const ScannedFile& file) {
    const CarProfile& profile = CarProfiles()[index];
    const bool replacedPopUps = CheckReplacedBuiltIn(profile, file);
    // What it leaves out matters once it is named for a car.
    if (NamedForACar(profile.name, file)) CheckSwitchesLeftOut(profile, file, replacedPopUps);
}

// What a file loses of the built-in profile it replaces; true when that one had pop-up
// headlights.
bool RuleChecks::CheckReplacedBuiltIn(const CarProfile& profile, const ScannedFile& file) {
    const std::string& name = profile.name;
    const BuiltInProfile* builtIn = BuiltInProfileNamed(name);
    if (builtIn == nullptr) return false;
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
    return builtIn->popUpHeadLights;
}

// A file plainly kept for people, not a car's settings: a note, a document, an archive or
// a picture, by its extension.
bool PlainlyNotAProfile(const std::string& name) {
    static const char* const kNotes[] = {".txt", ".md", ".rtf", ".doc", ".docx", ".pdf", ".htm", ".html",
                                         ".log", ".bak", ".old", ".zip", ".7z", ".rar", ".png", ".jpg", ".url"};
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return std::any_of(std::begin(kNotes), std::end(kNotes), [&](const char* note) { return lower.ends_with(note); });
}

// False, with a warning, for a file unlikely to match any car: its name has an extension
// or lower-case letters. One plainly not a profile at all is to be moved out, not renamed
// into a car's name.
bool RuleChecks::NamedForACar(const std::string& name, const ScannedFile& file) {
    if (PlainlyNotAProfile(name)) {
        Warn(Trap::ProfileName, file, 0,
             "the file " + name + " is not a car's settings, but everything in " + kProfileDirectory +
                 " is read as a car's profile, this one for a car named " + name,
             "move the file out of " + std::string(kProfileDirectory) + ": it holds only car profiles");
        return false;
    }
    std::vector<std::string> reasons;
    std::string suggested = name;
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
    if (reasons.empty()) return true;
    std::string why;
    for (size_t i = 0; i < reasons.size(); ++i) why += (i ? " and " : "") + reasons[i];
    Warn(Trap::ProfileName, file, 0,
         "the profile " + name + " is unlikely to match a car: its name has " + why +
             ", and a profile applies only to the car whose base name is exactly its file name",
         "rename the file to " + suggested);
    return false;
}

// "four": a small count as a word, as the sentences around it read.
std::string CountInWords(size_t count) {
    constexpr const char* kWords[] = {"no", "one", "two", "three", "four", "five", "six", "seven", "eight", "nine"};
    return count < std::size(kWords) ? kWords[count] : std::to_string(count);
}

// A switch Morvane.ini turns on that the car's file leaves out, and that is off for the
// car because of it.
void RuleChecks::CheckSwitchesLeftOut(const CarProfile& profile, const ScannedFile& file, bool replacedPopUps) {
    const PluginSettings& global = *GlobalSettings();
    for (const ProfileSwitchKey& entry : kProfileSwitches) {
        if (!(global.perCar.*entry.field) || file.Stored(kGeneralSection, entry.key) != nullptr) continue;
        // On for this car all the same: Morvane.ini forces it for every car.
        if (SwitchTakesEffect(entry, &profile, &global)) continue;
        // Already told: the built-in profile this file replaces had pop-up headlights.
        if (entry.field == &CarProfile::popUpHeadLights && replacedPopUps) continue;
        Warn(Trap::SwitchLeftOut, file, 0,
             std::string(entry.key) + " is not set here, so it is off for the " + profile.name + " although " +
                 read_.global->Origin(kGeneralSection, entry.key) + " turns it on: a car's file replaces all " +
                 CountInWords(std::size(kProfileSwitches)) + " switches of [GENERAL]",
             std::string("add ") + entry.key + " = 1 under [GENERAL] (or = 0 to keep it off for this car)");
    }
}

// Header, HeaderAS and Camera take effect only for a car that has the slot switched on.
void RuleChecks::CheckSlotTexts(const ScannedFile& file, const std::vector<int32_t>& carTypes) {
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
                                                  [&](int32_t carType) { return SlotOn(carType, row.slot); });
        if (enabledSomewhere) continue;
        Warn(Trap::SlotNoEffect, file, line,
             "[" + row.section + "] " + keys + " cannot take effect: no car " +
                 (carTypes.size() == 1 ? "of this profile " : "") + "has the slot switched on",
             "set Enabled = 1 in [" + row.section + "] " +
                 (carTypes.size() == 1 ? "here or in Morvane.ini" : "here or in a car's file") +
                 ", or remove these keys");
    }
}

// Profiles whose names have the same game hash: where the game names a car's models, it
// asks for the profile by that hash (ForceLodA), and each car of those names gets the
// first one's.
void RuleChecks::CheckNameHashes() {
    const ProfileSet& profiles = CarProfiles();
    std::vector<std::pair<uint32_t, size_t>> byHash;  // sorted: by hash, then in list order
    for (size_t i = 0; i < profiles.size(); ++i) byHash.emplace_back(profiles[i].nameHash, i);
    std::sort(byHash.begin(), byHash.end());
    for (size_t i = 1, first = 0; i < byHash.size(); ++i) {
        if (byHash[i].first != byHash[first].first) {
            first = i;
            continue;
        }
        // Told on a file: the later profile's, or the first's when the later one is built in.
        const bool laterBuiltIn = byHash[i].second >= read_.profileFiles.size();
        const size_t told = laterBuiltIn ? byHash[first].second : byHash[i].second;
        if (told >= read_.profileFiles.size()) continue;
        const std::string& later = profiles[byHash[i].second].name;
        const std::string& winner = profiles[byHash[first].second].name;
        Warn(Trap::HashCollision, *read_.profileFiles[told], 0,
             "the game's hash of " + later + (laterBuiltIn ? " (built in)" : "") + " is that of " + winner +
                 ": the game cannot tell the two apart where it names a car's models, so the " + later +
                 " takes ForceLodA from the profile " + winner,
             "remove or rename one of the two, unless both cars are to have the same ForceLodA");
    }
}

}  // namespace

void CheckSibling(const ScannedFile& sibling, int32_t value, std::ostream& out, WarningList& warnings) {
    out << "Sibling plug-in settings: " << sibling.label << " [" << kSiblingSection << "] " << kSiblingKey << " = "
        << value << (SiblingConflicts(value) ? ": CONFLICT\n" : ", no conflict\n");
    if (!SiblingConflicts(value)) return;
    out << "  Morvane will stay inactive until " << kSiblingKey << " is 0 (the game shows \"" << kShadowConflictText
        << "\" at start-up)\n";
    warnings.Add(Trap::SiblingConflict, sibling, sibling.LineOf(kSiblingSection, kSiblingKey),
                 std::string("Morvane will stay inactive until ") + kSiblingKey + " is 0",
                 std::string("set ") + kSiblingKey + " = 0 in [" + kSiblingSection + "] of " + sibling.label);
}

void CheckSettings(const FolderRead& read, WarningList& warnings) {
    RuleChecks checks(read, warnings);
    checks.CheckGlobalFile();
    for (size_t i = 0; i < read.profileFiles.size(); ++i) checks.CheckProfileFile(i);
    checks.CheckNameHashes();
    // Morvane.ini's texts serve every car; a car's own texts serve that car only.
    std::vector<int32_t> everyCar = {-1};
    for (size_t i = 0; i < CarProfiles().size(); ++i) everyCar.push_back(static_cast<int32_t>(i));
    checks.CheckSlotTexts(*read.global, everyCar);
    for (size_t i = 0; i < read.profileFiles.size(); ++i) {
        checks.CheckSlotTexts(*read.profileFiles[i], {static_cast<int32_t>(i)});
    }
    CheckFeatureSlots(read, warnings);
}

}  // namespace morvane::check
