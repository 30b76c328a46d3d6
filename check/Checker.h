#pragma once
// MorvaneCheck: reads a game folder's settings with the plug-in's own configuration code
// and tells what applies to which car, where each value comes from, and what in the
// files does not take effect as written.
#include <cstddef>
#include <ostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::check {

// What a trap costs the player, least first: the report ends with the dearest, so that the
// last screen of a console window holds it.
enum class Cost {
    ValueReadOtherwise,  // a value is read otherwise than written
    FeatureDoesNothing,  // a setting, a file or a feature does nothing
    NothingWorks,        // Morvane does nothing at all, or not with these settings
};

enum class Trap {
    NotGameFolder,    // no kavra.exe: the game never reads these settings
    PluginFile,       // no Morvane.asi, one of another version than the checker, or two copies
    BesideNoPlugin,   // a Morvane.ini or MorvaneCars where no copy of Morvane.asi reads it
    SiblingConflict,  // the widescreen fix's CarShadowFix keeps Morvane inactive
    NoSettingsFile,   // no Morvane.ini: every switch off
    UnreadableFile,   // a settings file the reader cannot take in
    UnknownSection,   // a section no table names (or one before any header)
    UnknownKey,       // a key no table names
    WrongSection,     // a key or section read elsewhere, or only from Morvane.ini
    SwitchValue,      // a switch value other than 0 and 1 (or -1 for Enabled)
    NumberCut,        // a number the reader cuts or cannot read
    DuplicateKey,     // a key set twice in one section: the first wins
    ProfileName,      // a MorvaneCars entry unlikely to match a car
    ReplacesBuiltIn,  // a file that replaces a built-in profile and loses its flag
    SwitchLeftOut,    // a car's file leaves out a switch Morvane.ini turns on
    SlotNoEffect,     // a Header or Camera of a slot no car has switched on
    SwitchOverruled,  // a switch another switch keeps from taking effect
    TextCut,          // a text longer than what is read of it
    HashCollision,    // profile names the game's hash cannot tell apart
    LeftOut,          // a file or entry, or part of one, left out over a limit or refused
    NoSlotForPart,    // a feature on whose part no car, or not every car, can be given
    LastRun,          // the last run's log tells a fault that switched a hook off or ended the game
    Count
};

// Each kind of warning, in the order of Trap: its name in the report and what it costs.
struct TrapKind {
    Trap trap;
    const char* name;
    Cost cost;
};
inline constexpr TrapKind kTrapKinds[] = {
    {Trap::NotGameFolder, "not the game folder", Cost::NothingWorks},
    {Trap::PluginFile, "plug-in file", Cost::NothingWorks},
    {Trap::BesideNoPlugin, "beside no plug-in", Cost::NothingWorks},
    {Trap::SiblingConflict, "sibling conflict", Cost::NothingWorks},
    {Trap::NoSettingsFile, "no settings file", Cost::NothingWorks},
    {Trap::UnreadableFile, "unreadable file", Cost::FeatureDoesNothing},
    {Trap::UnknownSection, "unknown section", Cost::FeatureDoesNothing},
    {Trap::UnknownKey, "unknown key", Cost::FeatureDoesNothing},
    {Trap::WrongSection, "wrong section", Cost::FeatureDoesNothing},
    {Trap::SwitchValue, "switch value", Cost::ValueReadOtherwise},
    {Trap::NumberCut, "number cut", Cost::ValueReadOtherwise},
    {Trap::DuplicateKey, "duplicate key", Cost::ValueReadOtherwise},
    {Trap::ProfileName, "profile name", Cost::FeatureDoesNothing},
    {Trap::ReplacesBuiltIn, "replaces built-in", Cost::FeatureDoesNothing},
    {Trap::SwitchLeftOut, "switch left out", Cost::FeatureDoesNothing},
    {Trap::SlotNoEffect, "slot without effect", Cost::FeatureDoesNothing},
    {Trap::SwitchOverruled, "switch overruled", Cost::FeatureDoesNothing},
    {Trap::TextCut, "text cut", Cost::ValueReadOtherwise},
    {Trap::HashCollision, "name hash collision", Cost::FeatureDoesNothing},
    {Trap::LeftOut, "left out", Cost::FeatureDoesNothing},
    {Trap::NoSlotForPart, "no slot for the part", Cost::FeatureDoesNothing},
    {Trap::LastRun, "last run", Cost::NothingWorks},
};
constexpr bool TrapKindsInOrder() {
    for (size_t i = 0; i < std::size(kTrapKinds); ++i) {
        if (static_cast<size_t>(kTrapKinds[i].trap) != i) return false;
    }
    return std::size(kTrapKinds) == static_cast<size_t>(Trap::Count);
}
static_assert(TrapKindsInOrder(), "a row of kTrapKinds for each Trap, in its order");

inline const char* TrapName(Trap trap) { return kTrapKinds[static_cast<size_t>(trap)].name; }
inline Cost CostOf(Trap trap) { return kTrapKinds[static_cast<size_t>(trap)].cost; }

struct Warning {
    Trap trap;
    std::string file;  // relative to the folder, with this system's separator
    size_t line;       // 0: the file as a whole
    std::string text;
    std::string fix;
};

constexpr int kAllTakesEffect = 0;
constexpr int kWarnings = 1;
constexpr int kFolderUnreadable = 2;  // or not whole: something was left out

// The warnings shown at most: past them they are counted only.
constexpr size_t kShownWarnings = 1000;

struct CheckResult {
    int status = kAllTakesEffect;
    std::vector<Warning> warnings;  // those shown
};

// Checks the settings in `folder` as the plug-in would read them there, writing the
// report to `out`.
CheckResult CheckFolder(const std::string& folder, std::ostream& out);

// The folder of this program.
std::string OwnFolder();

// The version (major.minor.patch) in the version resource of a 32-bit Windows program or
// library, given as the file's bytes; "" when it has none.
std::string FileVersionOf(const std::string& bytes);

// The nearest of `known` to `name` (letter case counts least), or "" when none is near.
std::string NearestSpelling(const std::string& name, const std::vector<std::string>& known);

// A name or a text from the files as the report prints it: control characters (0x00 to
// 0x1F, 0x7F, and U+0080 to U+009F in UTF-8) written as \x1B or \u009B, so that no name
// can clear the console, retitle it or change its colours.
std::string Printable(std::string_view text);

}  // namespace morvane::check
