#pragma once
// The one record of global switches, read from "Morvane.ini" beside the plug-in. It is
// also the profile every car falls back to.
#include <span>
#include <string>
#include <vector>

#include "config/Profiles.h"

namespace morvane {

// The sibling widescreen plug-in's settings file: a nonzero CarShadowFix there conflicts
// with Morvane, which then stays inactive.
inline constexpr char kSiblingFile[] = "Kavra.WidescreenFix.ini";
inline constexpr char kSiblingSection[] = "MISC";
inline constexpr char kSiblingKey[] = "CarShadowFix";
inline int32_t SiblingShadowSetting(const IniReader& sibling) { return sibling.ReadInt(kSiblingSection, kSiblingKey, 0); }
// Any value but 0 conflicts.
constexpr bool SiblingConflicts(int32_t shadowSetting) { return shadowSetting != 0; }
// The folders of the game an ASI loader loads plug-ins from; the sibling's file may lie in
// any of them, or beside Morvane.
inline constexpr const char* kLoaderFolders[] = {"", "scripts\\", "plugins\\"};
struct SiblingFile {
    std::string path;
    int32_t shadowSetting;
};
// Every sibling settings file that exists beside Morvane and in the game's loader folders
// (each once), in that order, read as start-up reads it.
std::vector<SiblingFile> FindSiblingFiles();
// The first that conflicts, else null.
const SiblingFile* FirstConflict(const std::vector<SiblingFile>& files);
// Of a list about to go, the answer would point into freed memory.
const SiblingFile* FirstConflict(std::vector<SiblingFile>&& files) = delete;

struct PluginSettings {
    // The per-car part of Morvane.ini: what every car without a file of its own takes (its
    // part slots and per-car switches; it names no car).
    CarProfile perCar;
    bool exhaustFx = false;
    bool fixWheelMirror = false;
    bool allowStockRimsPaint = false;
    bool fixFrontRearDecals = false;
    bool allVinylsMirrorable = false;
    float frontSteerAngle = 0.0f;
    bool tires = false;
    bool neon = false;
    bool licensePlate = false;
    bool camber = false;
    bool trackWidth = false;
    bool tireWidth = false;
    bool log = true;
    bool liveProfiles = false;

    bool operator==(const PluginSettings&) const = default;
};

inline constexpr const char kModsSection[] = "MODS";
inline constexpr const char kGlobalSettingsFile[] = "Morvane.ini";

// The global switches, in reading order: on only for the value 1. Only the global file
// sets them.
struct GlobalSwitchKey {
    const char* section;
    const char* key;
    bool PluginSettings::*field;
};
inline constexpr GlobalSwitchKey kGlobalSwitches[] = {
    {kGeneralSection, "ExhaustFX", &PluginSettings::exhaustFx},
    {kGeneralSection, "FixWheelMirror", &PluginSettings::fixWheelMirror},
    {kGeneralSection, "AllowStockRimsPaint", &PluginSettings::allowStockRimsPaint},
    {kGeneralSection, "FixFrontRearDecals", &PluginSettings::fixFrontRearDecals},
    {kGeneralSection, "AllVinylsMirrorable", &PluginSettings::allVinylsMirrorable},
    {kModsSection, "Neon", &PluginSettings::neon},
    {kModsSection, "Tires", &PluginSettings::tires},
    {kModsSection, "LicensePlate", &PluginSettings::licensePlate},
    {kModsSection, "Camber", &PluginSettings::camber},
    {kModsSection, "TrackWidth", &PluginSettings::trackWidth},
    {kModsSection, "TireWidth", &PluginSettings::tireWidth},
};
// Morvane.log beside the plug-in: on unless "Log = 0" in "GENERAL" of Morvane.ini.
inline constexpr const char kLogKey[] = "Log";
constexpr bool LogWanted(int32_t value) { return value != 0; }

// The key of a global switch.
constexpr const char* GlobalSwitchKeyOf(bool PluginSettings::*field) {
    for (const GlobalSwitchKey& entry : kGlobalSwitches) {
        if (entry.field == field) return entry.key;
    }
    return nullptr;
}
// How a key's value reads: a switch (on only for 1), a whole number of degrees (a fraction
// is cut: 22.5 reads as 22), -1/0/1, a text, or on unless 0.
enum class KeyType { Switch, Angle, TriState, Text, OnUnlessZero };

// The other keys of "GENERAL" that only Morvane.ini sets, in reading order: FrontSteerAngle
// (default 0), Log (Morvane.log beside the plug-in unless 0) and LiveProfiles (car profiles
// follow their files while the game runs). Each reads its value into the record, and tells
// the value the record holds.
struct GlobalOnlyKey {
    const char* key;
    KeyType type;
    void (*read)(const IniReader& file, PluginSettings& record);
    std::string (*shown)(const PluginSettings& record);
};
std::span<const GlobalOnlyKey> GlobalOnlyKeys();

// The record; null before LoadGlobalSettings has run.
const PluginSettings* GlobalSettings();

// Fills the record from a settings file: the per-car values, then the global ones.
void ReadGlobalSettings(const IniReader& file, PluginSettings& record);
// Builds the record and writes the front steering angle into the host. `fileName` is
// resolved like any INI name (beside the plug-in unless it holds a drive).
void LoadGlobalSettings(const std::string& fileName = kGlobalSettingsFile);

}  // namespace morvane
