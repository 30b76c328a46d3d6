// The features that take their part from a part slot: a player can give a car that part
// only while the slot is switched on for the car (the slot is offered in the categories
// Morvane adds, and nowhere else).
#include <algorithm>

#include "Scan.h"
#include "config/Lookups.h"
#include "config/Profiles.h"
#include "config/Settings.h"
#include "config/SlotTable.h"
#include "host/GameIds.h"

namespace morvane::check {

namespace {

namespace slot = host::slot;

struct FeatureSlot {
    bool PluginSettings::*field;
    int32_t slot;
    const char* part;
    const char* withoutAny;  // what the feature does while no car can be given the part
};

constexpr FeatureSlot kFeatureSlots[] = {
    {&PluginSettings::neon, slot::kNeon, "neon part",
     "every car keeps its plain shadow, though Neon still changes how it is drawn"},
    {&PluginSettings::tires, slot::kTires, "tire part", "no car's tire textures change"},
    {&PluginSettings::licensePlate, slot::kLicensePlate, "plate part",
     "only the plates the cars come with give their textures"},
    {&PluginSettings::camber, slot::kCamber, "camber part", "every car gets camber 0.0"},
    {&PluginSettings::trackWidth, slot::kTrackSpacer, "track spacer",
     "only the body's and the bumper badging's offsets change the track"},
    {&PluginSettings::tireWidth, slot::kTires, "tire part", "no car's tire width changes"},
};

std::string SectionOf(int32_t slotNumber) {
    for (const PartSlotRow& row : PartSlotTable()) {
        if (row.slot == slotNumber) return row.section;
    }
    return {};
}

std::string Names(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

}  // namespace

void CheckFeatureSlots(const FolderRead& read, WarningList& warnings) {
    const PluginSettings* global = GlobalSettings();
    if (global == nullptr) return;
    for (const FeatureSlot& feature : kFeatureSlots) {
        if (!(global->*feature.field)) continue;
        const std::string key = GlobalSwitchKeyOf(feature.field);
        const std::string section = '[' + SectionOf(feature.slot) + ']';
        const size_t line = read.global->LineOf(kModsSection, key);
        // The cars with a profile, by whether the slot is on for them; the other cars
        // follow Morvane.ini.
        std::vector<std::string> on, off;
        for (size_t i = 0; i < CarProfiles().size(); ++i) {
            (SlotOn(static_cast<int32_t>(i), feature.slot) ? on : off).push_back(CarProfiles()[i].name);
        }
        const bool onForOthers = SlotOn(-1, feature.slot);
        if (on.empty() && !onForOthers) {
            warnings.Add(Trap::NoSlotForPart, *read.global, line,
                         key + " = 1 takes the " + feature.part + " from " + section +
                             ", and no car has that slot switched on, so no car can be given one: " +
                             feature.withoutAny,
                         "set Enabled = 1 in " + section + " (in Morvane.ini for every car, or in a car's file), or " +
                             key + " = 0");
            continue;
        }
        // A car without a camber part gets camber 0.0; the other features leave the game's
        // value to a car without their part.
        if (feature.field != &PluginSettings::camber || (onForOthers && off.empty())) continue;
        const std::string cars = (onForOthers ? "the " : "every car but the ") + Names(onForOthers ? off : on);
        warnings.Add(Trap::NoSlotForPart, *read.global, line,
                     key + " = 1 gives camber 0.0 to every car without a " + feature.part + ", and " + cars +
                         " cannot be given one: " + section + " is switched off for " +
                         (onForOthers && off.size() == 1 ? "it" : "them"),
                     onForOthers ? "set Enabled = 1 in " + section + " of their files, or " + key + " = 0"
                                 : "set Enabled = 1 in " + section + " of Morvane.ini, or " + key + " = 0");
    }
}

}  // namespace morvane::check
